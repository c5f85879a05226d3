#include "platform/headless/headless_desktop.h"

#include <filesystem>
#include <system_error>

#include "core/failure.h"
#include "core/form.h"
#include "core/text.h"

namespace corabind {

namespace {

std::u16string Describe(FileScript::Kind kind) {
  return kind == FileScript::Kind::kOpen ? u"an open file dialog" : u"a save file dialog";
}

std::u16string Describe(const UiEntry& entry) {
  if (const auto* f = std::get_if<FormScript>(&entry)) return u"the form " + f->form;
  return Describe(std::get<FileScript>(entry).kind);
}

DialogEnd Unchosen(const FileScript& entry) {
  return entry.close ? DialogEnd::kClosed : DialogEnd::kCancelled;
}

std::vector<LoadedControl> Snapshot(const Form& form) {
  std::vector<LoadedControl> out;
  for (const auto& w : form.widgets()) {
    switch (w->kind()) {
      case WidgetKind::kTextBox:
        out.push_back({w->name(), static_cast<const TextBox&>(*w).text()});
        break;
      case WidgetKind::kComboBox:
        out.push_back({w->name(), static_cast<const ComboBox&>(*w).text()});
        break;
      case WidgetKind::kOptionButton:
        out.push_back({w->name(), static_cast<const OptionButton&>(*w).value()});
        break;
      case WidgetKind::kCheckBox:
        out.push_back({w->name(), std::int64_t{static_cast<const CheckBox&>(*w).value()}});
        break;
      case WidgetKind::kListBox: {
        const auto& list = static_cast<const ListBox&>(*w);
        out.push_back({w->name(), list.lines(), static_cast<std::int64_t>(list.Selected())});
        break;
      }
      default:
        break;
    }
  }
  return out;
}

}  // namespace

HeadlessDesktop::HeadlessDesktop(const PathMap& paths) : paths_(paths) {}

void HeadlessDesktop::Push(std::vector<UiEntry> entries) {
  for (auto& e : entries) script_.push_back(std::move(e));
}

void HeadlessDesktop::Mismatch(const std::u16string& what) {
  if (!script_error_) script_error_ = what;
  throw UiScriptFailure(what);
}

std::vector<std::u16string> HeadlessDesktop::MessageBoxes() const {
  std::vector<std::u16string> out;
  for (const auto& e : events_) {
    if (const auto* m = std::get_if<MessageBoxEvent>(&e)) out.push_back(m->text);
  }
  return out;
}

const FormEvent& HeadlessDesktop::LastShown(const std::u16string& form) const {
  for (auto it = events_.rbegin(); it != events_.rend(); ++it) {
    if (const auto* f = std::get_if<FormEvent>(&*it); f && f->form == form) return *f;
  }
  throw Failure(err::kInvalidCall, u"The form " + form + u" was not shown");
}

void HeadlessDesktop::ShowModal(Form& form) {
  if (script_.empty())
    Mismatch(u"the form " + form.name() + u" opened, but the script has no entry left");
  if (const auto* f = std::get_if<FormScript>(&script_.front()); !f || f->form != form.name()) {
    Mismatch(u"the form " + form.name() + u" opened, but the script expected " +
             Describe(script_.front()));
  }
  const FormScript entry = std::get<FormScript>(std::move(script_.front()));
  script_.pop_front();

  const ModalShowing showing(form);
  events_.push_back(FormEvent{form.name(), Snapshot(form)});

  for (std::size_t i = 0; i < entry.steps.size(); ++i) {
    if (!form.is_open()) {
      Mismatch(u"the form " + form.name() + u" closed with " +
               DecimalText(static_cast<std::int64_t>(entry.steps.size() - i)) +
               u" step(s) of its script left");
    }
    // The step is checked before it is carried out, so a script naming a
    // missing control is told apart from a failing handler.
    if (const auto why = StepMismatch(form, entry.steps[i])) Mismatch(*why);
    ApplyStep(form, entry.steps[i]);
  }
  if (form.is_open())
    Mismatch(u"the form " + form.name() + u" is still open after its script ended");
  Ended(form.ended());
}

void HeadlessDesktop::MessageBox(const std::u16string& text) {
  events_.push_back(MessageBoxEvent{text});
}

FileScript HeadlessDesktop::TakeFileEntry(FileScript::Kind kind) {
  if (script_.empty()) Mismatch(Describe(kind) + u" opened, but the script has no entry left");
  const auto* f = std::get_if<FileScript>(&script_.front());
  if (!f || f->kind != kind)
    Mismatch(Describe(kind) + u" opened, but the script expected " + Describe(script_.front()));
  FileScript entry = *f;
  script_.pop_front();
  return entry;
}

void HeadlessDesktop::ShowOpen(FileDialog& dialog) {
  const FileScript entry = TakeFileEntry(FileScript::Kind::kOpen);
  events_.push_back(FileDialogEvent{FileScript::Kind::kOpen, dialog.title, dialog.filter,
                                    dialog.file_name, dialog.flags});
  if (entry.cancel || entry.close) return Ended(Unchosen(entry));
  dialog.file_name = paths_.ToControl(entry.host_path);
  Ended(DialogEnd::kAccepted);
}

void HeadlessDesktop::ShowSave(FileDialog& dialog) {
  const FileScript entry = TakeFileEntry(FileScript::Kind::kSave);
  events_.push_back(FileDialogEvent{FileScript::Kind::kSave, dialog.title, dialog.filter,
                                    dialog.file_name, dialog.flags});
  if (entry.cancel || entry.close) return Ended(Unchosen(entry));
  std::error_code ec;
  const bool exists = std::filesystem::exists(entry.host_path, ec);
  // Declining the overwrite question leaves the dialog without a choice.
  if ((dialog.flags & FileDialog::kOverwritePrompt) != 0 && exists && !entry.overwrite)
    return Ended(DialogEnd::kCancelled);
  dialog.file_name = paths_.ToControl(entry.host_path);
  Ended(DialogEnd::kAccepted);
}

}  // namespace corabind
