// Hostile pages against the parser helper, through the real program: trees
// that grow with the square of the markup are refused within bounded memory,
// and a helper whose parent is killed does not parse on for nobody.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/html/parser_helper.h"
#include "platform/posix/temp_folder.h"
#include "support/command_output.h"

namespace {

namespace fs = std::filesystem;
using corabind::testing::Slurp;

constexpr long kMaxPeakKiB = 256 * 1024;
constexpr std::size_t kMiB = std::size_t{1} << 20;

std::string Repeat(std::string_view piece, std::size_t times) {
  std::string out;
  out.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i) out += piece;
  return out;
}
// `head`, then `unit` as often as fits in `total` bytes.
std::string Fill(std::string head, std::string_view unit, std::size_t total = kMiB) {
  return head + Repeat(unit, (total - head.size()) / unit.size());
}
std::string DistinctBold(std::size_t count, std::string_view extra = "") {
  std::string out = "<p>";
  for (std::size_t i = 0; i < count; ++i)
    out += "<b class=c" + std::to_string(i) + std::string(extra) + ">";
  return out;
}

pid_t Start(const fs::path& mail, const fs::path& err) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::freopen("/dev/null", "w", stdout);
    std::freopen(err.c_str(), "w", stderr);
    const std::string out = (mail.parent_path() / "out.eml").string();
    ::execl(CORABIND_CLI, CORABIND_CLI, "compose", mail.c_str(), "-o", out.c_str(),
            "--allow-missing", "-q", static_cast<char*>(nullptr));
    std::_Exit(127);
  }
  return pid;
}

class ParserLimitsTest : public ::testing::Test {
 protected:
  fs::path Write(const std::string& html) const {
    std::ofstream(dir_ / "mail.html", std::ios::binary) << html;
    return dir_ / "mail.html";
  }
  corabind::testing::TempFolder temp_;
  const fs::path dir_ = temp_.path();
};

// Pages up to 1 MiB: the ones whose tree grows past its limits are refused
// with a message naming the limit, the others compose, and neither compose
// nor its helper (the peak of both, as wait4 reports it) reaches 256 MiB.
TEST_F(ParserLimitsTest, TreesStayWithinTheirLimits) {
  const std::string long_title = "<p><b title=\"" + std::string(1000, 'x') + "\">";
  const std::string with_comment = long_title + Repeat("<p>x", 50000) + "<p><!--";
  struct Case {
    std::string name, html;
    std::string refusal;  // in the message; "" for a page that composes
  } const cases[] = {
      {"1,400 distinct <b> reopened in 1,400 paragraphs", DistinctBold(1400) + Repeat("<p>x", 1400),
       "would take more than 34 MiB"},
      {"36 formatting elements reopened in 4,000 paragraphs",
       "<p>" + Repeat("<b><i><u><s><em><font><big><small><tt><strong><code><nobr>", 3) +
           Repeat("<p>x", 4000),
       "would hold more than 81713 nodes"},
      {"9,000 distinct <b> reopened up to 1 MiB", Fill(DistinctBold(9000), "<p>x"),
       "would take more than 127 MiB"},
      {"a long attribute reopened up to 1 MiB", Fill(long_title, "<p>x"),
       "would take more than 127 MiB"},
      {"a long attribute reopened 50,000 times", Fill(with_comment, "y", kMiB - 3) + "-->", ""},
      {"1 MiB of paragraphs", Fill("<body>", "<p>x"), ""},
      {"1 MiB of line breaks", Fill("<body>", "<br>"), ""},
      {"1 MiB of closed spans", Fill("<body>", "<i>x</i>"), ""},
      {"9,990 nested divs", Repeat("<div>", 9990) + "x", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_LE(c.html.size(), kMiB);
    const fs::path err = dir_ / "err.txt";
    const pid_t pid = Start(Write(c.html), err);
    int status = 0;
    rusage usage{};
    ASSERT_EQ(::wait4(pid, &status, 0, &usage), pid);
    ASSERT_TRUE(WIFEXITED(status));
    const std::string message = Slurp(err);
    if (c.refusal.empty()) {
      EXPECT_EQ(WEXITSTATUS(status), 0) << message;
    } else {
      EXPECT_EQ(WEXITSTATUS(status), 1);
      EXPECT_NE(message.find(c.refusal), std::string::npos) << message;
      EXPECT_NE(message.find("bytes of HTML"), std::string::npos) << message;
    }
    // The sanitizers' own bookkeeping makes memory figures meaningless.
    if (!corabind::html::kAddressSanitized) {
      EXPECT_LT(usage.ru_maxrss, kMaxPeakKiB);
    }
  }
}

// The pid of a child of `parent`, or 0 when it has none.
pid_t ChildOf(pid_t parent) {
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string stat = Slurp(entry.path() / "stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(stat.substr(close + 2));
    char state = 0;
    pid_t ppid = 0;
    rest >> state >> ppid;
    if (ppid == parent) return static_cast<pid_t>(std::stol(name));
  }
  return 0;
}

// Compose killed while its helper parses: the helper does not finish the
// parse for nobody. This process takes the orphan in (as a subreaper) to see
// how it ended; the helper is held stopped across the kill, so that it is
// still at work, wherever it was, when its parent goes.
TEST_F(ParserLimitsTest, TheHelperDiesWithItsParent) {
  ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  std::string page = "<body>";
  while (page.size() < 4 * kMiB) page += "<p>Some words of a paragraph, <i>in</i> a page.</p>\n";
  const pid_t compose = Start(Write(page), dir_ / "err.txt");
  pid_t helper = 0;
  int status = 0;
  while ((helper = ChildOf(compose)) == 0) {
    ASSERT_EQ(::waitpid(compose, &status, WNOHANG), 0)
        << "compose ended before its helper was seen";
    ::usleep(1000);
  }
  ASSERT_EQ(::kill(helper, SIGSTOP), 0);
  ASSERT_EQ(::kill(compose, SIGKILL), 0);
  ASSERT_EQ(::waitpid(compose, &status, 0), compose);
  ::kill(helper, SIGCONT);
  ASSERT_EQ(::waitpid(helper, &status, 0), helper) << std::strerror(errno);
  ::prctl(PR_SET_CHILD_SUBREAPER, 0);
  const bool killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  const bool orphaned = WIFEXITED(status) && WEXITSTATUS(status) == corabind::html::kHelperOrphaned;
  EXPECT_TRUE(killed || orphaned) << "status " << status;
}

}  // namespace
