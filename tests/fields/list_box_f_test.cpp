// The select list dialog: its fixed-column lines, the item editing buttons
// with the nested option item dialog, editing a select, and its markup.
#include "fields/list_box_f.h"

#include <gtest/gtest.h>

#include "field_element.h"
#include "fields/item_line.h"
#include "fields_fixture.h"

namespace corabind::fields_test {
namespace {

using S = std::vector<UiStep>;
const std::u16string kPrevious = u"<previous tag>";
std::u16string Spaces(std::size_t n) {
  return std::u16string(n, u' ');
}

TEST(ItemLineTest, FormatsAndReadsBackTheFixedColumns) {
  const std::u16string thirty = u"abcdefghijklmnopqrstuvwxyz0123";
  const std::u16string emoji = std::u16string(29, u'x') + u"\U0001F600";  // pair at 30/31
  struct Case {
    const char* what;
    std::int16_t selected;
    std::u16string text, value, line;
    ItemLine back;
  } const cases[] = {
      {"plain", 0, u"Busan", u"", Spaces(11) + u"Busan" + Spaces(25), {0, u"Busan", u""}},
      {"selected",
       1,
       u"Seoul",
       u"1",
       u"c" + Spaces(10) + u"Seoul" + Spaces(25) + u"1",
       {1, u"Seoul", u"1"}},
      {"only 1 marks", -1, u"a", u"", Spaces(11) + u"a" + Spaces(29), {0, u"a", u""}},
      {"exactly 30", 0, thirty, u"v", Spaces(11) + thirty + u"v", {0, thirty, u"v"}},
      {"31 cut to 30", 0, thirty + u"!", u"", Spaces(11) + thirty, {0, thirty, u""}},
      {"spaces trimmed",
       1,
       u"  t  ",
       u" v w ",
       u"c" + Spaces(12) + u"t" + Spaces(27) + u" v w ",
       {1, u"t", u"v w"}},
      {"long value kept",
       0,
       u"",
       std::u16string(100, u'v'),
       Spaces(41) + std::u16string(100, u'v'),
       {0, u"", std::u16string(100, u'v')}},
      {"no half character",
       0,
       emoji,
       u"",
       Spaces(11) + std::u16string(29, u'x') + u" ",
       {0, std::u16string(29, u'x'), u""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(FormatItemLine(c.selected, c.text, c.value), c.line);
    EXPECT_EQ(ReadItemLine(c.line), c.back);
  }
  // Lines that end before a column read that column as "".
  EXPECT_EQ(ReadItemLine(u"c"), (ItemLine{1, u"", u""}));
  EXPECT_EQ(ReadItemLine(u""), (ItemLine{0, u"", u""}));
  EXPECT_EQ(ReadItemLine(Spaces(11) + u"ab"), (ItemLine{0, u"ab", u""}));
}

struct ListCase {
  const char* what;
  std::shared_ptr<Element> edited;  // nullptr: a new list
  std::vector<FormScript> scripts;  // ListBoxF first, then each nested ListBoxSub
  std::u16string expected;
  std::vector<Loaded> loaded = {};
};

FormScript List(S steps) {
  return FormScript{u"ListBoxF", std::move(steps)};
}
FormScript Item(std::u16string text, std::u16string value, int selected) {
  S steps{Type(u"Text1", std::move(text)), Type(u"Text2", std::move(value))};
  if (selected) steps.push_back(Check(u"Check1", 1));
  steps.push_back(Click(u"Command1"));
  return FormScript{u"ListBoxSub", std::move(steps)};
}
FormScript CancelItem() {
  return FormScript{u"ListBoxSub", {Type(u"Text1", u"ignored"), Click(u"Command2")}};
}

const UiStep kAdd = Click(u"Command1"), kUpdate = Click(u"Command2"), kDelete = Click(u"Command3"),
             kUp = Click(u"Command4"), kDown = Click(u"Command5"), kOk = Click(u"Command6"),
             kCancel = Click(u"Command7");

std::vector<ListCase> Cases() {
  // Three items a, b, c added in order, then the given steps and OK.
  const auto abc = [](S then) {
    S steps{kAdd, kAdd, kAdd};
    steps.insert(steps.end(), then.begin(), then.end());
    steps.push_back(kOk);
    return std::vector<FormScript>{List(steps), Item(u"a", u"", 0), Item(u"b", u"", 0),
                                   Item(u"c", u"", 0)};
  };
  const auto options = [](std::u16string inner) {
    return u"<select size=\"1\" >" + inner + u"</select>";
  };
  const std::u16string oa = u"<option >a</option>", ob = u"<option >b</option>",
                       oc = u"<option >c</option>";
  return {
      {"new list confirmed at once",
       nullptr,
       {List({kOk})},
       u"<select size=\"1\" ></select>",
       {{u"Text1", u""},
        {u"Text2", u"1"},
        {u"Option2", true},
        {u"List1", std::vector<std::u16string>{}}}},
      {"name, height, multiple, no lines",
       nullptr,
       {List({Type(u"Text1", u"a"), Type(u"Text2", u"3"), Choose(u"Option1"), kOk})},
       u"<select name=\"a\" size=\"3\" multiple></select>"},
      {"height typed as 12abc, then cleared",
       nullptr,
       {List({Type(u"Text2", u"12abc"), Type(u"Text2", u""), kOk})},
       u"<select size=\"0\" ></select>"},
      {"two items as in the city example",
       nullptr,
       {List({Type(u"Text1", u"city"), kAdd, kAdd, kOk}), Item(u"Seoul", u"1", 1),
        Item(u"Busan", u"", 0)},
       u"<select name=\"city\" size=\"1\" ><option value=\"1\" selected >Seoul</option>"
       u"<option >Busan</option></select>"},
      {"empty item, and selected without value",
       nullptr,
       {List({kAdd, kAdd, kOk}), Item(u"", u"", 0), Item(u"t", u"", 1)},
       options(u"<option ></option><option  selected >t</option>")},
      {"text cut to 30 (a leading blank counts), then trimmed",
       nullptr,
       {List({kAdd, kOk}), Item(u" abcdefghijklmnopqrstuvwxyz01234567", u"  v  ", 0)},
       options(u"<option value=\"v\">abcdefghijklmnopqrstuvwxyz012</option>")},
      {"quotes: escaped in name and value, not in the text",
       nullptr,
       {List({Type(u"Text1", u"n\">"), kAdd, kOk}), Item(u"<b>\"</b>", u"v\"", 0)},
       u"<select name=\"n&quot;>\" size=\"1\" ><option value=\"v&quot;\"><b>\"</b></option>"
       u"</select>"},
      {"cancelled add adds nothing", nullptr, {List({kAdd, kOk}), CancelItem()}, options(u"")},
      {"update shows the item and replaces it",
       nullptr,
       {List({kAdd, Select(u"List1", 0), kUpdate, kOk}), Item(u"Seoul", u"1", 1),
        FormScript{u"ListBoxSub",
                   {Type(u"Text1", u"Tokyo"), Check(u"Check1", 0), Click(u"Command1")}}},
       options(u"<option value=\"1\">Tokyo</option>")},
      {"update cancelled leaves the line",
       nullptr,
       {List({kAdd, Select(u"List1", 0), kUpdate, kOk}), Item(u"a", u"", 0), CancelItem()},
       options(oa)},
      {"30-character text survives update",
       nullptr,
       {List({kAdd, Select(u"List1", 0), kUpdate, kOk}),
        Item(u"abcdefghijklmnopqrstuvwxyz0123", u"v", 0),
        FormScript{u"ListBoxSub", {Click(u"Command1")}}},
       options(u"<option value=\"v\">abcdefghijklmnopqrstuvwxyz0123</option>")},
      {"update, delete, up, down without a chosen line", nullptr,
       abc({kUpdate, kDelete, kUp, kDown}), options(oa + ob + oc)},
      {"up on the first, down on the last", nullptr,
       abc({Select(u"List1", 0), kUp, Select(u"List1", 2), kDown}), options(oa + ob + oc)},
      {"up and down move one place and choose nothing", nullptr,
       abc({Select(u"List1", 2), kUp, kUp, Select(u"List1", 0), kDown}), options(oc + oa + ob)},
      {"delete the chosen line", nullptr, abc({Select(u"List1", 1), kDelete, kDelete}),
       options(oa + oc)},
      {"cancel", nullptr, {List({kAdd, kCancel}), Item(u"a", u"", 0)}, u""},
      {"close from the frame",
       nullptr,
       {List({kAdd, CloseFrame()}), Item(u"a", u"", 0)},
       kPrevious},
  };
}

class ListBoxFTest : public FieldsTest {};

TEST_F(ListBoxFTest, NewListsAndItemEditing) {
  for (const ListCase& c : Cases()) {
    SCOPED_TRACE(c.what);
    desktop_->ClearEvents();
    library_.state().FieldTagResult = kPrevious;
    for (const auto& s : c.scripts) desktop_->Push(s);
    EXPECT_EQ(ToUtf8(control_.SetFormField(u"LIST")), ToUtf8(c.expected));
    EXPECT_TRUE(desktop_->ScriptDone());
    EXPECT_EQ(library_.state().IsItemModify, kFalse);
    ExpectLoadedIn(desktop_->LastShown(u"ListBoxF"), c.loaded, c.what);
    desktop_->ClearScript();
  }
}

TEST_F(ListBoxFTest, ItemDialogOpensEmptyForAddAndShowingTheItemForUpdate) {
  desktop_->Push({List({kAdd, Select(u"List1", 0), kUpdate, kAdd, kOk}), Item(u"Seoul", u"1", 1),
                  CancelItem(), CancelItem()});
  control_.SetFormField(u"LIST");
  const auto shown = Showings(u"ListBoxSub");
  ASSERT_EQ(shown.size(), 3u);
  const std::vector<Loaded> empty{{u"Text1", u""}, {u"Text2", u""}, {u"Check1", std::int64_t{0}}};
  ExpectLoadedIn(shown[0], empty, "add");
  ExpectLoadedIn(shown[1], {{u"Text1", u"Seoul"}, {u"Text2", u"1"}, {u"Check1", std::int64_t{1}}},
                 "update");
  ExpectLoadedIn(shown[2], empty, "add after update");
}

TEST_F(ListBoxFTest, EditingASelect) {
  const auto option = [](FieldElement::Attributes attributes, std::u16string inner) {
    return MakeElement(u"OPTION", std::move(attributes), std::move(inner));
  };
  struct Case {
    const char* what;
    std::shared_ptr<Element> select;
    S steps;
    std::u16string expected;
    std::vector<Loaded> loaded;
  } const cases[] = {
      {"two options, the second selected",
       MakeElement(u"SELECT",
                   {{u"name", u"s"},
                    {u"size", std::int32_t{3}},
                    {u"multiple", Variant::Boolean(true)},
                    {u"id", u"x"}},
                   {},
                   {option({{u"value", u"1"}, {u"class", u"k"}}, u"a"),
                    option({{u"value", u""}, {u"selected", Variant::Boolean(true)}}, u"b")}),
       {kOk},
       u"<select name=\"s\" size=\"3\" multiple><option value=\"1\">a</option>"
       u"<option  selected >b</option></select>",
       {{u"Text1", u"s"},
        {u"Text2", u"3"},
        {u"Option1", true},
        {u"List1", std::vector<std::u16string>{Spaces(11) + u"a" + Spaces(29) + u"1",
                                               u"c" + Spaces(10) + u"b" + Spaces(29)}}}},
      {"a plain select: no name, size or values",
       MakeElement(u"SELECT", {}, {},
                   {option({}, u"x &amp; <i>y</i>"),
                    option({{u"selected", Variant::Boolean(false)}}, u"z")}),
       {kOk},
       u"<select size=\"1\" ><option >x &amp; <i>y</i></option><option >z</option></select>",
       {{u"Text1", u""}, {u"Text2", u"1"}, {u"Option2", true}}},
      {"size as text runs the numeric rule",
       MakeElement(u"SELECT", {{u"size", u"4px"}, {u"multiple", Variant::Boolean(false)}}),
       {Choose(u"Option1"), kOk},
       u"<select size=\"4\" multiple></select>",
       {{u"Text2", u"4"}, {u"Option2", true}}},
      {"cancel", MakeElement(u"SELECT", {{u"name", u"s"}}), {kCancel}, u"", {}},
      {"close from the frame",
       MakeElement(u"SELECT", {{u"name", u"s"}}),
       {CloseFrame()},
       kPrevious,
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    library_.state().FieldTagResult = kPrevious;
    desktop_->Push(List(c.steps));
    EXPECT_EQ(ToUtf8(control_.ModifyFormField(c.select)), ToUtf8(c.expected));
    EXPECT_EQ(library_.state().IsModify, kFalse);
    ExpectLoadedIn(desktop_->LastShown(u"ListBoxF"), c.loaded, c.what);
  }
  // Load leaves the last option it read in the exchange.
  EXPECT_EQ(library_.state().ItemText, u"z");
}

TEST_F(ListBoxFTest, HoldsMoreLinesThanA16BitPosition) {
  constexpr std::size_t kCount = 40000;
  std::vector<std::shared_ptr<Element>> children;
  for (std::size_t i = 0; i < kCount; ++i) {
    children.push_back(MakeElement(u"OPTION", {}, i + 1 == kCount ? u"last" : u"o"));
  }
  desktop_->Push(List({Select(u"List1", kCount - 1), kUp, kOk}));
  const std::u16string markup =
      control_.ModifyFormField(MakeElement(u"SELECT", {}, {}, std::move(children)));
  const std::u16string tail = u"<option >last</option><option >o</option></select>";
  ASSERT_GE(markup.size(), tail.size());
  EXPECT_EQ(markup.substr(markup.size() - tail.size()), tail);
  EXPECT_EQ(library_.state().ItemText, u"last");
}

}  // namespace
}  // namespace corabind::fields_test
