// The one failure type of the library. Every operation that cannot complete
// throws a Failure carrying an automation error number and a description, so
// that callers (and the page) see the same pair a script host would report.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace corabind {

// Automation-style error numbers used across the library.
namespace err {
inline constexpr std::int32_t kInvalidCall = 5;  // invalid procedure call or argument
inline constexpr std::int32_t kOverflow = 6;     // value does not fit its type
inline constexpr std::int32_t kOutOfMemory = 7;
inline constexpr std::int32_t kOutOfStringSpace = 14;
inline constexpr std::int32_t kSubscriptOutOfRange = 9;
inline constexpr std::int32_t kTypeMismatch = 13;
inline constexpr std::int32_t kInternal = 51;  // internal error
inline constexpr std::int32_t kBadFileName = 52;
inline constexpr std::int32_t kFileNotFound = 53;
inline constexpr std::int32_t kDeviceIo = 57;
inline constexpr std::int32_t kDiskFull = 61;
inline constexpr std::int32_t kPermissionDenied = 70;
inline constexpr std::int32_t kPathNotFound = 76;
inline constexpr std::int32_t kObjectNotSet = 91;  // object variable not set
inline constexpr std::int32_t kInvalidUseOfNull = 94;
inline constexpr std::int32_t kCannotCreateObject = 429;
inline constexpr std::int32_t kNotSupported = 438;    // object doesn't support this member
inline constexpr std::int32_t kNotImplemented = 445;  // object doesn't support this action
inline constexpr std::int32_t kArgumentNotOptional = 449;
inline constexpr std::int32_t kWrongArgumentCount = 450;
}  // namespace err

class Failure : public std::exception {
 public:
  Failure(std::int32_t number, std::u16string description);

  std::int32_t number() const noexcept { return number_; }
  const std::u16string& description() const noexcept { return description_; }
  // UTF-8 form of the description, for std::exception consumers.
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  std::int32_t number_;
  std::u16string description_;
  std::string what_;
};

// A C++ exception as the failure a caller of the library can take: running
// out of memory is 7, a string or container past its size limit is 14, and
// anything else an internal error (51) with the exception's text.
Failure AsFailure(const std::exception& e);

// Failure 91, as a script host reports a call on Nothing.
Failure ObjectNotSet();

// "Unexpexted error #" + sign position + number + " occured: " + description.
// The misspellings are the message the page has always shown; keep them.
std::u16string FormatUnexpectedError(const Failure& failure);

}  // namespace corabind
