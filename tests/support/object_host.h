// The host side of the component server: find a class in the registration
// store, load its library and create a control through the class factory,
// as a page's script host does for createObject("Corabind.OrvaneControl").
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "server/dispatch_object.h"
#include "server/registration_store.h"

namespace corabind {

// One loaded component library. Controls created from it keep it loaded.
class LoadedServer {
 public:
  // Failure 429 naming the library and the loader's message.
  static std::shared_ptr<LoadedServer> Load(const std::filesystem::path& library);
  ~LoadedServer();
  LoadedServer(const LoadedServer&) = delete;
  LoadedServer& operator=(const LoadedServer&) = delete;

  ClassFactory& GetClassObject(const std::string& clsid);
  bool CanUnloadNow() const;

 private:
  explicit LoadedServer(void* handle) : handle_(handle) {}
  void* Symbol(const char* name) const;
  void* handle_;
};

struct CreatedObject {
  std::shared_ptr<LoadedServer> server;
  ClassFactory* factory = nullptr;
  std::shared_ptr<DispatchObject> object;  // keeps `server` loaded while alive
};

// Failure 429 when the ProgID (or class id) is not registered or its library
// cannot be loaded or does not serve the class.
CreatedObject CreateObject(const std::string& progid,
                           const RegistrationStore& store = RegistrationStore());

}  // namespace corabind
