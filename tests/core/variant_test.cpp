#include "core/variant.h"

#include <gtest/gtest.h>

#include "core/failure.h"
#include "support/expect_failure.h"

namespace corabind {
namespace {

using testing::ExpectFailure;

TEST(VariantTest, ConversionsFollowScriptHostRules) {
  struct Case {
    Variant v;
    std::u16string text;  // "" with text_failure set means it fails
    std::int32_t text_failure;
    bool equals_true;
  } cases[] = {
      {Variant(), u"", 0, false},
      {Variant(Null{}), u"", err::kInvalidUseOfNull, false},
      {Variant::Boolean(true), u"True", 0, true},
      {Variant::Boolean(false), u"False", 0, false},
      {Variant(std::int16_t{1}), u"1", 0, false},
      {Variant(std::int16_t{-1}), u"-1", 0, true},
      {Variant(2.5), u"2.5", 0, false},
      {Variant(1e20), u"1E+20", 0, false},
      {Variant(u"-1"), u"-1", 0, true},
      {Variant::Nothing(), u"", err::kTypeMismatch, false},
  };
  for (const auto& c : cases) {
    if (c.text_failure) {
      ExpectFailure(c.text_failure, [&] { (void)c.v.ToText(); });
    } else {
      EXPECT_EQ(c.v.ToText(), c.text);
    }
    EXPECT_EQ(c.v.EqualsTrue(), c.equals_true) << std::string(c.text.begin(), c.text.end());
  }
}

TEST(VariantTest, NullMakesNumberComparisonsFalseAndTextThatIsNoNumberFails) {
  const Variant null{Null{}};
  EXPECT_FALSE(null.NumberNotEquals(0));
  EXPECT_FALSE(null.NumberLess(10000));
  EXPECT_TRUE(Variant(std::int32_t{20}).NumberNotEquals(0));
  EXPECT_FALSE(Variant(std::int32_t{10000}).NumberLess(10000));
  EXPECT_TRUE(Variant(u" 12 ").NumberNotEquals(0));
  ExpectFailure(err::kTypeMismatch, [] { (void)Variant(u"").NumberNotEquals(0); });
  ExpectFailure(err::kTypeMismatch, [] { (void)Variant(u"12px").NumberLess(1); });
}

TEST(VariantTest, ObjectAccessorsTellNothingFromWrongKind) {
  ExpectFailure(err::kObjectNotSet, [] { (void)Variant::Nothing().ToElement(); });
  ExpectFailure(err::kTypeMismatch, [] { (void)Variant(u"x").ToElement(); });
  EXPECT_EQ(Variant::Nothing().ToCollectionOrNothing(), nullptr);
}

}  // namespace
}  // namespace corabind
