// Attribute values the dialogs write into markup.
#pragma once

#include <string>
#include <string_view>

namespace corabind {

// `text` made safe inside a double-quoted attribute value: every '"' becomes
// "&quot;" so typed text cannot end the value early and inject markup. Nothing
// else is touched: an ampersand is legal in an attribute value (WHATWG HTML,
// "Attributes"), and authors may have written character references on
// purpose.
std::u16string AttributeText(std::u16string_view text);

}  // namespace corabind
