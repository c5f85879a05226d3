#include "control/not_implemented.h"
#include "control/orvane_control.h"

namespace corabind {

std::u16string OrvaneControl::GetImages(const std::u16string&, const std::shared_ptr<Element>&,
                                        const std::u16string&, const std::shared_ptr<Document>&,
                                        VariantBool, VariantBool) {
  ThrowNotImplemented(u"GetImages");
}
Variant OrvaneControl::GetStyleSub(const std::shared_ptr<Element>&) {
  ThrowNotImplemented(u"GetStyleSub");
}
Variant OrvaneControl::GetFlashSub(const std::shared_ptr<Element>&) {
  ThrowNotImplemented(u"GetFlashSub");
}
Variant OrvaneControl::GetObjectFlashSub(const std::shared_ptr<Element>&) {
  ThrowNotImplemented(u"GetObjectFlashSub");
}
Variant OrvaneControl::GetImagesSub(const std::shared_ptr<Element>&) {
  ThrowNotImplemented(u"GetImagesSub");
}

}  // namespace corabind
