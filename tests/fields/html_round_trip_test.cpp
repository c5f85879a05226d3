// Markup the dialogs write, parsed by this platform's HTML model and edited
// again without changes, comes back character for character: the load steps
// read what the OK steps write, quotes included.
#include <gtest/gtest.h>

#include "fields_fixture.h"
#include "platform/html/html_document.h"

namespace corabind::fields_test {
namespace {

class HtmlRoundTripTest : public FieldsTest {};

TEST_F(HtmlRoundTripTest, EditingWrittenMarkupGivesItBack) {
  struct Case {
    std::u16string form, ok, markup;
  } const cases[] = {
      {u"TextBoxF", u"Command1",
       u"<input type=\"text\" name = \"a&quot;b\" value = \"x & y\" size = \"20\" "
       u"maxlength = \"8\" >"},
      {u"TextBoxF", u"Command1", u"<input type=\"password\" name = \"pw\" >"},
      {u"MultiTextBoxF", u"Command1",
       u"<textarea name = \"memo\" cols = \"40\" rows = \"3\" >hello &amp; bye</textarea>"},
      {u"CheckBoxF", u"Command1",
       u"<input type=\"checkbox\" name = \"agree\" value = \"&quot;yes&quot;\" checked >"},
      {u"RadioBoxF", u"Command1", u"<input type=\"radio\" name = \"g\" >"},
      {u"ListBoxF", u"Command6",
       u"<select name=\"city\" size=\"2\" multiple><option value=\"1\" selected >Seoul</option>"
       u"<option >Busan &amp; more</option><option value=\"q&quot;\">x</option>"
       u"</select>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.markup));
    desktop_->Push(FormScript{c.form, {Click(c.ok)}});
    EXPECT_EQ(ToUtf8(control_.ModifyFormField(html::ParseElement(c.markup))), ToUtf8(c.markup));
  }
}

}  // namespace
}  // namespace corabind::fields_test
