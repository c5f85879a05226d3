#include "platform/posix/code_set.h"

#include <gtest/gtest.h>

#include "core/failure.h"
#include "core/text.h"
#include "support/expect_failure.h"

namespace corabind {
namespace {
using testing::ExpectFailure;

TEST(CodeSetTest, EncodesOrNamesTheFirstCharacterItCannotHold) {
  struct Case {
    const char* code_set;
    std::u16string text;
    std::string bytes;               // when it converts
    std::optional<std::size_t> bad;  // zero-based index otherwise
    std::u16string named;            // in the failure's text
  };
  const Case cases[] = {
      {"UTF-8", u"h\u00e9llo \U0001F600", "h\xc3\xa9llo \xf0\x9f\x98\x80", {}, u""},
      {"ANSI_X3.4-1968", u"abc\u20acd\u00e9", "", 3, u"U+20AC at position 4"},
      {"CP949", u"\ud55c\uae00", "\xc7\xd1\xb1\xdb", {}, u""},
      {"CP949", u"\ud55c\n\U0001F600", "", 2, u"U+1F600 at position 3"},
      {"ISO-8859-1", u"\u03a9", "", 0, u"U+03A9 at position 1"},
      {"UTF-8", u"a\xd800z", "", 1, u"U+D800 (an unpaired surrogate) at position 2"},
      {"UTF-8", u"ab\xdc00", "", 2, u"U+DC00 (an unpaired surrogate) at position 3"},
      {"UTF-8", u"ab\xd83d", "", 2, u"U+D83D (an unpaired surrogate) at position 3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.code_set) + " " + ToUtf8(c.text));
    const CodeSet code_set(c.code_set);
    EXPECT_EQ(code_set.FirstUnrepresentable(c.text), c.bad);
    if (!c.bad) {
      EXPECT_EQ(code_set.Encode(c.text), c.bytes);
    } else {
      const auto description = ExpectFailure(err::kInvalidCall, [&] { code_set.Encode(c.text); });
      EXPECT_NE(description.find(c.named), std::u16string::npos) << ToUtf8(description);
    }
  }
}

TEST(CodeSetTest, DecodesBadBytesAsReplacementCharacters) {
  const std::tuple<const char*, std::string, std::u16string> cases[] = {
      {"ANSI_X3.4-1968", "a\xffz", u"a\ufffdz"},
      {"UTF-8", "a\xe2\x82z", u"a\ufffdz"},
      {"UTF-8", "\xef\xbb\xbfx", u"\ufeffx"},  // a byte-order mark is kept as text
      {"CP949", "\xc7\xd1\xb1\xdb", u"\ud55c\uae00"},
      {"CP949", "\xc7\xd1\xb1", u"\ud55c\ufffd"},  // cut off in the middle of a character
      {"ISO-8859-1", "caf\xe9", u"caf\u00e9"},
  };
  for (const auto& [code_set, bytes, text] : cases) {
    EXPECT_EQ(CodeSet(code_set).Decode(bytes), text) << code_set << " " << bytes;
  }
  for (const char* unknown : {"NO-SUCH-CODE-SET", ""}) {
    ExpectFailure(err::kInvalidCall, [&] { CodeSet{unknown}; });
  }
  EXPECT_FALSE(CodeSet::LocaleName().empty());
}

}  // namespace
}  // namespace corabind
