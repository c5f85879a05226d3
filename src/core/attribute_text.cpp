#include "core/attribute_text.h"

namespace corabind {

std::u16string AttributeText(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c == u'"') {
      out += u"&quot;";
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace corabind
