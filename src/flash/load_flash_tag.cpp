#include "control/orvane_control.h"
#include "flash/flash_dialog.h"

namespace corabind {

std::u16string OrvaneControl::LoadFlashTag() {
  Library& library = this->library();
  library.RunModal(library.Dialog<Form1>());
  // Not cleared before the showing: Cancel returns the latest OK's markup.
  return library.state().FlashTagResult;
}

}  // namespace corabind
