#include "mail/address.h"

#include <gtest/gtest.h>

#include "core/failure.h"
#include "support/expect_failure.h"

namespace corabind::mail {
namespace {

using namespace std::string_literals;

// Each list as given, and the envelope it makes ("" when it is refused, with
// the words the refusal must hold).
TEST(AddressTest, ReadsListsAndRefusesAnythingThatCouldEndALine) {
  struct Case {
    std::string text;
    std::vector<std::string> envelope;
    std::string refusal;
    bool utf8_local = false;
  };
  const Case cases[] = {
      {"Kim Lee <kim@example.com>, \"Park, J\" <p@example.org>", {"kim@example.com", "p@example.org"}},
      {"Friends: a@example.com, b@example.org;", {"a@example.com", "b@example.org"}},
      {"Öst <kim@bücher.example>", {"kim@xn--bcher-kva.example"}},
      {"김철수 <김@example.com>", {"김@example.com"}, "", true},
      {"\"a b\"@example.com", {"\"a b\"@example.com"}},
      // Anywhere: a quoted local part, a display name, a comment.
      {"\"a\r\nRCPT TO:<x@evil.example>\"@example.com", {}, "U+000D"},
      {"\"Kim\nBcc: x@evil.example\" <kim@example.com>", {}, "U+000A"},
      {"lee@exam\0ple.com"s, {}, "U+0000"},
      {"lee@exam\x1bple.com", {}, "U+001B"},
      {"lee@example.com (\x7f)", {}, "U+007F"},
      {"lee@example.com\t", {}, "U+0009"},
      {"lee@exam\xffple.com", {}, "not UTF-8"},
      // What the lenient parser would shorten or take for an address.
      {"a@b@example.com", {}, "does not read"},
      {"lee", {}, "user@host"},
      {"", {}, "does not read"},
      {"lee@exa_mple.com", {}, "not a host name"},
      {"lee@\xe2\x98\x83.example", {}, "international domain name"},
      // An address literal holds an address: nothing that could end the
      // envelope's <path> and add parameters of its own.
      {"lee@[192.0.2.1]", {"lee@[192.0.2.1]"}},
      {"lee@[IPv6:2001:db8::1]", {"lee@[IPv6:2001:db8::1]"}},
      {"lee@[192.0.2.1> NOTIFY=NEVER]", {}, "not a host name"},
      {"lee@[a b]", {}, "not a host name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    if (c.envelope.empty()) {
      const std::string why = ToUtf8(
          testing::ExpectFailure(err::kInvalidCall, [&] { ParseAddressList("--to", c.text); }));
      EXPECT_EQ(why.rfind("--to \"", 0), 0u) << why;
      EXPECT_NE(why.find(c.refusal), std::string::npos) << why;
      EXPECT_EQ(why.find_first_of("\r\n"s + '\0'), std::string::npos) << why;
      continue;
    }
    std::vector<std::string> envelope;
    for (const Mailbox& m : ParseAddressList("--to", c.text)) {
      envelope.push_back(m.address);
      EXPECT_EQ(m.utf8_local, c.utf8_local);
    }
    EXPECT_EQ(envelope, c.envelope);
  }
  testing::ExpectFailure(err::kInvalidCall, [] { CheckHeaderText("Subject", "Hi\r\nBcc: x"); });
  CheckHeaderText("Subject", "봄 소식: spring");
}

}  // namespace
}  // namespace corabind::mail
