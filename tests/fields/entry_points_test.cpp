// Which dialog each flag and element opens, the trace messages, and what the
// two entry points return and leave behind.
#include <gtest/gtest.h>

#include "control/failure.h"
#include "field_element.h"
#include "fields_fixture.h"

namespace corabind::fields_test {
namespace {

const std::u16string kPrevious = u"<previous tag>";

class EntryPointsTest : public FieldsTest {
 protected:
  // The forms shown since the last clear, in order.
  std::vector<std::u16string> FormsShown() const {
    std::vector<std::u16string> out;
    for (const auto& e : desktop_->events()) {
      if (const auto* f = std::get_if<FormEvent>(&e)) out.push_back(f->form);
    }
    return out;
  }
};

TEST_F(EntryPointsTest, SetFormFieldRoutesExactFlagsOnly) {
  struct Case {
    std::u16string flag, form;  // form "" when none opens
  } const cases[] = {
      {u"TEXT", u"TextBoxF"},
      {u"PASSWORD", u"TextBoxF"},
      {u"RADIO", u"RadioBoxF"},
      {u"CHECK", u"CheckBoxF"},
      {u"TEXTAREA", u"MultiTextBoxF"},
      {u"LIST", u"ListBoxF"},
      {u"text", u""},
      {u"CHECKBOX", u""},
      {u"SELECT", u""},
      {u"", u""},
      {u" TEXT", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.flag));
    desktop_->ClearEvents();
    library_.state().FieldTagResult = kPrevious;
    if (!c.form.empty()) desktop_->Push(FormScript{c.form, {CloseFrame()}});
    EXPECT_EQ(control_.SetFormField(c.flag), kPrevious);
    EXPECT_EQ(FormsShown(),
              c.form.empty() ? std::vector<std::u16string>{} : std::vector<std::u16string>{c.form});
    EXPECT_TRUE(desktop_->ScriptDone());
  }
}

TEST_F(EntryPointsTest, ModifyFormFieldRoutesByTagAndUpperCasedType) {
  struct Case {
    const char* what;
    std::shared_ptr<Element> element;
    VariantBool debugging;
    std::u16string form;
    std::vector<std::u16string> messages;
  };
  const std::u16string into = u"Into ModifyFormField", text = u"It is Text or Password";
  const Case cases[] = {
      {"text", MakeElement(u"INPUT", {{u"type", u"text"}}), kFalse, u"TextBoxF", {}},
      {"password traced",
       MakeElement(u"INPUT", {{u"type", u"PassWord"}}),
       kTrue,
       u"TextBoxF",
       {into, text}},
      {"no type is text", MakeElement(u"INPUT", {}), kTrue, u"TextBoxF", {into, text}},
      {"any non-zero flag traces",
       MakeElement(u"INPUT", {{u"type", u"TEXT"}}),
       1,
       u"TextBoxF",
       {into, text}},
      {"checkbox", MakeElement(u"INPUT", {{u"type", u"checkbox"}}), kTrue, u"CheckBoxF", {into}},
      {"radio", MakeElement(u"INPUT", {{u"type", u"Radio"}}), kFalse, u"RadioBoxF", {}},
      {"textarea", MakeElement(u"TEXTAREA", {}), kTrue, u"MultiTextBoxF", {into}},
      {"select", MakeElement(u"SELECT", {}), kFalse, u"ListBoxF", {}},
      {"submit", MakeElement(u"INPUT", {{u"type", u"submit"}}), kTrue, u"", {into}},
      {"empty type", MakeElement(u"INPUT", {{u"type", u""}}), kFalse, u"", {}},
      {"check is no input type", MakeElement(u"INPUT", {{u"type", u"check"}}), kFalse, u"", {}},
      {"lower-case tag", MakeElement(u"input", {{u"type", u"text"}}), kFalse, u"", {}},
      {"other element", MakeElement(u"DIV", {}), kTrue, u"", {into}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    desktop_->ClearEvents();
    library_.state().FieldTagResult = kPrevious;
    if (!c.form.empty()) desktop_->Push(FormScript{c.form, {CloseFrame()}});
    EXPECT_EQ(control_.ModifyFormField(c.element, c.debugging), kPrevious);
    EXPECT_EQ(FormsShown(),
              c.form.empty() ? std::vector<std::u16string>{} : std::vector<std::u16string>{c.form});
    EXPECT_EQ(desktop_->MessageBoxes(), c.messages);
    if (!c.form.empty()) {
      // The trace messages come before the dialog.
      EXPECT_TRUE(std::holds_alternative<FormEvent>(desktop_->events().back()));
    }
    EXPECT_EQ(library_.state().EditElement, c.element);
    EXPECT_EQ(library_.state().IsModify, kFalse);
  }
}

TEST_F(EntryPointsTest, ResultFollowsHowEachDialogEnded) {
  desktop_->Push({FormScript{u"CheckBoxF", {Click(u"Command1")}},
                  FormScript{u"RadioBoxF", {CloseFrame()}},
                  FormScript{u"TextBoxF", {Click(u"Command2")}},
                  FormScript{u"CheckBoxF", {Click(u"Command1")}}});
  const std::u16string tag = u"<input type=\"checkbox\" >";
  EXPECT_EQ(control_.SetFormField(u"CHECK"), tag);
  EXPECT_EQ(control_.SetFormField(u"RADIO"), tag);  // closed from the frame
  EXPECT_EQ(control_.SetFormField(u"unknown"), tag);
  EXPECT_EQ(control_.ModifyFormField(MakeElement(u"INPUT", {{u"type", u"hidden"}})), tag);
  EXPECT_EQ(control_.SetFormField(u"TEXT"), u"");  // cancelled
  EXPECT_EQ(control_.ModifyFormField(MakeElement(u"INPUT", {{u"type", u"checkbox"}})), tag);
  EXPECT_TRUE(desktop_->ScriptDone());
}

TEST_F(EntryPointsTest, AFailedLoadLeavesNothingModifying) {
  // A text SIZE that does not read as a number cannot be compared: the load
  // fails and the failure reaches the page.
  const auto bad =
      MakeElement(u"INPUT", {{u"type", u"text"}, {u"name", u"old"}, {u"size", u"wide"}});
  desktop_->Push(FormScript{u"TextBoxF", {}});
  try {
    control_.ModifyFormField(bad);
    ADD_FAILURE() << "the load did not fail";
  } catch (const Failure& f) {
    EXPECT_EQ(f.number(), err::kTypeMismatch);
  }
  EXPECT_EQ(library_.state().IsModify, kFalse);
  EXPECT_EQ(library_.state().EditElement, bad);
  // So the next new field opens with its defaults, not pre-filled.
  desktop_->Push(FormScript{u"TextBoxF", {Click(u"Command1")}});
  EXPECT_EQ(control_.SetFormField(u"TEXT"), u"<input type=\"text\" >");
  ExpectLoadedIn(desktop_->LastShown(u"TextBoxF"), {{u"Text1", u""}}, "new field");
}

TEST_F(EntryPointsTest, NoElementIsAFailureThatChangesNothing) {
  const auto before = MakeElement(u"DIV", {});
  control_.ModifyFormField(before);
  try {
    control_.ModifyFormField(nullptr, kTrue);
    ADD_FAILURE() << "no failure";
  } catch (const Failure& f) {
    EXPECT_EQ(f.number(), err::kObjectNotSet);
  }
  EXPECT_EQ(library_.state().EditElement, before);
  EXPECT_EQ(library_.state().IsModify, kFalse);
}

}  // namespace
}  // namespace corabind::fields_test
