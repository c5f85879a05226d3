// The radio button dialog, twin of the check box dialog.
#pragma once

#include "fields/checked_field_dialog.h"

namespace corabind {

class RadioBoxF : public CheckedFieldDialog {
 public:
  explicit RadioBoxF(Library& library);
};

}  // namespace corabind
