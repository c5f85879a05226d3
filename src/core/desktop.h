// What the control needs from the user's desktop: modal forms, message
// boxes and the standard file dialogs. Implemented by the headless scripted
// desktop and by the Qt desktop under platform/.
#pragma once

#include <cstdint>
#include <optional>
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

// How a form or file dialog ended: by its accepting command (OK, Open,
// Save), by its cancelling one, or closed from its window frame. A caller
// that acts on a member's result tells from this whether the person meant
// it: a field dialog closed from its frame still returns the field before.
enum class DialogEnd { kAccepted, kCancelled, kClosed };

class Desktop {
 public:
  virtual ~Desktop() = default;
  // How the latest form or file dialog shown on this desktop ended (a
  // nested one ends before the dialog that opened it); nothing when none
  // ended since ForgetEnd(). Message boxes do not count.
  std::optional<DialogEnd> last_end() const { return last_end_; }
  void ForgetEnd() { last_end_.reset(); }

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

 protected:
  // Each desktop notes here how every form and file dialog it showed ended.
  void Ended(DialogEnd end) { last_end_ = end; }

 private:
  std::optional<DialogEnd> last_end_;
};

}  // namespace corabind
