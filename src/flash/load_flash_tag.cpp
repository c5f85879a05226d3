#include "control/not_implemented.h"
#include "control/orvane_control.h"

namespace corabind {

std::u16string OrvaneControl::LoadFlashTag() {
  ThrowNotImplemented(u"LoadFlashTag");
}

}  // namespace corabind
