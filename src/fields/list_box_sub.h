// The option item dialog: text, value and selected state of one option of
// the select list dialog, exchanged through the library's item variables
// (ItemText, ItemValue, ItemSelected, ItemAccepted, IsItemModify).
#pragma once

#include "core/form.h"
#include "core/library.h"

namespace corabind {

class ListBoxSub : public Form {
 public:
  explicit ListBoxSub(Library& library);

 protected:
  void Load() override;

 private:
  void Ok();
  void Cancel();

  Library& library_;
};

}  // namespace corabind
