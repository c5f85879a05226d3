// The library object: everything the loaded library shares between its
// controls and dialogs. One exists per loaded library (the component server
// owns one); tests create their own. There are no other globals.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <typeindex>
#include <unordered_map>

#include "core/desktop.h"
#include "core/files.h"
#include "core/form.h"
#include "core/variant.h"

namespace corabind {

class Element;
class Base64FileEncoderFactory;

// State the control and its dialogs exchange, one set for the library.
struct SharedState {
  std::u16string FieldTagResult;
  std::u16string FlashTagResult;
  std::shared_ptr<Element> EditElement;
  VariantBool IsModify = kFalse;

  // The option item exchange between the select list dialog and the option
  // item dialog.
  std::u16string ItemText;
  std::u16string ItemValue;
  std::int16_t ItemSelected = 0;
  VariantBool ItemAccepted = kFalse;
  VariantBool IsItemModify = kFalse;
};

// The platform services the library works through.
struct Services {
  std::shared_ptr<Desktop> desktop;
  std::shared_ptr<FileSystem> files;
  std::shared_ptr<Base64FileEncoderFactory> encoders;
};

class Library {
 public:
  explicit Library(Services services = {});
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  SharedState& state() { return state_; }
  const SharedState& state() const { return state_; }

  // Failure 429 naming the missing service when none was supplied.
  Desktop& desktop() const;
  FileSystem& files() const;
  Base64FileEncoderFactory& encoders() const;
  void set_services(Services services) { services_ = std::move(services); }
  const Services& services() const { return services_; }

  // The single instance of a dialog kind, created at its first use and kept
  // for the life of the library.
  template <class F>
  F& Dialog() {
    auto& slot = dialogs_[std::type_index(typeid(F))];
    if (!slot) slot = std::make_unique<F>(*this);
    return static_cast<F&>(*slot);
  }
  bool HasDialog(std::type_index kind) const { return dialogs_.count(kind) != 0; }

  // Shows a dialog modally through the desktop; returns when it is closed.
  void RunModal(Form& form);

 private:
  SharedState state_;
  Services services_;
  std::unordered_map<std::type_index, std::unique_ptr<Form>> dialogs_;
};

}  // namespace corabind
