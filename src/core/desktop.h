// What the control needs from the user's desktop: modal forms, message
// boxes and the standard file dialogs. Implemented by the headless scripted
// desktop and by the Qt desktop under platform/.
#pragma once

#include <cstdint>
#include <string>

namespace corabind {

class Form;

// The file dialog component. Each owner (a control, the Flash dialog) keeps
// its own and its settings between uses. Paths are control paths
// (backslashes, drive letters).
struct FileDialog {
  static constexpr std::int32_t kOverwritePrompt = 2;

  std::u16string file_name;
  std::u16string title;
  std::u16string filter;  // "description|pattern|description|pattern..."
  std::int32_t flags = 0;
};

class Desktop {
 public:
  virtual ~Desktop() = default;
  // Opens the form (Form::Open: reset, load) and returns once it is
  // unloaded by its own handler or closed from its frame. A failure in the
  // load step or in a handler passes to the caller.
  virtual void ShowModal(Form& form) = 0;
  // Text, an OK button and the default caption; modal.
  virtual void MessageBox(const std::u16string& text) = 0;
  // On OK the chosen path is stored in dialog.file_name; a cancel returns
  // normally and leaves every setting as it was.
  virtual void ShowOpen(FileDialog& dialog) = 0;
  virtual void ShowSave(FileDialog& dialog) = 0;
};

}  // namespace corabind
