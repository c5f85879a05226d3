// The text area dialog: name, default content, columns and rows of a
// textarea element.
#pragma once

#include "core/form.h"
#include "core/library.h"

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
