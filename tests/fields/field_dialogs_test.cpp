// The four single-tag dialogs driven through the control: new fields, typed
// input, editing an element, Cancel and a close from the frame.
#include <gtest/gtest.h>

#include "core/failure.h"
#include "fields_fixture.h"
#include "support/expect_failure.h"

namespace corabind::fields_test {
namespace {

class FieldDialogsTest : public FieldsTest {};

TEST_F(FieldDialogsTest, TextAndPasswordField) {
  RunDialog(
      u"TextBoxF", u"TEXT",
      {{nullptr, {{kOk}}, uR"(<input type="text" >)", u"Text1=|Text3=|Text4=|Option1=true"},
       {nullptr,
        {{T(u"Text1", u"n"), T(u"Text2", u"v"), T(u"Text3", u"3"), T(u"Text4", u"10000"), kOk}},
        uR"(<input type="text" name = "n" value = "v" size = "3" maxlength = "10000" >)"},
       {nullptr,
        {{T(u"Text3", u"5"), T(u"Text3", u""), T(u"Text4", u"12a"), kOk}},
        uR"(<input type="text" size = "0" maxlength = "12" >)"},
       // A blank name is still a name; only the quote needs escaping.
       {nullptr,
        {{T(u"Text1", u" "), T(u"Text2", u"a\"><b>&amp;"), kOk}},
        uR"(<input type="text" name = " " value = "a&quot;><b>&amp;" >)"},
       {nullptr, {{T(u"Text1", u"x"), kCancel}}, u""},
       {nullptr, {{T(u"Text1", u"x"), kClose}}, kPrevious},
       {Elem(u"INPUT", {u"type", u"password", u"name", u"pw", u"maxlength", 9999, u"size",
                        std::int32_t{0}, u"class", u"c"}),
        {{kOk}},
        uR"(<input type="password" name = "pw" maxlength = "9999" >)",
        u"Text1=pw|Text2=|Text3=|Text4=9999|Option1=false|Option2=true"},
       // 10000 and more is the model's "unlimited" maximum length.
       {Elem(u"INPUT", {u"TYPE", u"Text", u"NAME", u"n", u"VALUE", u"a\"b", u"SIZE", 30,
                        u"MAXLENGTH", 10000}),
        {{kOk}},
        uR"(<input type="text" name = "n" value = "a&quot;b" size = "30" >)",
        u"Text2=a\"b|Text3=30|Text4=|Option1=true"},
       // No TYPE is a text field; absent attributes keep the initial values.
       {Elem(u"INPUT"), {{kOk}}, uR"(<input type="text" >)", u"Text1=|Text2=|Option1=true"},
       Again(
           uR"(<input type="text" name = "a&quot;b" value = "x & y" size = "20" maxlength = "8" >)")});
  RunDialog(u"TextBoxF", u"PASSWORD",
            {{nullptr, {{kOk}}, uR"(<input type="text" >)", u"Option1=true|Option2=false"},
             {nullptr,
              {{T(u"Text4", u"8"), S::Choose(u"Option2"), kOk}},
              uR"(<input type="password" maxlength = "8" >)"}});
}

TEST_F(FieldDialogsTest, TextArea) {
  RunDialog(
      u"MultiTextBoxF", u"TEXTAREA",
      {{nullptr, {{kOk}}, uR"(<textarea cols = "10" rows = "1" ></textarea>)", u"Text3=10|Text4=1"},
       {nullptr,
        {{T(u"Text3", u""), T(u"Text4", u"12abc"), T(u"Text2", u"a\r\nb"), kOk}},
        u"<textarea cols = \"0\" rows = \"12\" >a\r\nb</textarea>"},
       // The name is an attribute value, the content is markup.
       {nullptr,
        {{T(u"Text1", u"x\""), T(u"Text2", u"\"</textarea>"), kOk}},
        uR"(<textarea name = "x&quot;" cols = "10" rows = "1" >"</textarea></textarea>)"},
       {nullptr, {{T(u"Text1", u"x"), kCancel}}, u""},
       {nullptr, {{kClose}}, kPrevious},
       {Elem(u"TEXTAREA", {u"NAME", u"n", u"COLS", u"40", u"ROWS", u""}, u"<b>x</b>&amp;"),
        {{kOk}},
        uR"(<textarea name = "n" cols = "40" rows = "0" ><b>x</b>&amp;</textarea>)",
        u"Text1=n|Text2=<b>x</b>&amp;|Text3=40|Text4=0"},
       {Elem(u"TEXTAREA", {}, u"x"),
        {{kOk}},
        uR"(<textarea cols = "10" rows = "1" >x</textarea>)",
        u"Text1=|Text3=10|Text4=1"},
       Again(uR"(<textarea name = "memo" cols = "40" rows = "3" >hello &amp; bye</textarea>)"),
       // Content that begins with a line break keeps it edit after edit.
       Again(u"<textarea cols = \"10\" rows = \"1\" >\r\n\nsecond line</textarea>")});
}

TEST_F(FieldDialogsTest, CheckBoxAndRadioButton) {
  RunDialog(
      u"CheckBoxF", u"CHECK",
      {{nullptr, {{kOk}}, uR"(<input type="checkbox" >)", u"Option1=false|Option2=true"},
       {nullptr,
        {{T(u"Text2", u"v"), S::Choose(u"Option1"), kOk}},
        uR"(<input type="checkbox" value = "v" checked >)"},
       {nullptr,
        {{T(u"Text1", u"a\" onclick=\""), T(u"Text2", u"yes"), S::Choose(u"Option1"), kOk}},
        uR"(<input type="checkbox" name = "a&quot; onclick=&quot;" value = "yes" checked >)"},
       {nullptr, {{kClose}}, kPrevious},
       {Elem(u"INPUT", {u"type", u"checkbox", u"name", u"n", u"value", u"v", u"checked", kYes}),
        {{kOk}},
        uR"(<input type="checkbox" name = "n" value = "v" checked >)",
        u"Text1=n|Text2=v|Option1=true|Option2=false"},
       // Only the exact true (-1) is checked.
       {Elem(u"INPUT", {u"type", u"CheckBox", u"checked", 1}),
        {{kOk}},
        uR"(<input type="checkbox" >)",
        u"Text1=|Option2=true"},
       {Elem(u"INPUT", {u"type", u"checkbox"}), {{S::Choose(u"Option1"), kCancel}}, u""},
       Again(uR"(<input type="checkbox" name = "agree" value = "&quot;yes&quot;" checked >)")});
  RunDialog(
      u"RadioBoxF", u"RADIO",
      {{nullptr, {{kOk}}, uR"(<input type="radio" >)", u"Option1=false|Option2=true"},
       {nullptr,
        {{T(u"Text1", u"size"), T(u"Text2", u"L"), S::Choose(u"Option1"), kOk}},
        uR"(<input type="radio" name = "size" value = "L" checked >)"},
       {Elem(u"INPUT", {u"type", u"radio", u"name", u"g", u"value", u"1\"", u"checked", kYes}),
        {{kOk}},
        uR"(<input type="radio" name = "g" value = "1&quot;" checked >)",
        u"Text1=g|Text2=1\"|Option1=true"},
       {Elem(u"INPUT", {u"type", u"Radio", u"name", u"g", u"checked", kNo}),
        {{kOk}},
        uR"(<input type="radio" name = "g" >)",
        u"Text2=|Option2=true"}});
}

TEST_F(FieldDialogsTest, EveryOpeningStartsFromTheDefaults) {
  // Neither typed text nor an edited element's values survive into the next
  // opening, and a load that fails (a SIZE that is no number cannot be
  // compared) leaves nothing modifying either.
  desktop_->Push(Script(u"TextBoxF", {{T(u"Text1", u"a"), T(u"Text3", u"9"), kCancel}}));
  control_.ModifyFormField(Elem(u"INPUT", {u"name", u"old"}));
  const auto bad = Elem(u"INPUT", {u"type", u"text", u"name", u"old", u"size", u"wide"});
  desktop_->Push(FormScript{u"TextBoxF", {}});
  testing::ExpectFailure(err::kTypeMismatch, [&] { control_.ModifyFormField(bad); });
  EXPECT_EQ(library_.state().IsModify, kFalse);
  EXPECT_EQ(library_.state().EditElement, bad);
  desktop_->Push(Script(u"TextBoxF", {{kOk}}));
  EXPECT_EQ(control_.SetFormField(u"TEXT"), uR"(<input type="text" >)");
  ExpectLoaded(desktop_->LastShown(u"TextBoxF"), u"Text1=|Text3=");
}

}  // namespace
}  // namespace corabind::fields_test
