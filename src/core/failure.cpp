#include "core/failure.h"

#include <cstdlib>
#include <new>
#include <stdexcept>

#include "core/text.h"

namespace corabind {

Failure::Failure(std::int32_t number, std::u16string description)
    : number_(number), description_(std::move(description)), what_(ToUtf8(description_)) {}

Failure AsFailure(const std::exception& e) {
  if (const auto* f = dynamic_cast<const Failure*>(&e)) return *f;
  if (dynamic_cast<const std::bad_alloc*>(&e)) return Failure(err::kOutOfMemory, u"Out of memory");
  if (dynamic_cast<const std::length_error*>(&e))
    return Failure(err::kOutOfStringSpace, u"Out of string space");
  return Failure(err::kInternal, u"Internal error: " + FromUtf8(e.what()));
}

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
