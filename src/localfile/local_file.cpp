#include "control/not_implemented.h"
#include "control/orvane_control.h"

namespace corabind {

Variant OrvaneControl::SaveToLocal(const std::u16string&, const std::u16string&, VariantBool) {
  ThrowNotImplemented(u"SaveToLocal");
}
std::u16string OrvaneControl::GetLocalHTMLFile() {
  ThrowNotImplemented(u"GetLocalHTMLFile");
}

}  // namespace corabind
