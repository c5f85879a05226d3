#include "flash/flash.h"
#include "flash/flash_dialog.h"

namespace corabind {

std::u16string flash::LoadFlashTag(Library& library) {
  library.RunModal(library.Dialog<Form1>());
  // Not cleared before the showing: Cancel returns the latest OK's markup.
  return library.state().FlashTagResult;
}

}  // namespace corabind
