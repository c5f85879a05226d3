#include "control/not_implemented.h"
#include "control/orvane_control.h"

namespace corabind {

std::u16string OrvaneControl::ModifyFormField(const std::shared_ptr<Element>&, VariantBool) {
  ThrowNotImplemented(u"ModifyFormField");
}
std::u16string OrvaneControl::SetFormField(const std::u16string&) {
  ThrowNotImplemented(u"SetFormField");
}

}  // namespace corabind
