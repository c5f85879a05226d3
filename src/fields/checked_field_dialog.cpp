#include "fields/checked_field_dialog.h"

#include "fields/dialog_support.h"

namespace corabind {

CheckedFieldDialog::CheckedFieldDialog(Library& library, std::u16string name,
                                       std::u16string caption, std::u16string opening, Font font)
    : Form(std::move(name), std::move(caption), {365, 173}, std::move(font)),
      library_(library),
      opening_(std::move(opening)) {}

void CheckedFieldDialog::BindButtons() {
  Get<CommandButton>(u"Command1").on_click = [this] { Ok(); };
  Get<CommandButton>(u"Command2").on_click = [this] { Cancel(); };
}

void CheckedFieldDialog::Load() {
  if (!Editing(library_)) return;
  const Element& element = EditedElement(library_);
  FillFromAttribute(Get<TextBox>(u"Text1"), element, u"NAME");
  FillFromAttribute(Get<TextBox>(u"Text2"), element, u"VALUE");
  Choose(ReadAttribute(element, u"CHECKED").EqualsTrue() ? u"Option1" : u"Option2");
}

void CheckedFieldDialog::Ok() {
  std::u16string& result = library_.state().FieldTagResult;
  result = opening_;
  if (const auto& name = Get<TextBox>(u"Text1").text(); !name.empty()) {
    AppendAttribute(result, u"name = \"", name);
  }
  if (const auto& value = Get<TextBox>(u"Text2").text(); !value.empty()) {
    AppendAttribute(result, u"value = \"", value);
  }
  if (Get<OptionButton>(u"Option1").value()) result += u"checked ";
  result += u">";
  Unload();
}

void CheckedFieldDialog::Cancel() {
  library_.state().FieldTagResult.clear();
  Dismiss();
}

}  // namespace corabind
