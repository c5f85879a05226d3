// The one mail request compose, send, serve, automate and the C interface
// fill: from JSON keyed by the long option names, and checked in one place.
#include "mail/mail_request.h"

#include <gtest/gtest.h>

#include "core/failure.h"

namespace corabind::mail {
namespace {

using nlohmann::json;

TEST(MailRequestTest, JsonIsFilledByTheLongOptionNamesAndCheckedInOnePlace) {
  const json base = {{"html", "<p>x</p>"}, {"from", "Kim <kim@example.com>"}};
  struct Case {
    json keys;
    std::string error;  // "" when taken; else words of the failure
  };
  const Case cases[] = {
      {{{"to", {"lee@example.org", "park@example.net"}}, {"reply-to", "kim@example.net"}}, ""},
      {{{"dkim-key", "k.pem"}, {"dkim-selector", "news"}, {"no-text", true}}, ""},
      {{{"tu", {"lee@example.org"}}}, "unknown key \"tu\"; the keys are html, from, to"},
      {{{"to", 5}}, "\"to\" takes a text or a list of texts"},
      {{{"cc", {"a@example.org", 7}}}, "\"cc\" takes a text or a list of texts"},
      {{{"no-text", "yes"}}, "\"no-text\" takes true or false"},
      {{{"subject", 1}}, "\"subject\" takes a text"},
      {{{"subject", "Spring\r\nBcc: x@example.org"}}, "--subject"},
      {{{"to", "lee@example.org\nBcc: x@example.org"}}, "--to"},
      {{{"bcc", "not an address"}}, "--bcc"},
      {{{"list-unsubscribe", {"http://example.com/u"}}}, "--list-unsubscribe: not a mailto: or https:"},
      {{{"list-unsubscribe", {"https://example.com/u x"}}}, "--list-unsubscribe"},
      {{{"charset", "utf-8//IGNORE"}}, "--charset: not a charset name"},
      {{{"charset", "no-such-charset"}}, "--charset: unknown charset"},
      {{{"text", "t.txt"}, {"no-text", true}}, "--text and --no-text exclude each other"},
      {{{"dkim-key", "k.pem"}}, "--dkim-key needs --dkim-selector"},
      {{{"dkim-selector", "news"}}, "--dkim-selector needs --dkim-key"},
      {{{"dkim-domain", "example.com"}}, "--dkim-domain needs --dkim-key"},
      {{{"attach", {"a.pdf"}}}, "does not take \"attach\""},
      {{{"dkim-key", std::string("k.pem\0x", 7)}, {"dkim-selector", "s"}}, "holds no NUL"},
      {{{"drive", {std::string("C=/srv\0/x", 9)}}}, "--drive"},
  };
  for (const Case& c : cases) {
    json request = base;
    request.update(c.keys);
    std::string error;
    MailRequest filled;
    try {
      filled = MailRequestFromJson(request, {"html"}, {"attach"});
      filled.Validate();
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.number(), err::kInvalidCall);
      error = failure.what();
    }
    if (c.error.empty()) {
      EXPECT_EQ(error, "") << c.keys;
    } else {
      EXPECT_NE(error.find(c.error), std::string::npos) << c.keys << " -> " << error;
    }
  }
  const MailRequest r = MailRequestFromJson({{"to", "lee@example.org"},
                                             {"bcc", {"a@example.org"}},
                                             {"dkim-domain", "example.com"},
                                             {"allow-missing", true}},
                                            {});
  EXPECT_EQ(r.to, std::vector<std::string>{"lee@example.org"}) << "one text is a list of one";
  EXPECT_EQ(r.bcc, std::vector<std::string>{"a@example.org"});
  EXPECT_EQ(r.dkim.domain, "example.com");
  EXPECT_TRUE(r.allow_missing);
  EXPECT_EQ(r.charset, "utf-8") << "an absent key keeps its default";
}

}  // namespace
}  // namespace corabind::mail
