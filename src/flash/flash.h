// The Flash movie job: the member LoadFlashTag, which runs the movie dialog.
#pragma once

#include <string>

#include "core/library.h"

namespace corabind::flash {

std::u16string LoadFlashTag(Library& library);

}  // namespace corabind::flash
