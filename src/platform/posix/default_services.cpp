#include "control/default_services.h"

namespace corabind {

Services DefaultServices() { return {}; }

}  // namespace corabind
