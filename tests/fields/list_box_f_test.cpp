// The select list dialog: its fixed-column lines, the item editing buttons
// with the nested option item dialog, editing a select, and its markup.
#include "fields/list_box_f.h"

#include <gtest/gtest.h>

#include "fields/item_line.h"
#include "fields_fixture.h"

namespace corabind::fields_test {
namespace {

std::u16string Sp(std::size_t n) {
  return std::u16string(n, u' ');
}
std::u16string Select(std::u16string options) {
  return u"<select size=\"1\" >" + options + u"</select>";
}

TEST(ItemLineTest, FormatsAndReadsBackTheFixedColumns) {
  const std::u16string t30 = u"abcdefghijklmnopqrstuvwxyz0123", x29(29, u'x'), v100(100, u'v');
  struct Case {
    std::int16_t selected;
    std::u16string text, value, line;
    ItemLine back;
  } const cases[] = {
      {1, u"Seoul", u"1", u"c" + Sp(10) + u"Seoul" + Sp(25) + u"1", {1, u"Seoul", u"1"}},
      {-1, u"a", u"", Sp(11) + u"a" + Sp(29), {0, u"a", u""}},  // only 1 marks
      {0, t30, u"v", Sp(11) + t30 + u"v", {0, t30, u"v"}},
      {0, t30 + u"!", u"", Sp(11) + t30, {0, t30, u""}},
      {1, u"  t  ", u" v w ", u"c" + Sp(12) + u"t" + Sp(27) + u" v w ", {1, u"t", u"v w"}},
      {0, u"", v100, Sp(41) + v100, {0, u"", v100}},
      // A surrogate pair across the cut stays out whole.
      {0, x29 + u"\U0001F600", u"", Sp(11) + x29 + u" ", {0, x29, u""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.text));
    EXPECT_EQ(FormatItemLine(c.selected, c.text, c.value), c.line);
    EXPECT_EQ(ReadItemLine(c.line), c.back);
  }
  // Lines that end before a column read that column as "".
  EXPECT_EQ(ReadItemLine(u"c"), (ItemLine{1, u"", u""}));
  EXPECT_EQ(ReadItemLine(u""), (ItemLine{0, u"", u""}));
  EXPECT_EQ(ReadItemLine(Sp(11) + u"ab"), (ItemLine{0, u"ab", u""}));
}

class ListBoxFTest : public FieldsTest {};

TEST_F(ListBoxFTest, ColumnHeaderReadsAsItAlwaysHas) {
  const ListBoxF dialog(library_);
  const std::u16string header = dialog.Get<Label>(u"Label2").design().caption;
  EXPECT_EQ(ToUtf8(header), "    Selected Item" + std::string(32, ' ') + "Value");
  EXPECT_EQ(header.size(), 54u);
}

TEST_F(ListBoxFTest, NewListsAndItemEditing) {
  const std::u16string oa = u"<option >a</option>", ob = u"<option >b</option>",
                       oc = u"<option >c</option>";
  // Items a, b and c added, then `then` in the list.
  const auto abc = [](std::vector<UiStep> then) {
    then.insert(then.begin(), {kAdd, kAdd, kAdd});
    return Forms{
        then, {T(u"Text1", u"a"), kOk}, {T(u"Text1", u"b"), kOk}, {T(u"Text1", u"c"), kOk}};
  };
  RunDialog(
      u"ListBoxF", u"LIST",
      {{nullptr, {{kListOk}}, Select(u""), u"Text1=|Text2=1|Option2=true|List1=[]"},
       {nullptr,
        {{T(u"Text1", u"a"), T(u"Text2", u"3"), S::Choose(u"Option1"), kListOk}},
        uR"(<select name="a" size="3" multiple></select>)"},
       {nullptr,
        {{T(u"Text2", u"12abc"), T(u"Text2", u""), kListOk}},
        uR"(<select size="0" ></select>)"},
       {nullptr,
        {{T(u"Text1", u"city"), kAdd, kAdd, kAdd, kListOk},
         {T(u"Text1", u"Seoul"), T(u"Text2", u"1"), S::Check(u"Check1", 1), kOk},
         {kOk},
         {T(u"Text1", u"t"), S::Check(u"Check1", 1), kOk}},
        uR"(<select name="city" size="1" ><option value="1" selected >Seoul</option>)"
        uR"(<option ></option><option  selected >t</option></select>)"},
       // The text is cut to 30 before trimming, so a leading blank counts.
       {nullptr,
        {{kAdd, kListOk},
         {T(u"Text1", u" abcdefghijklmnopqrstuvwxyz01234567"), T(u"Text2", u"  v  "), kOk}},
        Select(uR"(<option value="v">abcdefghijklmnopqrstuvwxyz012</option>)")},
       // Quotes are escaped in attribute values only; the text is markup.
       {nullptr,
        {{T(u"Text1", u"n\">"), kAdd, kListOk},
         {T(u"Text1", u"<b>\"</b>"), T(u"Text2", u"v\""), kOk}},
        uR"(<select name="n&quot;>" size="1" ><option value="v&quot;"><b>"</b></option></select>)"},
       // Update shows the line's item and replaces the line; a cut text survives it.
       {nullptr,
        {{kAdd, kAdd, S::Select(u"List1", 0), kUpdate, S::Select(u"List1", 1), kUpdate, kListOk},
         {T(u"Text1", u"Seoul"), T(u"Text2", u"1"), S::Check(u"Check1", 1), kOk},
         {T(u"Text1", u"abcdefghijklmnopqrstuvwxyz0123"), T(u"Text2", u"v"), kOk},
         {T(u"Text1", u"Tokyo"), S::Check(u"Check1", 0), kOk},
         {kOk}},
        Select(uR"(<option value="1">Tokyo</option>)"
               uR"(<option value="v">abcdefghijklmnopqrstuvwxyz0123</option>)")},
       // Neither a cancelled add nor a cancelled update changes the lines or the choice.
       {nullptr,
        {{kAdd, kAdd, kAdd, S::Select(u"List1", 0), kUpdate, kDown, kListOk},
         {T(u"Text1", u"a"), kOk},
         {T(u"Text1", u"x"), kCancel},
         {T(u"Text1", u"b"), kOk},
         {T(u"Text1", u"y"), kCancel}},
        Select(ob + oa)},
       // Nothing chosen, the first line up, the last line down: no change.
       {nullptr,
        abc({kUpdate, kDelete, kUp, kDown, S::Select(u"List1", 0), kUp, S::Select(u"List1", 2),
             kDown, kListOk}),
        Select(oa + ob + oc)},
       // A move or a delete goes one place and leaves nothing chosen.
       {nullptr,
        abc({S::Select(u"List1", 2), kUp, kUp, S::Select(u"List1", 0), kDown,
             S::Select(u"List1", 1), kDelete, kDelete, kListOk}),
        Select(oc + ob)},
       {nullptr, {{kAdd, kListCancel}, {T(u"Text1", u"a"), kOk}}, u""},
       {nullptr, {{kAdd, kClose}, {T(u"Text1", u"a"), kOk}}, kPrevious}});
}

TEST_F(ListBoxFTest, EditingASelect) {
  const auto a = Elem(u"OPTION", {u"value", u"1", u"class", u"k"}, u"a"),
             b = Elem(u"OPTION", {u"value", u"", u"selected", kYes}, u"b"),
             xy = Elem(u"OPTION", {}, u"x &amp; <i>y</i>"),
             z = Elem(u"OPTION", {u"selected", kNo}, u"z");
  RunDialog(
      u"ListBoxF", {},
      {{Elem(u"SELECT", {u"name", u"s", u"size", 3, u"multiple", kYes}, {}, {a, b}),
        {{kListOk}},
        uR"(<select name="s" size="3" multiple><option value="1">a</option>)"
        uR"(<option  selected >b</option></select>)",
        u"Text1=s|Text2=3|Option1=true|List1=[" + Sp(11) + u"a" + Sp(29) + u"1~c" + Sp(10) + u"b" +
            Sp(29) + u"]"},
       {Elem(u"SELECT", {}, {}, {xy, z}),
        {{kListOk}},
        Select(uR"(<option >x &amp; <i>y</i></option><option >z</option>)"),
        u"Text1=|Text2=1|Option2=true"},
       // A SIZE given as text still goes through the numeric rule.
       {Elem(u"SELECT", {u"size", u"4px", u"multiple", kNo}),
        {{S::Choose(u"Option1"), kListOk}},
        uR"(<select size="4" multiple></select>)",
        u"Text2=4|Option2=true"},
       {Elem(u"SELECT", {u"name", u"s"}), {{kListCancel}}, u""},
       {Elem(u"SELECT", {u"name", u"s"}), {{kClose}}, kPrevious},
       Again(uR"(<select name="city" size="2" multiple><option value="1" selected >Seoul</option>)"
             uR"(<option >Busan &amp; more</option><option value="q&quot;">x</option></select>)",
             kListOk)});
}

TEST_F(ListBoxFTest, HoldsMoreLinesThanA16BitPosition) {
  std::vector<std::shared_ptr<Element>> options(39999, Elem(u"OPTION", {}, u"o"));
  options.push_back(Elem(u"OPTION", {}, u"last"));
  desktop_->Push(Script(u"ListBoxF", {{S::Select(u"List1", 39999), kUp, kListOk}}));
  const std::u16string markup = control_.ModifyFormField(Elem(u"SELECT", {}, {}, options));
  const std::u16string tail = u"<option >last</option><option >o</option></select>";
  ASSERT_GE(markup.size(), tail.size());
  EXPECT_EQ(markup.substr(markup.size() - tail.size()), tail);
  // The load leaves the last option it read in the exchange.
  EXPECT_EQ(library_.state().ItemText, u"last");
}

}  // namespace
}  // namespace corabind::fields_test
