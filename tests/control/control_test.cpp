#include <gtest/gtest.h>

#include "control/dispatch.h"
#include "control/orvane_control.h"
#include "core/collection.h"
#include "core/failure.h"
#include "core/text.h"
#include "support/expect_failure.h"

namespace corabind {
namespace {

std::vector<std::u16string> Texts(const Collection& c) {
  std::vector<std::u16string> out;
  for (const auto& v : c.items()) out.push_back(v.ToText());
  return out;
}

TEST(InsertImageInfoTest, FirstValueWinsAndKeysAreCaseSensitive) {
  using Pairs = std::vector<std::pair<std::u16string, std::u16string>>;
  struct Case {
    const char* what;
    Pairs inserts;
    std::vector<std::u16string> keys, values;
  } cases[] = {
      {"first value wins", {{u"a", u"x"}, {u"a", u"y"}}, {u"a"}, {u"x"}},
      {"case-sensitive keys", {{u"a", u"x"}, {u"A", u"x"}}, {u"a", u"A"}, {u"x", u"x"}},
      {"values are never compared", {{u"a", u"v"}, {u"b", u"v"}}, {u"a", u"b"}, {u"v", u"v"}},
      {"empty key is a key", {{u"", u"v"}, {u"", u"w"}}, {u""}, {u"v"}},
      {"repeat after others",
       {{u"a", u"1"}, {u"b", u"2"}, {u"a", u"3"}, {u"c", u"4"}},
       {u"a", u"b", u"c"},
       {u"1", u"2", u"4"}},
  };
  for (const auto& c : cases) {
    Library lib;
    OrvaneControl control(lib);
    for (const auto& [k, v] : c.inserts)
      EXPECT_TRUE(control.InsertImageInfo(k, v).IsEmpty()) << c.what;
    EXPECT_EQ(Texts(*control.imageKeys()), c.keys) << c.what;
    EXPECT_EQ(Texts(*control.imageValues()), c.values) << c.what;
  }
}

TEST(InsertImageInfoTest, ReplacedAndAbsentCollections) {
  Library lib;
  OrvaneControl control(lib);
  control.InsertImageInfo(u"a", u"x");
  const auto old_values = control.imageValues();

  // A host's own collection is kept and used as it is, duplicates included.
  auto mine = std::make_shared<Collection>();
  mine->Add(u"b");
  control.putref_imageKeys(mine);
  EXPECT_EQ(control.imageKeys(), mine);
  control.InsertImageInfo(u"b", u"ignored");
  control.InsertImageInfo(u"a", u"again");
  EXPECT_EQ(Texts(*mine), (std::vector<std::u16string>{u"b", u"a"}));
  EXPECT_EQ(Texts(*old_values), (std::vector<std::u16string>{u"x", u"again"}));

  // Replaced with Nothing: the next use starts a new, empty key collection
  // while the values go on after the old ones.
  control.putref_imageKeys(nullptr);
  control.InsertImageInfo(u"b", u"y");
  EXPECT_NE(control.imageKeys(), mine);
  EXPECT_EQ(Texts(*control.imageKeys()), (std::vector<std::u16string>{u"b"}));
  EXPECT_EQ(Texts(*control.imageValues()), (std::vector<std::u16string>{u"x", u"again", u"y"}));
}

TEST(CollectionTest, ItemsCompareByTheirText) {
  Collection c;
  c.Add(u"a");
  c.Add(std::int32_t{5});
  c.Add(u"a");
  c.Add(Variant(Null{}));
  c.Add(Variant(std::make_shared<Collection>()));
  EXPECT_EQ(c.Count(), 5);
  for (const char16_t* text : {u"a", u"5"}) EXPECT_TRUE(c.ContainsText(text)) << ToUtf8(text);
  EXPECT_FALSE(c.ContainsText(u"Null"));
  EXPECT_FALSE(c.ContainsText(u""));
  EXPECT_EQ(c.Item(2), Variant(std::int32_t{5}));
  for (std::int32_t bad : {0, 6, -1}) {
    testing::ExpectFailure(err::kSubscriptOutOfRange, [&] { (void)c.Item(bad); });
  }
}

}  // namespace
}  // namespace corabind
