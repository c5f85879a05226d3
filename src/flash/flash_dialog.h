// Form1: the Flash dialog. The user picks a movie file and its playing
// options; OK leaves the finished markup in the library's FlashTagResult.
#pragma once

#include "core/desktop.h"
#include "core/form.h"

namespace corabind {

class Library;

class Form1 : public Form {
 public:
  explicit Form1(Library& library);

  // The dialog's own file dialog component, used by Search. It belongs to
  // the window, so every showing starts with a fresh one.
  const FileDialog& file_dialog() const { return file_dialog_; }

 protected:
  void Load() override;

 private:
  void Search();
  void Accept();

  Library& library_;
  FileDialog file_dialog_;
};

}  // namespace corabind
