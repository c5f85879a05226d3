// The text and password field dialog: name, default value, size, maximum
// length and kind of a one-line input field.
#pragma once

#include "core/form.h"
#include "core/library.h"

namespace corabind {

class TextBoxF : public Form {
 public:
  explicit TextBoxF(Library& library);

 protected:
  void Load() override;

 private:
  void Ok();
  void Cancel();

  Library& library_;
};

}  // namespace corabind
