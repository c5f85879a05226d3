#include "server/component_server.h"

#include <dlfcn.h>

#include <atomic>

#include "control/dispatch.h"
#include "control/orvane_control.h"
#include "core/failure.h"
#include "core/library.h"
#include "core/text.h"
#include "server/default_services.h"
#include "server/dispatch_object.h"
#include "server/registration_store.h"

namespace corabind {

namespace {

class Server;

class ControlObject final : public DispatchObject {
 public:
  ControlObject(Library& library, std::atomic<int>& live) : control_(library), live_(live) {
    ++live_;
  }
  ~ControlObject() override { --live_; }

  std::int32_t GetIdOfName(std::u16string_view name) const override {
    return corabind::GetIdOfName(name);
  }
  Variant Invoke(std::int32_t dispid, InvokeKind kind, std::span<Variant> args) override {
    return corabind::Invoke(control_, dispid, kind, args);
  }
  const TypeLibraryInfo& TypeInfo() const override { return CorabindTypeLibrary(); }

 private:
  OrvaneControl control_;
  std::atomic<int>& live_;
};

class Factory final : public ClassFactory {
 public:
  Factory() : library_(DefaultServices()) {}
  std::shared_ptr<DispatchObject> CreateInstance() override {
    return std::make_shared<ControlObject>(library_, live_objects_);
  }
  void LockServer(bool lock) override { lock ? ++locks_ : --locks_; }
  Library& library() override { return library_; }
  bool CanUnload() const { return live_objects_ == 0 && locks_ <= 0; }

 private:
  // Declared first so it outlives nothing that refers to it.
  Library library_;
  std::atomic<int> live_objects_{0};
  std::atomic<int> locks_{0};
};

// The one library object of this loaded library, with the factory that
// serves it. Created at first use, destroyed when the library unloads.
Factory& TheFactory() {
  static Factory factory;
  return factory;
}

std::string LibraryPath() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&DllGetClassObject), &info) == 0 || !info.dli_fname)
    return {};
  std::error_code ec;
  const auto canonical = std::filesystem::canonical(info.dli_fname, ec);
  return ec ? std::string(info.dli_fname) : canonical.string();
}

ClassRecord OurRecord() {
  return ClassRecord{ToUtf8(kClassId),
                     ToUtf8(kProgId),
                     LibraryPath(),
                     ToUtf8(kLibraryId),
                     std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor),
                     kLocale};
}

}  // namespace

}  // namespace corabind

using namespace corabind;

extern "C" {

std::int32_t DllRegisterServer() {
  try {
    RegistrationStore().Add(OurRecord());
    return kS_OK;
  } catch (...) {
    return kSelfRegClassError;
  }
}

std::int32_t DllUnregisterServer() {
  try {
    RegistrationStore().Remove(ToUtf8(kClassId));
    return kS_OK;
  } catch (...) {
    return kSelfRegClassError;
  }
}

std::int32_t DllGetClassObject(const char* clsid, void** factory) {
  if (!factory) return kInvalidArg;
  *factory = nullptr;
  if (!clsid || !EqualsIgnoringAsciiCase(FromUtf8(clsid), kClassId)) return kClassNotAvailable;
  *factory = static_cast<ClassFactory*>(&TheFactory());
  return kS_OK;
}

std::int32_t DllCanUnloadNow() {
  return TheFactory().CanUnload() ? kS_OK : kS_FALSE;
}

}  // extern "C"
