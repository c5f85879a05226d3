// Parts of the program that bring heavy libraries with them (Qt for the
// desktop, libcurl for SMTP) are shared modules opened only by the commands
// that use them, so every other command starts without loading those
// libraries at all.
//
// A module exports exactly one C function, its entry point:
//   extern "C" unsigned <entry>(unsigned wanted, void** made);
// It answers with the version of the interface it implements and, only when
// that is `wanted`, stores a new object of that interface in *made (the
// caller owns it). An interface's version goes up whenever the interface or
// a type it carries changes, so a module from another build is refused
// instead of called with the wrong layout.
#pragma once

#include <memory>
#include <string>

namespace corabind::modules {

using EntryPoint = unsigned (*)(unsigned wanted, void** made);

struct ModuleName {
  const char* file;   // e.g. "corabind-qt.so"
  const char* env;    // environment variable that names another path
  const char* entry;  // the entry point's symbol
  unsigned version;   // of the interface this program was built with
};

// Where the module is: the path in $env when set; else next to the program;
// else where it is installed relative to the program. When neither exists,
// the installed place, so that an error names where it was looked for.
std::string FindModule(const ModuleName& name);

// Opens the module (it stays loaded until the process ends: objects it made
// may outlive their maker) and makes its object. Failure
// err::kCannotCreateObject naming the path and the reason when the file is
// missing, cannot be loaded, lacks the entry point, or implements another
// version of the interface.
void* OpenModule(const ModuleName& name);

// The object of `Interface`, which names its module in kModule.
template <class Interface>
std::unique_ptr<Interface> Load() {
  return std::unique_ptr<Interface>(static_cast<Interface*>(OpenModule(Interface::kModule)));
}

// The body of a module's entry point for `Implementation` of `Interface`.
template <class Interface, class Implementation>
unsigned Make(unsigned wanted, void** made) {
  if (wanted == Interface::kModule.version)
    *made = static_cast<void*>(static_cast<Interface*>(new Implementation()));
  return Interface::kModule.version;
}

}  // namespace corabind::modules
