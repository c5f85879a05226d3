// The select list dialog: a select element's name, height and multiple flag,
// and its options, each kept only as a fixed-column line of List1
// (item_line.h). Add and Update edit one option in ListBoxSub.
#pragma once

#include <string>

#include "core/form.h"
#include "core/library.h"

namespace corabind {

class ListBoxF : public Form {
 public:
  explicit ListBoxF(Library& library);

  // The list line for the item held in ItemSelected, ItemText and ItemValue.
  std::u16string FormatItemLine() const;

 protected:
  void Load() override;

 private:
  void AddItem();
  void UpdateItem();
  void DeleteItem();
  void MoveUp();
  void MoveDown();
  void Ok();
  void Cancel();

  Library& library_;
};

}  // namespace corabind
