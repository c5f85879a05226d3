#pragma once

#include "core/library.h"

namespace corabind {

// The services a library loaded by a host gets before the host supplies its
// own: this platform's file system and encoder, and no desktop until the host
// names one. Defined by the platform layer linked into the library.
Services DefaultServices();

}  // namespace corabind
