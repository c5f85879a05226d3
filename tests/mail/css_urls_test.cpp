#include "mail/css_urls.h"

#include <gtest/gtest.h>

namespace corabind::mail {
namespace {

// Each case: a sheet, and what it names as "value" or "@value" for an
// import; every range must hold the URL exactly as written.
TEST(CssUrlsTest, FindsWhatBrowsersWouldFetchAndNothingElse) {
  struct Case {
    std::string css;
    std::vector<std::string> found;
  };
  const Case cases[] = {
      {"a { background: url(img/a.png) }", {"img/a.png"}},
      {"a{background:URL( 'b c.png' )}", {"b c.png"}},
      {"a{background:url(\"d.png\") no-repeat, url(e.png)}", {"d.png", "e.png"}},
      {"@import \"x.css\"; @import url(y.css) screen; @IMPORT 'z.css';",
       {"@x.css", "@y.css", "@z.css"}},
      {"/* url(no.png) */ a{content:\"url(no.png)\"} b{background:url(yes.png)}", {"yes.png"}},
      {"a{background:myurl(no.png)} b{background:url(\\66.png)}", {"f.png"}},
      {"a{background:url(  )} b{background:url(unclosed.png", {}},
      {"@import 'a.css' b { background: url(\"\\\"q\\\".png\") }", {"@a.css", "\"q\".png"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> found;
    for (const CssUrl& url : FindCssUrls(c.css)) {
      found.push_back((url.import ? "@" : "") + url.value);
      const std::string written = c.css.substr(url.begin, url.end - url.begin);
      if (written.find('\\') == std::string::npos) {
        EXPECT_EQ(written, url.value) << c.css;
      }
    }
    EXPECT_EQ(found, c.found) << c.css;
  }
}

}  // namespace
}  // namespace corabind::mail
