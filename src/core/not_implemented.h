#pragma once

#include <string>

#include "core/failure.h"

namespace corabind {

// For members whose job is not built into this library yet.
[[noreturn]] inline void ThrowNotImplemented(const std::u16string& member) {
  throw Failure(err::kNotImplemented, member + u" is not implemented in this build");
}

}  // namespace corabind
