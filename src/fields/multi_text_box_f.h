// The text area dialog: name, default content, columns and rows of a
// textarea element.
#pragma once

#include "control/form.h"
#include "control/library.h"

namespace corabind {

class MultiTextBoxF : public Form {
 public:
  explicit MultiTextBoxF(Library& library);

 protected:
  void Load() override;

 private:
  void Ok();
  void Cancel();

  Library& library_;
};

}  // namespace corabind
