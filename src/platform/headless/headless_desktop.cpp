#include "platform/headless/headless_desktop.h"

#include <filesystem>
#include <system_error>

#include "control/failure.h"
#include "control/form.h"
#include "control/text.h"

namespace corabind {

namespace {

[[noreturn]] void ScriptMismatch(const std::u16string& what) {
  throw Failure(err::kInvalidCall, u"UI script: " + what);
}

std::u16string Describe(const UiEntry& entry) {
  if (const auto* f = std::get_if<FormScript>(&entry)) return u"the form " + f->form;
  const auto& file = std::get<FileScript>(entry);
  return file.kind == FileScript::Kind::kOpen ? u"an open file dialog" : u"a save file dialog";
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

void Apply(Form& form, const UiStep& step) {
  switch (step.kind) {
    case UiStep::Kind::kType: {
      Widget& w = form.Find(step.control);
      if (auto* box = dynamic_cast<TextBox*>(&w)) {
        box->SetText(step.text);
      } else if (auto* combo = dynamic_cast<ComboBox*>(&w)) {
        combo->SetText(step.text);
      } else {
        ScriptMismatch(u"cannot type into " + step.control + u" of " + form.name());
      }
      break;
    }
    case UiStep::Kind::kChoose:
      form.Choose(step.control);
      break;
    case UiStep::Kind::kCheck:
      if (step.value != 0 && step.value != 1) ScriptMismatch(u"a check box is set to 0 or 1");
      form.Get<CheckBox>(step.control).SetValue(static_cast<int>(step.value));
      break;
    case UiStep::Kind::kSelect:
      form.Get<ListBox>(step.control).Select(static_cast<std::ptrdiff_t>(step.value));
      break;
    case UiStep::Kind::kClick:
      form.Get<CommandButton>(step.control).Click();
      break;
    case UiStep::Kind::kClose:
      form.CloseFromFrame();
      break;
  }
}

}  // namespace

HeadlessDesktop::HeadlessDesktop(const PathMap& paths) : paths_(paths) {}

void HeadlessDesktop::Push(std::vector<UiEntry> entries) {
  for (auto& e : entries) script_.push_back(std::move(e));
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
    ScriptMismatch(u"the form " + form.name() + u" opened, but the script has no entry left");
  if (const auto* f = std::get_if<FormScript>(&script_.front()); !f || f->form != form.name()) {
    ScriptMismatch(u"the form " + form.name() + u" opened, but the script expected " +
                   Describe(script_.front()));
  }
  const FormScript entry = std::get<FormScript>(std::move(script_.front()));
  script_.pop_front();

  form.Open();
  events_.push_back(FormEvent{form.name(), Snapshot(form)});
  // Whatever happens below, the showing ends with the form unloaded, as a
  // modal window always is once its call returns.
  struct CloseOnExit {
    Form& form;
    ~CloseOnExit() {
      if (form.is_open()) form.CloseFromFrame();
    }
  } guard{form};

  for (std::size_t i = 0; i < entry.steps.size(); ++i) {
    if (!form.is_open()) {
      ScriptMismatch(u"the form " + form.name() + u" closed with " +
                     DecimalText(static_cast<std::int64_t>(entry.steps.size() - i)) +
                     u" step(s) of its script left");
    }
    Apply(form, entry.steps[i]);
  }
  if (form.is_open())
    ScriptMismatch(u"the form " + form.name() + u" is still open after its script ended");
}

void HeadlessDesktop::MessageBox(const std::u16string& text) {
  events_.push_back(MessageBoxEvent{text});
}

namespace {

FileScript TakeFileEntry(std::deque<UiEntry>& script, FileScript::Kind kind) {
  const std::u16string what =
      kind == FileScript::Kind::kOpen ? u"an open file dialog" : u"a save file dialog";
  if (script.empty()) ScriptMismatch(what + u" opened, but the script has no entry left");
  const auto* f = std::get_if<FileScript>(&script.front());
  if (!f || f->kind != kind)
    ScriptMismatch(what + u" opened, but the script expected " + Describe(script.front()));
  FileScript entry = *f;
  script.pop_front();
  return entry;
}

}  // namespace

void HeadlessDesktop::ShowOpen(FileDialog& dialog) {
  const FileScript entry = TakeFileEntry(script_, FileScript::Kind::kOpen);
  events_.push_back(FileDialogEvent{FileScript::Kind::kOpen, dialog.title, dialog.filter,
                                    dialog.file_name, dialog.flags});
  if (entry.cancel) return;
  dialog.file_name = paths_.ToControl(entry.host_path);
}

void HeadlessDesktop::ShowSave(FileDialog& dialog) {
  const FileScript entry = TakeFileEntry(script_, FileScript::Kind::kSave);
  events_.push_back(FileDialogEvent{FileScript::Kind::kSave, dialog.title, dialog.filter,
                                    dialog.file_name, dialog.flags});
  if (entry.cancel) return;
  std::error_code ec;
  const bool exists = std::filesystem::exists(entry.host_path, ec);
  // Declining the overwrite question leaves the dialog without a choice.
  if ((dialog.flags & FileDialog::kOverwritePrompt) != 0 && exists && !entry.overwrite) return;
  dialog.file_name = paths_.ToControl(entry.host_path);
}

}  // namespace corabind
