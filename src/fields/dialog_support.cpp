#include "fields/dialog_support.h"

#include "core/attribute_text.h"
#include "core/failure.h"

namespace corabind {

const Element& EditedElement(const Library& library) {
  const auto& element = library.state().EditElement;
  if (!element) throw ObjectNotSet();
  return *element;
}

Variant ReadAttribute(const Element& element, const std::u16string& name) {
  return element.getAttribute(name, 0);
}

void FillFromAttribute(TextBox& box, const Element& element, const std::u16string& name) {
  const Variant value = ReadAttribute(element, name);
  if (value.IsNull()) return;
  box.SetText(value.ToText());
}

void AppendAttribute(std::u16string& markup, std::u16string_view opener,
                     std::u16string_view value) {
  markup += opener;
  markup += AttributeText(value);
  markup += u"\" ";
}

}  // namespace corabind
