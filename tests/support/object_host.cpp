#include "support/object_host.h"

#include <dlfcn.h>

#include "core/failure.h"
#include "core/text.h"
#include "server/component_server.h"

namespace corabind {

namespace {
[[noreturn]] void CannotCreate(const std::string& what) {
  throw Failure(err::kCannotCreateObject, FromUtf8("Cannot create object: " + what));
}
}  // namespace

std::shared_ptr<LoadedServer> LoadedServer::Load(const std::filesystem::path& library) {
  void* handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = ::dlerror();
    CannotCreate(library.string() + ": " + (why ? why : "cannot be loaded"));
  }
  return std::shared_ptr<LoadedServer>(new LoadedServer(handle));
}

LoadedServer::~LoadedServer() {
  ::dlclose(handle_);
}

void* LoadedServer::Symbol(const char* name) const {
  void* sym = ::dlsym(handle_, name);
  if (!sym) CannotCreate(std::string("the library has no entry point ") + name);
  return sym;
}

ClassFactory& LoadedServer::GetClassObject(const std::string& clsid) {
  using GetClassObjectFn = std::int32_t (*)(const char*, void**);
  auto get = reinterpret_cast<GetClassObjectFn>(Symbol("DllGetClassObject"));
  void* factory = nullptr;
  if (get(clsid.c_str(), &factory) != kS_OK || !factory)
    CannotCreate("the library does not serve class " + clsid);
  return *static_cast<ClassFactory*>(factory);
}

bool LoadedServer::CanUnloadNow() const {
  using CanUnloadFn = std::int32_t (*)();
  return reinterpret_cast<CanUnloadFn>(Symbol("DllCanUnloadNow"))() == kS_OK;
}

CreatedObject CreateObject(const std::string& progid, const RegistrationStore& store) {
  const auto record = store.Find(progid);
  if (!record) CannotCreate(progid + " is not registered in " + store.file().string());
  CreatedObject out;
  out.server = LoadedServer::Load(record->library);
  out.factory = &out.server->GetClassObject(record->clsid);
  auto object = out.factory->CreateInstance();
  // The object's code lives in the loaded library: hold the library until
  // the last reference to the object is gone.
  auto holder =
      std::make_shared<std::pair<std::shared_ptr<LoadedServer>, std::shared_ptr<DispatchObject>>>(
          out.server, std::move(object));
  out.object = std::shared_ptr<DispatchObject>(holder, holder->second.get());
  return out;
}

}  // namespace corabind
