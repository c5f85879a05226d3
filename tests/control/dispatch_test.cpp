#include "control/dispatch.h"

#include <gtest/gtest.h>

#include "control/orvane_control.h"
#include "core/collection.h"
#include "core/failure.h"
#include "core/text.h"
#include "support/expect_failure.h"

namespace corabind {
namespace {

using testing::ExpectFailure;

TEST(DispatchTest, MembersKeepTheirOrderIdsAndParameterNames) {
  const auto& members = CorabindTypeLibrary().dispatch.members;
  const std::vector<std::u16string_view> order = {
      u"imageKeys",       u"imageValues",       u"LoadFlashTag", u"SaveToLocal",
      u"getBaseURL",      u"GetLocalHTMLFile",  u"GetImages",    u"GetStyleSub",
      u"GetFlashSub",     u"GetObjectFlashSub", u"GetImagesSub", u"InsertImageInfo",
      u"ModifyFormField", u"SetFormField"};
  ASSERT_EQ(members.size(), order.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(members[i].name, order[i]);
    EXPECT_EQ(members[i].dispid, static_cast<std::int32_t>(i + 1));
    EXPECT_EQ(GetIdOfName(AsciiUpper(order[i])), members[i].dispid) << "lookup ignores case";
  }
  EXPECT_EQ(members[6].params.back().name, u"debuging");
  EXPECT_TRUE(members[6].params.back().optional);
  EXPECT_EQ(members[12].params.back().name, u"debugging");
  EXPECT_EQ(members[3].params[2].name, u"saveas");
  ExpectFailure(err::kNotSupported, [] { GetIdOfName(u"GetImage"); });
}

TEST(DispatchTest, InvokesByNameWithVariantsAndChecksArgumentCounts) {
  Library lib;
  OrvaneControl control(lib);
  std::vector<Variant> args = {Variant(u"k"), Variant(std::int32_t{7})};
  EXPECT_TRUE(Invoke(control, u"insertimageinfo", InvokeKind::kMethod, args).IsEmpty());
  EXPECT_EQ(control.imageValues()->Item(1).ToText(), u"7");

  std::vector<Variant> none;
  const Variant keys = Invoke(control, u"imageKeys", InvokeKind::kPropertyGet, none);
  EXPECT_EQ(keys.ToCollection(), control.imageKeys());

  auto replacement = std::make_shared<Collection>();
  std::vector<Variant> put = {Variant(replacement)};
  Invoke(control, u"imageValues", InvokeKind::kPropertyPutRef, put);
  EXPECT_EQ(control.imageValues(), replacement);
  std::vector<Variant> nothing = {Variant::Nothing()};
  Invoke(control, u"imageValues", InvokeKind::kPropertyPutRef, nothing);
  EXPECT_NE(control.imageValues(), replacement);

  struct Bad {
    std::u16string member;
    std::vector<Variant> args;
    std::int32_t number;
  } bad[] = {
      {u"InsertImageInfo", {Variant(u"k")}, err::kArgumentNotOptional},
      {u"InsertImageInfo", {Variant(u"k"), Variant(u"v"), Variant(u"x")}, err::kWrongArgumentCount},
      {u"InsertImageInfo", {Variant(Null{}), Variant(u"v")}, err::kInvalidUseOfNull},
      {u"InsertImageInfo", {Variant(replacement), Variant(u"v")}, err::kTypeMismatch},
      {u"GetImagesSub", {Variant(u"<img>")}, err::kTypeMismatch},
      {u"GetImagesSub", {Variant(replacement)}, err::kTypeMismatch},  // another kind
      {u"getBaseURL", {Variant(u"x")}, err::kWrongArgumentCount},
      {u"imageKeys", {Variant(u"x")}, err::kTypeMismatch},
  };
  for (auto& b : bad) {
    const auto kind = b.member == u"imageKeys" ? InvokeKind::kPropertyPutRef : InvokeKind::kMethod;
    SCOPED_TRACE(ToUtf8(b.member));
    ExpectFailure(b.number, [&] { Invoke(control, b.member, kind, b.args); });
  }
}

TEST(DispatchTest, BooleansKeepTheirSixteenBitForm) {
  struct Case {
    Variant v;
    VariantBool expected;
  } cases[] = {
      {Variant::Boolean(true), kTrue},
      {Variant(std::int32_t{1}), 1},
      {Variant(std::int16_t{-1}), kTrue},
      {Variant(), kFalse},
      {Variant(u"True"), kTrue},
      {Variant(u"1"), 1},
      // Past 16 bits: non-zero, but never the exact true value.
      {Variant(std::int32_t{40000}), 1},
      {Variant(-1e10), 1},
      {Variant(u"65535"), 1},
  };
  for (const auto& c : cases) EXPECT_EQ(ArgumentAsBool(c.v), c.expected);
  ExpectFailure(err::kTypeMismatch, [] { ArgumentAsBool(Variant(u"yes")); });
}

}  // namespace
}  // namespace corabind
