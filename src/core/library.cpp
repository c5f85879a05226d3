#include "core/library.h"

#include "core/base64_file_encoder.h"
#include "core/document.h"
#include "core/failure.h"

namespace corabind {

Library::Library(Services services) : services_(std::move(services)) {}
Library::~Library() = default;

namespace {
template <class T>
T& Require(const std::shared_ptr<T>& service, const char16_t* what) {
  if (!service) {
    throw Failure(err::kCannotCreateObject,
                  std::u16string(u"No ") + what + u" is available to this library");
  }
  return *service;
}
}  // namespace

Desktop& Library::desktop() const {
  return Require(services_.desktop, u"desktop (dialogs and message boxes)");
}
FileSystem& Library::files() const {
  return Require(services_.files, u"file system");
}
Base64FileEncoderFactory& Library::encoders() const {
  return Require(services_.encoders, u"Base64FileEncoder component");
}

void Library::RunModal(Form& form) {
  desktop().ShowModal(form);
}

}  // namespace corabind
