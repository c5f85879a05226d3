// How composing a mail fails, for every caller: the command line's exit
// status, the automation protocol's error answer, the C interface's status.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "core/failure.h"

namespace corabind::automation {

// Why a mail was not composed, its text as it stands (the parts from the
// request made printable). `number` is err::kInvalidCall when the request is
// at fault, else the failure's number (53 for files that could not be
// embedded).
class ComposeError : public std::runtime_error {
 public:
  explicit ComposeError(const std::string& what, std::int32_t number = err::kInvalidCall)
      : std::runtime_error(what), number(number) {}
  bool usage() const { return number == err::kInvalidCall; }
  std::int32_t number;
};

}  // namespace corabind::automation
