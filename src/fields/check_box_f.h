// The check box dialog.
#pragma once

#include "fields/checked_field_dialog.h"

namespace corabind {

class CheckBoxF : public CheckedFieldDialog {
 public:
  explicit CheckBoxF(Library& library);
};

}  // namespace corabind
