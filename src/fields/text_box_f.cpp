#include "fields/text_box_f.h"

#include "core/text.h"
#include "fields/dialog_support.h"
#include "fields/numeric_field.h"

namespace corabind {

TextBoxF::TextBoxF(Library& library)
    : Form(u"TextBoxF", u"Text Box Setting", {365, 173}), library_(library) {
  Add<Label>(Design(u"Label1", {4, 20, 60, 27}, u"Name : ", kDotum975));
  Add<TextBox>(Design(u"Text1", {68, 16, 285, 25}, u"", kGulim975, 0));
  Add<Label>(Design(u"Label2", {4, 60, 60, 27}, u"Default : ", kDotum975));
  Add<TextBox>(Design(u"Text2", {68, 56, 285, 25}, u"", kGulim975, 1));
  Add<Label>(Design(u"Label3", {4, 96, 60, 27}, u"Size : ", kDotum975));
  Add<TextBox>(Design(u"Text3", {68, 92, 73, 25}, u"", kGulim975, 2));
  Add<Label>(Design(u"Label4", {4, 128, 60, 27}, u"Max     Length : ", kDotum975));
  Add<TextBox>(Design(u"Text4", {68, 128, 73, 25}, u"", kGulim975, 3));
  Add<Frame>(Design(u"Frame1", {152, 88, 109, 73}, u"Type", kDotum975));
  Add<OptionButton>(Design(u"Option1", {16, 16, 81, 25}, u"Text", kGulim9, 4, u"Frame1"), true);
  Add<OptionButton>(Design(u"Option2", {16, 40, 81, 25}, u"Password", kGulim9, 5, u"Frame1"),
                    false);
  Add<CommandButton>(Design(u"Command1", {276, 96, 80, 27}, u"OK", kDotum975, 6)).on_click =
      [this] { Ok(); };
  Add<CommandButton>(Design(u"Command2", {276, 132, 80, 27}, u"Cancel", kDotum975, 7)).on_click =
      [this] { Cancel(); };
  AttachNumericFieldRule(Get<TextBox>(u"Text3"));
  AttachNumericFieldRule(Get<TextBox>(u"Text4"));
  set_initial_focus(u"Text1");
}

void TextBoxF::Load() {
  if (!Editing(library_)) return;
  const Element& element = EditedElement(library_);
  FillFromAttribute(Get<TextBox>(u"Text1"), element, u"NAME");
  FillFromAttribute(Get<TextBox>(u"Text2"), element, u"VALUE");
  // Both sizes come from the model as numbers; an absent one (Null) fails
  // the comparison and leaves the field empty. A size of 0 means "not set",
  // and a maximum length of 10000 or more is the model's "unlimited".
  const Variant size = ReadAttribute(element, u"SIZE");
  if (size.NumberNotEquals(0)) Get<TextBox>(u"Text3").SetText(size.ToText());
  const Variant max_length = ReadAttribute(element, u"MAXLENGTH");
  const bool not_zero = max_length.NumberNotEquals(0);
  const bool below_limit = max_length.NumberLess(10000);
  if (not_zero && below_limit) Get<TextBox>(u"Text4").SetText(max_length.ToText());
  const Variant type = ReadAttribute(element, u"TYPE");
  if (type.IsNull()) return;
  const std::u16string upper = AsciiUpper(type.ToText());
  if (upper == u"TEXT") {
    Choose(u"Option1");
  } else if (upper == u"PASSWORD") {
    Choose(u"Option2");
  }
}

void TextBoxF::Ok() {
  std::u16string& result = library_.state().FieldTagResult;
  if (Get<OptionButton>(u"Option1").value()) {
    result = u"<input type=\"text\" ";
  } else if (Get<OptionButton>(u"Option2").value()) {
    result = u"<input type=\"password\" ";
  }
  const struct {
    const char16_t* field;
    const char16_t* opener;
  } kAttributes[] = {{u"Text1", u"name = \""},
                     {u"Text2", u"value = \""},
                     {u"Text3", u"size = \""},
                     {u"Text4", u"maxlength = \""}};
  for (const auto& a : kAttributes) {
    const std::u16string& text = Get<TextBox>(a.field).text();
    if (!text.empty()) AppendAttribute(result, a.opener, text);
  }
  result += u">";
  Unload();
}

void TextBoxF::Cancel() {
  library_.state().FieldTagResult.clear();
  Dismiss();
}

}  // namespace corabind
