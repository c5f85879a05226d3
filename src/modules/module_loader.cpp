#include "modules/module_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "core/failure.h"
#include "core/text.h"

namespace corabind::modules {

namespace fs = std::filesystem;

std::string FindModule(const ModuleName& name) {
  if (const char* path = std::getenv(name.env); path != nullptr && *path != '\0') return path;
  std::error_code ec;
  const fs::path folder = fs::canonical("/proc/self/exe", ec).parent_path();
  const fs::path installed = folder / CORABIND_MODULE_FROM_BIN / name.file;
  if (ec) return installed.lexically_normal().string();
  const fs::path beside = folder / name.file;
  if (::access(beside.c_str(), F_OK) == 0) return beside.string();
  return installed.lexically_normal().string();
}

void* OpenModule(const ModuleName& name) {
  const std::string path = FindModule(name);
  const auto refuse = [&](const std::string& why) {
    return Failure(err::kCannotCreateObject,
                   FromUtf8("cannot use the module " + path + ": " + why + " (set " + name.env +
                            " to the path of " + name.file + " to use another)"));
  };
  // Local: the module's own symbols (and the libraries it brings) never
  // stand in for the program's.
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = ::dlerror();
    throw refuse(why != nullptr ? why : "it cannot be loaded");
  }
  ::dlerror();
  void* symbol = ::dlsym(handle, name.entry);
  if (symbol == nullptr) {
    const char* why = ::dlerror();
    throw refuse(why != nullptr ? why : std::string("it has no ") + name.entry);
  }
  void* made = nullptr;
  const unsigned version = reinterpret_cast<EntryPoint>(symbol)(name.version, &made);
  if (version == name.version && made == nullptr) throw refuse("it made no object");
  if (version != name.version) {
    throw refuse("it implements version " + std::to_string(version) +
                 " of its interface, and this program needs version " +
                 std::to_string(name.version));
  }
  return made;
}

}  // namespace corabind::modules
