// What the form-field dialogs share: their fonts, the layout record, and the
// reading of the element being edited.
#pragma once

#include <string>

#include "core/document.h"
#include "core/library.h"
#include "core/widgets.h"

namespace corabind {

inline const Font kDotum975{u"Dotum", 9.75};
inline const Font kDotum9{u"Dotum", 9};
inline const Font kGulim975{u"Gulim", 9.75};
inline const Font kGulim9{u"Gulim", 9};
// Fixed pitch, for text laid out in columns of characters.
inline const Font kGulimChe9{u"GulimChe", 9};

// One widget's layout: name, box (px at 96 dpi), caption, font, place in the
// keyboard order (-1: takes no focus) and the frame it sits in.
inline WidgetDesign Design(std::u16string name, Box box, std::u16string caption, Font font,
                           int tab_index = -1, std::u16string container = {}) {
  return WidgetDesign{std::move(name), box,       std::move(caption),
                      std::move(font), tab_index, std::move(container)};
}

// True while ModifyFormField runs a dialog: the load step pre-fills.
inline bool Editing(const Library& library) {
  return library.state().IsModify != kFalse;
}

// The element being edited; failure 91 when there is none.
const Element& EditedElement(const Library& library);

// Attribute lookup with flags 0, the way every load step reads.
Variant ReadAttribute(const Element& element, const std::u16string& name);

// Sets the box to the attribute's text. An absent attribute (Null) leaves
// the box at its initial value: editing an unnamed field, or one without a
// value, is ordinary, not an error.
void FillFromAttribute(TextBox& box, const Element& element, const std::u16string& name);

// Appends opener, the value made safe for a quoted attribute, and the closing
// quote followed by one blank.
void AppendAttribute(std::u16string& markup, std::u16string_view opener, std::u16string_view value);

}  // namespace corabind
