#include "core/text.h"

#include <gtest/gtest.h>

namespace corabind {
namespace {

// Each case: UTF-8 bytes and the text they read as. Broken sequences read
// as one U+FFFD per maximal subpart, as the WHATWG decoder has it, and the
// ASCII around them is kept whole.
TEST(TextTest, Utf8ReadsAsTheEncodingStandardSays) {
  struct Case {
    std::string utf8;
    std::u16string text;
    std::optional<std::size_t> invalid_at;  // the first broken sequence
  };
  const Case cases[] = {
      {"", u"", {}},
      {"plain <b>ASCII</b> markup", u"plain <b>ASCII</b> markup", {}},
      {"caf\xC3\xA9 \xEB\x98\xA0\xED\x96\x8F", u"caf\u00E9 \uB620\uD58F", {}},
      {"a\xF0\x9F\x98\x80z", u"a\U0001F600z", {}},
      {"a\xFFz", u"a\uFFFDz", 1},
      {"a\xE2\x82z", u"a\uFFFDz", 1},                  // cut short
      {"a\xC0\xAFz", u"a\uFFFD\uFFFDz", 1},            // overlong
      {"a\xED\xA0\x80z", u"a\uFFFD\uFFFD\uFFFDz", 1},  // a surrogate
      {"tail \xF0\x9F\x98", u"tail \uFFFD", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(FromUtf8(c.utf8), c.text);
    EXPECT_EQ(FindInvalidUtf8(c.utf8), c.invalid_at);
    if (c.text.find(u'\uFFFD') == std::u16string::npos) {
      EXPECT_EQ(ToUtf8(c.text), c.utf8);
    }
  }
}

}  // namespace
}  // namespace corabind
