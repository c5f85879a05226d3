#include "cli/command.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

#include "core/failure.h"

namespace corabind::cli {
namespace {

// Each case: what a job throws, and the status and line the user gets. A
// failure's text may carry a server's reply or a file's name: it must not
// reach the terminal as control characters.
TEST(CommandTest, EachFailureGetsItsStatusAndAPrintableLine) {
  struct Case {
    std::function<int()> job;
    std::string about;
    int status;
    std::string line;
  };
  const Case cases[] = {
      {[] { return kExitOk; }, "", kExitOk, ""},
      {[]() -> int { throw UsageError{"--to is needed"}; }, "", kExitUsage,
       "corabind x: --to is needed\n"},
      {[]() -> int { throw RunError{"nothing written"}; }, "", kExitFailure,
       "corabind x: nothing written\n"},
      {[]() -> int { throw Failure(err::kDeviceIo, u"550 no\x1B[2Jbody\r\n"); }, "m.html",
       kExitFailure, "corabind x: m.html: 550 no\\x1B[2Jbody\\r\\n\n"},
      {[]() -> int { throw Failure(err::kInvalidCall, u"not an smtp:// URL"); }, "", kExitUsage,
       "corabind x: not an smtp:// URL\n"},
      {[]() -> int { throw std::runtime_error("bad\nline"); }, "", kExitFailure,
       "corabind x: bad\\nline\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::ostringstream err;
    EXPECT_EQ(RunCommand("x", err, c.job, c.about, err::kInvalidCall), c.status);
    EXPECT_EQ(err.str(), c.line);
  }
}

}  // namespace
}  // namespace corabind::cli
