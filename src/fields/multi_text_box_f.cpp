#include "fields/multi_text_box_f.h"

#include "fields/dialog_support.h"
#include "fields/numeric_field.h"

namespace corabind {

MultiTextBoxF::MultiTextBoxF(Library& library)
    : Form(u"MultiTextBoxF", u"TextArea Setting", {476, 236}), library_(library) {
  Add<Label>(Design(u"Label1", {4, 24, 60, 25}, u"Name : ", kDotum975));
  Add<TextBox>(Design(u"Text1", {64, 20, 305, 25}, u"", kDotum975, 0));
  Add<Label>(Design(u"Label2", {4, 64, 60, 27}, u"Default : ", kDotum975));
  Add<TextBox>(Design(u"Text2", {64, 56, 305, 129}, u"", kDotum975, 5), u"", true);
  Add<Label>(Design(u"Label3", {4, 200, 60, 27}, u"Cols : ", kDotum975));
  Add<TextBox>(Design(u"Text3", {64, 196, 73, 25}, u"", kGulim975, 1), u"10");
  Add<Label>(Design(u"Label4", {236, 196, 60, 27}, u"Rows : ", kDotum975));
  Add<TextBox>(Design(u"Text4", {296, 192, 73, 25}, u"", kGulim975, 2), u"1");
  Add<CommandButton>(Design(u"Command1", {384, 156, 80, 27}, u"OK", kDotum975, 3)).on_click =
      [this] { Ok(); };
  Add<CommandButton>(Design(u"Command2", {384, 192, 80, 27}, u"Cancel", kDotum975, 4)).on_click =
      [this] { Cancel(); };
  AttachNumericFieldRule(Get<TextBox>(u"Text3"));
  AttachNumericFieldRule(Get<TextBox>(u"Text4"));
  set_initial_focus(u"Text1");
}

void MultiTextBoxF::Load() {
  if (!Editing(library_)) return;
  const Element& element = EditedElement(library_);
  FillFromAttribute(Get<TextBox>(u"Text1"), element, u"NAME");
  Get<TextBox>(u"Text2").SetText(element.innerHTML());
  FillFromAttribute(Get<TextBox>(u"Text3"), element, u"COLS");
  FillFromAttribute(Get<TextBox>(u"Text4"), element, u"ROWS");
}

void MultiTextBoxF::Ok() {
  std::u16string& result = library_.state().FieldTagResult;
  result = u"<textarea ";
  const struct {
    const char16_t* field;
    const char16_t* opener;
  } kAttributes[] = {{u"Text1", u"name = \""}, {u"Text3", u"cols = \""}, {u"Text4", u"rows = \""}};
  for (const auto& a : kAttributes) {
    const std::u16string& text = Get<TextBox>(a.field).text();
    if (!text.empty()) AppendAttribute(result, a.opener, text);
  }
  // The content is markup on purpose: it carries the element's inner HTML
  // back unchanged. A parser drops one line break right after the opening
  // tag, so content that begins with one gets another in front to survive
  // being read again.
  const std::u16string& content = Get<TextBox>(u"Text2").text();
  result += u">";
  if (!content.empty() && (content.front() == u'\n' || content.front() == u'\r')) result += u"\r\n";
  result += content + u"</textarea>";
  Unload();
}

void MultiTextBoxF::Cancel() {
  library_.state().FieldTagResult.clear();
  Dismiss();
}

}  // namespace corabind
