#include "fields/numeric_field.h"

#include <gtest/gtest.h>

#include "core/text.h"

namespace corabind {
namespace {

TEST(NumericFieldTest, ShowsTheNumberTheTextDenotes) {
  const std::u16string zeros600(600, u'0');
  struct Case {
    std::u16string text, shown;
  } const cases[] = {{u"", u"0"},
                     {u"abc", u"0"},
                     {u"12a", u"12"},
                     {u"1.", u"1"},
                     {u" 1 2\t3\n", u"123"},
                     {u"\t- \n5", u"-5"},
                     {u"+7", u"7"},
                     {u"-0", u"0"},
                     {u"-.25", u"-0.25"},
                     {u"1.2.3", u"1.2"},
                     {u"1e3", u"1000"},
                     {u"2D2", u"200"},
                     {u"1E+", u"1"},
                     {u"+-5", u"0"},
                     {u"&H10", u"0"},
                     {u"1\r2", u"1"},
                     {u"1E-20", u"0.00000000000000000001"},
                     {u"999999999999999", u"999999999999999"},
                     {u"1000000000000000", u"1E+15"},
                     {u"123456789012345678", u"1.23456789012346E+17"},
                     {u"1E400", u"1.79769313486232E+308"},
                     {u"1E99999999999999999999999", u"1.79769313486232E+308"},
                     {u"1E-400", u"0"},
                     {std::u16string(100000, u'9'), u"1.79769313486232E+308"},
                     {u"0." + std::u16string(5000, u'0') + u"1", u"0"},
                     {u"0." + zeros600 + u"1E+601", u"1"},
                     {u"1" + zeros600 + u"E-600", u"1"}};
  for (const Case& c : cases) {
    const std::string context = ToUtf8(c.text.substr(0, 40));
    const std::u16string shown = NumericFieldText(c.text);
    EXPECT_EQ(ToUtf8(shown), ToUtf8(c.shown)) << context;
    // The rule settles at once: what it shows reads back as itself.
    EXPECT_EQ(NumericFieldText(shown), shown) << context;
  }
}

}  // namespace
}  // namespace corabind
