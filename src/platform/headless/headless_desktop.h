// A desktop without a screen: forms, file dialogs and message boxes are
// answered from a script of what the user does, consumed in order as things
// open, and everything the user would have seen is recorded.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/desktop.h"
#include "core/ui_step.h"
#include "platform/posix/path_map.h"

namespace corabind {

// The form expected to open next and what the user does in it. A nested
// form (opened by a click) takes the next entry of the script.
struct FormScript {
  std::u16string form;
  std::vector<UiStep> steps;
};

// The next file dialog and the user's choice.
struct FileScript {
  enum class Kind { kOpen, kSave };
  Kind kind = Kind::kOpen;
  bool cancel = false;
  std::string host_path;  // the chosen file, a host path
  bool overwrite = true;  // for a save over an existing file with the prompt flag: confirm?
  bool close = false;     // closed from its window frame: chooses nothing, as a cancel
};

using UiEntry = std::variant<FormScript, FileScript>;

// Value of one control right after a form's load step.
using LoadedValue = std::variant<std::u16string, bool, std::int64_t, std::vector<std::u16string>>;
struct LoadedControl {
  std::u16string name;
  // Text boxes and drop-downs: text. Option buttons: bool. Check boxes: 0/1.
  // List boxes: their lines, with the selection in `selected`.
  LoadedValue value;
  std::int64_t selected = -1;
};

struct MessageBoxEvent {
  std::u16string text;
};
struct FormEvent {
  std::u16string form;
  std::vector<LoadedControl> loaded;  // in the form's control order
};
struct FileDialogEvent {
  FileScript::Kind kind;
  std::u16string title, filter, file_name;  // settings the dialog was shown with
  std::int32_t flags = 0;
};
using UiEvent = std::variant<MessageBoxEvent, FormEvent, FileDialogEvent>;

class HeadlessDesktop : public Desktop {
 public:
  // File dialogs hand back host paths through `paths`; it must outlive this.
  explicit HeadlessDesktop(const PathMap& paths);

  void Push(UiEntry entry) { script_.push_back(std::move(entry)); }
  void Push(std::vector<UiEntry> entries);
  bool ScriptDone() const { return script_.empty(); }
  std::size_t Remaining() const { return script_.size(); }
  void ClearScript() { script_.clear(); }

  // The first way the script failed to match what opened, if any. Kept even
  // when the control swallowed the failure, so a driver can still tell.
  const std::optional<std::u16string>& script_error() const { return script_error_; }
  void ClearScriptError() { script_error_.reset(); }

  const std::vector<UiEvent>& events() const { return events_; }
  std::vector<std::u16string> MessageBoxes() const;
  // The FormEvent of the latest showing of `form`; failure 5 when none.
  const FormEvent& LastShown(const std::u16string& form) const;
  void ClearEvents() { events_.clear(); }

  // Desktop. A form or file dialog that opens without a matching script
  // entry, a step naming a missing control, or a form still open when its
  // steps run out is failure 5 naming what opened.
  void ShowModal(Form& form) override;
  void MessageBox(const std::u16string& text) override;
  void ShowOpen(FileDialog& dialog) override;
  void ShowSave(FileDialog& dialog) override;

 private:
  const PathMap& paths_;
  std::deque<UiEntry> script_;
  std::vector<UiEvent> events_;
  std::optional<std::u16string> script_error_;

  [[noreturn]] void Mismatch(const std::u16string& what);
  FileScript TakeFileEntry(FileScript::Kind kind);
};

}  // namespace corabind
