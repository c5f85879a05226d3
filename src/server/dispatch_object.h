// The objects a host gets from the component server: a class factory and
// controls reached only through late-bound calls, as a script host sees them.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "control/dispatch.h"
#include "control/type_library.h"
#include "core/variant.h"

namespace corabind {

class Library;

// A control seen through its dispatch interface.
class DispatchObject {
 public:
  virtual ~DispatchObject() = default;
  virtual std::int32_t GetIdOfName(std::u16string_view name) const = 0;
  virtual Variant Invoke(std::int32_t dispid, InvokeKind kind, std::span<Variant> args) = 0;
  virtual const TypeLibraryInfo& TypeInfo() const = 0;

  Variant Invoke(std::u16string_view name, InvokeKind kind, std::span<Variant> args) {
    return Invoke(GetIdOfName(name), kind, args);
  }
  Variant Call(std::u16string_view name, std::span<Variant> args = {}) {
    return Invoke(name, InvokeKind::kMethod, args);
  }
};

// Hands out controls of one class. Owned by the component server.
class ClassFactory {
 public:
  virtual ~ClassFactory() = default;
  virtual std::shared_ptr<DispatchObject> CreateInstance() = 0;
  // While locked, the library answers that it may not be unloaded.
  virtual void LockServer(bool lock) = 0;
  // The library object of the loaded library: its shared state, and where
  // the host supplies the desktop and other services.
  virtual Library& library() = 0;
};

}  // namespace corabind
