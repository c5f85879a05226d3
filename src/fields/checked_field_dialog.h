// The logic the check box and radio button dialogs share: a name, a value and
// a default state (Option1 "on", Option2 "off" in Frame1) written as an input
// tag. Each dialog lays out its own widgets.
#pragma once

#include <string>

#include "core/form.h"
#include "core/library.h"

namespace corabind {

class CheckedFieldDialog : public Form {
 protected:
  // `opening` starts the tag, e.g. "<input type=\"checkbox\" ".
  CheckedFieldDialog(Library& library, std::u16string name, std::u16string caption,
                     std::u16string opening, Font font = {});

  // Binds Command1 to OK and Command2 to Cancel once the widgets exist.
  void BindButtons();
  void Load() override;

 private:
  void Ok();
  void Cancel();

  Library& library_;
  std::u16string opening_;
};

}  // namespace corabind
