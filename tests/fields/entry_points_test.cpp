// Which dialog each flag and element opens, the trace messages, and what the
// two entry points return and leave behind.
#include <gtest/gtest.h>

#include "core/failure.h"
#include "fields_fixture.h"
#include "support/expect_failure.h"

namespace corabind::fields_test {
namespace {

class EntryPointsTest : public FieldsTest {
 protected:
  // Runs `call` from kPrevious, closing from the frame each dialog that
  // opens; expects `events` ("form" or "message: text") in order.
  void ExpectRoute(const std::vector<std::u16string>& events, auto call) {
    desktop_->ClearEvents();
    library_.state().FieldTagResult = kPrevious;
    for (const auto& e : events) {
      if (!e.starts_with(u"message: ")) desktop_->Push(FormScript{e, {kClose}});
    }
    EXPECT_EQ(call(), kPrevious);
    EXPECT_TRUE(desktop_->ScriptDone());
    std::vector<std::u16string> seen;
    for (const auto& e : desktop_->events()) {
      const auto* f = std::get_if<FormEvent>(&e);
      seen.push_back(f ? f->form : u"message: " + std::get<MessageBoxEvent>(e).text);
    }
    EXPECT_EQ(seen, events);
  }
};

TEST_F(EntryPointsTest, SetFormFieldRoutesExactFlagsOnly) {
  // flag=the form it opens
  for (const std::u16string& row :
       Split(u"TEXT=TextBoxF|PASSWORD=TextBoxF|RADIO=RadioBoxF|CHECK=CheckBoxF|"
             u"TEXTAREA=MultiTextBoxF|LIST=ListBoxF|text=|CHECKBOX=|SELECT=|=| TEXT=",
             u'|')) {
    const std::u16string flag = row.substr(0, row.find(u'=')), form = row.substr(flag.size() + 1);
    SCOPED_TRACE(ToUtf8(row));
    ExpectRoute(form.empty() ? std::vector<std::u16string>{} : std::vector{form},
                [&] { return control_.SetFormField(flag); });
  }
}

TEST_F(EntryPointsTest, ModifyFormFieldRoutesByTagAndUpperCasedType) {
  const std::u16string into = u"message: Into ModifyFormField",
                       text = u"message: It is Text or Password";
  struct Case {
    std::shared_ptr<Element> element;
    VariantBool debugging;
    std::vector<std::u16string> events;
  } const cases[] = {
      {Elem(u"INPUT", {u"type", u"text"}), kFalse, {u"TextBoxF"}},
      {Elem(u"INPUT", {u"type", u"PassWord"}), kTrue, {into, text, u"TextBoxF"}},
      {Elem(u"INPUT"), kTrue, {into, text, u"TextBoxF"}},
      {Elem(u"INPUT", {u"type", u"TEXT"}), 1, {into, text, u"TextBoxF"}},
      {Elem(u"INPUT", {u"type", u"checkbox"}), kTrue, {into, u"CheckBoxF"}},
      {Elem(u"INPUT", {u"type", u"Radio"}), kFalse, {u"RadioBoxF"}},
      {Elem(u"TEXTAREA"), kTrue, {into, u"MultiTextBoxF"}},
      {Elem(u"SELECT"), kFalse, {u"ListBoxF"}},
      {Elem(u"INPUT", {u"type", u"submit"}), kTrue, {into}},
      {Elem(u"INPUT", {u"type", u"check"}), kFalse, {}},
      {Elem(u"input", {u"type", u"text"}), kFalse, {}},
      {Elem(u"DIV"), kTrue, {into}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);  // row
    ExpectRoute(c.events, [&] { return control_.ModifyFormField(c.element, c.debugging); });
    EXPECT_EQ(library_.state().EditElement, c.element);
    EXPECT_EQ(library_.state().IsModify, kFalse);
  }
}

TEST_F(EntryPointsTest, NoElementIsAFailureThatChangesNothing) {
  const auto before = Elem(u"DIV");
  control_.ModifyFormField(before);
  testing::ExpectFailure(err::kObjectNotSet, [&] { control_.ModifyFormField(nullptr, kTrue); });
  EXPECT_EQ(library_.state().EditElement, before);
  EXPECT_EQ(library_.state().IsModify, kFalse);
}

}  // namespace
}  // namespace corabind::fields_test
