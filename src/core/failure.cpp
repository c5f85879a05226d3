#include "core/failure.h"

#include <cstdlib>

#include "core/text.h"

namespace corabind {

Failure::Failure(std::int32_t number, std::u16string description)
    : number_(number), description_(std::move(description)), what_(ToUtf8(description_)) {}

std::u16string FormatUnexpectedError(const Failure& failure) {
  const std::int64_t n = failure.number();
  std::u16string text = u"Unexpexted error #";
  text += n < 0 ? u'-' : u' ';
  text += FromUtf8(std::to_string(n < 0 ? -n : n));
  text += u" occured: ";
  text += failure.description();
  return text;
}

Failure ObjectNotSet() {
  return Failure(err::kObjectNotSet, u"Object variable not set");
}

}  // namespace corabind
