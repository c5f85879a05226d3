// The four single-tag dialogs driven through the control: new fields,
// typical input, editing an element, Cancel, a close from the frame, and the
// mended cases (quotes in attribute values, absent attributes, INPUT without
// TYPE).
#include <gtest/gtest.h>

#include "field_element.h"
#include "fields_fixture.h"

namespace corabind::fields_test {
namespace {

struct DialogCase {
  const char* what;
  std::u16string flag;              // SetFormField with this flag, unless
  std::shared_ptr<Element> edited;  // ModifyFormField on this element
  FormScript script;
  std::u16string expected;
  std::vector<Loaded> loaded = {};
};

using D = DialogCase;
using S = std::vector<UiStep>;
const std::u16string kPrevious = u"<previous tag>";

std::vector<DialogCase> TextBoxCases() {
  const auto ok = Click(u"Command1");
  return {
      D{"new text field confirmed at once",
        u"TEXT",
        {},
        {u"TextBoxF", S{ok}},
        u"<input type=\"text\" >",
        {{u"Text1", u""}, {u"Text3", u""}, {u"Text4", u""}, {u"Option1", true}}},
      D{"PASSWORD preselects Text too",
        u"PASSWORD",
        {},
        {u"TextBoxF", S{ok}},
        u"<input type=\"text\" >",
        {{u"Option1", true}, {u"Option2", false}}},
      D{"name and size",
        u"TEXT",
        {},
        {u"TextBoxF", S{Type(u"Text1", u"user"), Type(u"Text3", u"20"), ok}},
        u"<input type=\"text\" name = \"user\" size = \"20\" >"},
      D{"password with max length",
        u"PASSWORD",
        {},
        {u"TextBoxF", S{Type(u"Text4", u"8"), Choose(u"Option2"), ok}},
        u"<input type=\"password\" maxlength = \"8\" >"},
      D{"every field, 10000 typed is kept",
        u"TEXT",
        {},
        {u"TextBoxF", S{Type(u"Text1", u"n"), Type(u"Text2", u"v"), Type(u"Text3", u"3"),
                        Type(u"Text4", u"10000"), ok}},
        u"<input type=\"text\" name = \"n\" value = \"v\" size = \"3\" maxlength = \"10000\" >"},
      D{"emptied size shows 0, letters dropped",
        u"TEXT",
        {},
        {u"TextBoxF", S{Type(u"Text3", u"5"), Type(u"Text3", u""), Type(u"Text4", u"12a"), ok}},
        u"<input type=\"text\" size = \"0\" maxlength = \"12\" >"},
      D{"a blank name is written; quotes become &quot;, nothing else",
        u"TEXT",
        {},
        {u"TextBoxF", S{Type(u"Text1", u" "), Type(u"Text2", u"a\"><b>&amp;"), ok}},
        u"<input type=\"text\" name = \" \" value = \"a&quot;><b>&amp;\" >"},
      D{"Cancel after typing",
        u"TEXT",
        {},
        {u"TextBoxF", S{Type(u"Text1", u"x"), Click(u"Command2")}},
        u""},
      D{"close from the frame keeps the previous result",
        u"TEXT",
        {},
        {u"TextBoxF", S{Type(u"Text1", u"x"), CloseFrame()}},
        kPrevious},
      D{"edit a password input",
        {},
        MakeElement(u"INPUT", {{u"type", u"password"},
                               {u"name", u"pw"},
                               {u"maxlength", std::int32_t{8}},
                               {u"size", std::int32_t{0}},
                               {u"id", u"x"},
                               {u"class", u"c"}}),
        {u"TextBoxF", S{ok}},
        u"<input type=\"password\" name = \"pw\" maxlength = \"8\" >",
        {{u"Text1", u"pw"},
         {u"Text2", u""},
         {u"Text3", u""},
         {u"Text4", u"8"},
         {u"Option1", false},
         {u"Option2", true}}},
      D{"edit: size and value pre-filled, huge max length is not",
        {},
        MakeElement(u"INPUT", {{u"TYPE", u"Text"},
                               {u"NAME", u"n"},
                               {u"VALUE", u"a\"b"},
                               {u"SIZE", std::int32_t{30}},
                               {u"MAXLENGTH", std::int32_t{2147483647}}}),
        {u"TextBoxF", S{ok}},
        u"<input type=\"text\" name = \"n\" value = \"a&quot;b\" size = \"30\" >",
        {{u"Text2", u"a\"b"}, {u"Text3", u"30"}, {u"Text4", u""}, {u"Option1", true}}},
      D{"edit an input without type, name or value",
        {},
        MakeElement(u"INPUT", {}),
        {u"TextBoxF", S{ok}},
        u"<input type=\"text\" >",
        {{u"Text1", u""}, {u"Text2", u""}, {u"Option1", true}}},
      D{"edit then Cancel",
        {},
        MakeElement(u"INPUT", {{u"type", u"text"}, {u"name", u"n"}}),
        {u"TextBoxF", S{Click(u"Command2")}},
        u""},
      D{"edit then close from the frame",
        {},
        MakeElement(u"INPUT", {{u"type", u"text"}, {u"name", u"n"}}),
        {u"TextBoxF", S{CloseFrame()}},
        kPrevious},
  };
}

std::vector<DialogCase> TextAreaCases() {
  const auto ok = Click(u"Command1");
  return {
      D{"new text area confirmed at once",
        u"TEXTAREA",
        {},
        {u"MultiTextBoxF", S{ok}},
        u"<textarea cols = \"10\" rows = \"1\" ></textarea>",
        {{u"Text3", u"10"}, {u"Text4", u"1"}}},
      D{"name and content",
        u"TEXTAREA",
        {},
        {u"MultiTextBoxF", S{Type(u"Text1", u"memo"), Type(u"Text2", u"hello"), ok}},
        u"<textarea name = \"memo\" cols = \"10\" rows = \"1\" >hello</textarea>"},
      D{"cleared cols, several lines, rows 12abc",
        u"TEXTAREA",
        {},
        {u"MultiTextBoxF",
         S{Type(u"Text3", u""), Type(u"Text4", u"12abc"), Type(u"Text2", u"a\r\nb"), ok}},
        u"<textarea cols = \"0\" rows = \"12\" >a\r\nb</textarea>"},
      D{"quote in the name escaped, content verbatim",
        u"TEXTAREA",
        {},
        {u"MultiTextBoxF", S{Type(u"Text1", u"x\""), Type(u"Text2", u"\"</textarea>"), ok}},
        u"<textarea name = \"x&quot;\" cols = \"10\" rows = \"1\" >\"</textarea></textarea>"},
      D{"edit a text area: markup goes back unchanged, empty rows shows 0",
        {},
        MakeElement(u"TEXTAREA", {{u"NAME", u"n"}, {u"COLS", u"40"}, {u"ROWS", u""}},
                    u"<b>x</b>&amp;"),
        {u"MultiTextBoxF", S{ok}},
        u"<textarea name = \"n\" cols = \"40\" rows = \"0\" ><b>x</b>&amp;</textarea>",
        {{u"Text1", u"n"}, {u"Text2", u"<b>x</b>&amp;"}, {u"Text3", u"40"}, {u"Text4", u"0"}}},
      D{"edit a text area without attributes",
        {},
        MakeElement(u"TEXTAREA", {}, u"x"),
        {u"MultiTextBoxF", S{ok}},
        u"<textarea cols = \"10\" rows = \"1\" >x</textarea>",
        {{u"Text1", u""}, {u"Text3", u"10"}, {u"Text4", u"1"}}},
      D{"Cancel",
        u"TEXTAREA",
        {},
        {u"MultiTextBoxF", S{Type(u"Text1", u"x"), Click(u"Command2")}},
        u""},
      D{"close from the frame", u"TEXTAREA", {}, {u"MultiTextBoxF", S{CloseFrame()}}, kPrevious},
  };
}

std::vector<DialogCase> CheckBoxCases() {
  const auto ok = Click(u"Command1");
  return {
      D{"new check box confirmed at once",
        u"CHECK",
        {},
        {u"CheckBoxF", S{ok}},
        u"<input type=\"checkbox\" >",
        {{u"Option1", false}, {u"Option2", true}}},
      D{"checked only",
        u"CHECK",
        {},
        {u"CheckBoxF", S{Choose(u"Option1"), ok}},
        u"<input type=\"checkbox\" checked >"},
      D{"value without name",
        u"CHECK",
        {},
        {u"CheckBoxF", S{Type(u"Text2", u"v"), ok}},
        u"<input type=\"checkbox\" value = \"v\" >"},
      D{"typical",
        u"CHECK",
        {},
        {u"CheckBoxF", S{Type(u"Text1", u"agree"), Type(u"Text2", u"yes"), Choose(u"Option1"), ok}},
        u"<input type=\"checkbox\" name = \"agree\" value = \"yes\" checked >"},
      D{"quote in the name",
        u"CHECK",
        {},
        {u"CheckBoxF", S{Type(u"Text1", u"a\" onclick=\""), ok}},
        u"<input type=\"checkbox\" name = \"a&quot; onclick=&quot;\" >"},
      D{"edit a checked box",
        {},
        MakeElement(u"INPUT", {{u"type", u"checkbox"},
                               {u"name", u"n"},
                               {u"value", u"v"},
                               {u"checked", Variant::Boolean(true)},
                               {u"style", u"s"}}),
        {u"CheckBoxF", S{ok}},
        u"<input type=\"checkbox\" name = \"n\" value = \"v\" checked >",
        {{u"Text1", u"n"}, {u"Text2", u"v"}, {u"Option1", true}, {u"Option2", false}}},
      D{"edit: 1 is not the exact true, no name or value",
        {},
        MakeElement(u"INPUT", {{u"type", u"CheckBox"}, {u"checked", std::int32_t{1}}}),
        {u"CheckBoxF", S{ok}},
        u"<input type=\"checkbox\" >",
        {{u"Text1", u""}, {u"Option2", true}}},
      D{"Cancel after editing",
        {},
        MakeElement(u"INPUT", {{u"type", u"checkbox"}}),
        {u"CheckBoxF", S{Choose(u"Option1"), Click(u"Command2")}},
        u""},
      D{"close from the frame", u"CHECK", {}, {u"CheckBoxF", S{CloseFrame()}}, kPrevious},
  };
}

std::vector<DialogCase> RadioBoxCases() {
  const auto ok = Click(u"Command1");
  return {
      D{"new radio button confirmed at once",
        u"RADIO",
        {},
        {u"RadioBoxF", S{ok}},
        u"<input type=\"radio\" >",
        {{u"Option1", false}, {u"Option2", true}}},
      D{"selected only",
        u"RADIO",
        {},
        {u"RadioBoxF", S{Choose(u"Option1"), ok}},
        u"<input type=\"radio\" checked >"},
      D{"typical",
        u"RADIO",
        {},
        {u"RadioBoxF", S{Type(u"Text1", u"size"), Type(u"Text2", u"L"), Choose(u"Option1"), ok}},
        u"<input type=\"radio\" name = \"size\" value = \"L\" checked >"},
      D{"edit a lower-case radio that is checked",
        {},
        MakeElement(u"INPUT", {{u"type", u"radio"},
                               {u"name", u"g"},
                               {u"value", u"1\""},
                               {u"checked", Variant::Boolean(true)}}),
        {u"RadioBoxF", S{ok}},
        u"<input type=\"radio\" name = \"g\" value = \"1&quot;\" checked >",
        {{u"Text1", u"g"}, {u"Text2", u"1\""}, {u"Option1", true}}},
      D{"edit an unchecked radio without value",
        {},
        MakeElement(u"INPUT",
                    {{u"type", u"Radio"}, {u"name", u"g"}, {u"checked", Variant::Boolean(false)}}),
        {u"RadioBoxF", S{ok}},
        u"<input type=\"radio\" name = \"g\" >",
        {{u"Text2", u""}, {u"Option2", true}}},
      D{"Cancel", u"RADIO", {}, {u"RadioBoxF", S{Type(u"Text1", u"x"), Click(u"Command2")}}, u""},
      D{"close from the frame", u"RADIO", {}, {u"RadioBoxF", S{CloseFrame()}}, kPrevious},
  };
}

class FieldDialogsTest : public FieldsTest {
 protected:
  void RunCases(const std::vector<DialogCase>& cases) {
    for (const DialogCase& c : cases) {
      SCOPED_TRACE(c.what);
      desktop_->ClearEvents();
      library_.state().FieldTagResult = kPrevious;
      desktop_->Push(c.script);
      const std::u16string result =
          c.edited ? control_.ModifyFormField(c.edited) : control_.SetFormField(c.flag);
      EXPECT_EQ(ToUtf8(result), ToUtf8(c.expected));
      EXPECT_TRUE(desktop_->ScriptDone());
      EXPECT_EQ(library_.state().IsModify, kFalse);
      ExpectLoadedIn(desktop_->LastShown(c.script.form), c.loaded, c.what);
    }
  }
};

TEST_F(FieldDialogsTest, TextAndPasswordField) {
  RunCases(TextBoxCases());
}
TEST_F(FieldDialogsTest, TextArea) {
  RunCases(TextAreaCases());
}
TEST_F(FieldDialogsTest, CheckBox) {
  RunCases(CheckBoxCases());
}
TEST_F(FieldDialogsTest, RadioButton) {
  RunCases(RadioBoxCases());
}

TEST_F(FieldDialogsTest, EveryOpeningStartsFromTheDefaults) {
  // Typed text does not survive into the next opening, nor does an edited
  // element's text into a later new field.
  desktop_->Push(
      {FormScript{u"TextBoxF", S{Type(u"Text1", u"a"), Type(u"Text3", u"9"), Click(u"Command2")}},
       FormScript{u"TextBoxF", S{Click(u"Command1")}}});
  control_.ModifyFormField(MakeElement(u"INPUT", {{u"name", u"old"}}));
  EXPECT_EQ(control_.SetFormField(u"TEXT"), u"<input type=\"text\" >");
  ExpectLoadedIn(desktop_->LastShown(u"TextBoxF"), {{u"Text1", u""}, {u"Text3", u""}}, "");
}

}  // namespace
}  // namespace corabind::fields_test
