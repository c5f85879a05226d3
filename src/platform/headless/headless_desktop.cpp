#include "platform/headless/headless_desktop.h"

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <system_error>

#include "core/failure.h"
#include "core/form.h"
#include "core/text.h"

namespace corabind {

namespace {

std::u16string Describe(const UiEntry& entry) {
  if (const auto* f = std::get_if<FormScript>(&entry)) return u"the form " + f->form;
  const auto& file = std::get<FileScript>(entry);
  return file.kind == FileScript::Kind::kOpen ? u"an open file dialog" : u"a save file dialog";
}

std::u16string Describe(FileScript::Kind kind) {
  return kind == FileScript::Kind::kOpen ? u"an open file dialog" : u"a save file dialog";
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

template <class W>
W* FindAs(const Form& form, const std::u16string& name) {
  for (const auto& w : form.widgets()) {
    if (w->name() == name) return dynamic_cast<W*>(w.get());
  }
  return nullptr;
}

// The controls a step of this kind can name, for an error that names a
// missing one: "Command1 (Add), Command2 (Update)".
std::u16string ValidNames(const Form& form, std::initializer_list<WidgetKind> kinds) {
  std::u16string names;
  for (const auto& w : form.widgets()) {
    if (std::find(kinds.begin(), kinds.end(), w->kind()) == kinds.end()) continue;
    if (!names.empty()) names += u", ";
    names += w->name();
    if (w->kind() == WidgetKind::kCommandButton || w->kind() == WidgetKind::kOptionButton ||
        w->kind() == WidgetKind::kCheckBox) {
      names += u" (" + w->design().caption + u")";
    }
  }
  return names.empty() ? u"; it has none" : u"; it has " + names;
}

}  // namespace

HeadlessDesktop::HeadlessDesktop(const PathMap& paths) : paths_(paths) {}

void HeadlessDesktop::Push(std::vector<UiEntry> entries) {
  for (auto& e : entries) script_.push_back(std::move(e));
}

void HeadlessDesktop::Mismatch(const std::u16string& what) {
  if (!script_error_) script_error_ = what;
  throw Failure(err::kInvalidCall, u"UI script: " + what);
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

// The step is checked against the form before it is carried out, so a
// script naming a missing control is told apart from a failing handler.
void HeadlessDesktop::Apply(Form& form, const UiStep& step) {
  const std::u16string where = step.control + u" of " + form.name();
  switch (step.kind) {
    case UiStep::Kind::kType:
      if (auto* box = FindAs<TextBox>(form, step.control)) {
        box->SetText(step.text);
      } else if (auto* combo = FindAs<ComboBox>(form, step.control)) {
        combo->SetText(step.text);
      } else {
        Mismatch(u"there is no text box " + where +
                 ValidNames(form, {WidgetKind::kTextBox, WidgetKind::kComboBox}));
      }
      break;
    case UiStep::Kind::kChoose:
      if (!FindAs<OptionButton>(form, step.control))
        Mismatch(u"there is no option button " + where +
                 ValidNames(form, {WidgetKind::kOptionButton}));
      form.Choose(step.control);
      break;
    case UiStep::Kind::kCheck: {
      auto* box = FindAs<CheckBox>(form, step.control);
      if (!box)
        Mismatch(u"there is no check box " + where + ValidNames(form, {WidgetKind::kCheckBox}));
      if (step.value != 0 && step.value != 1)
        Mismatch(u"the check box " + where + u" takes 0 or 1");
      box->SetValue(static_cast<int>(step.value));
      break;
    }
    case UiStep::Kind::kSelect: {
      auto* list = FindAs<ListBox>(form, step.control);
      if (!list)
        Mismatch(u"there is no list box " + where + ValidNames(form, {WidgetKind::kListBox}));
      if (step.value < -1 || step.value >= static_cast<std::int64_t>(list->Count())) {
        Mismatch(u"the list box " + where + u" has no line " + DecimalText(step.value));
      }
      list->Select(static_cast<std::ptrdiff_t>(step.value));
      break;
    }
    case UiStep::Kind::kClick: {
      auto* button = FindAs<CommandButton>(form, step.control);
      if (!button) {
        Mismatch(u"there is no button " + where + ValidNames(form, {WidgetKind::kCommandButton}));
      }
      button->Click();
      break;
    }
    case UiStep::Kind::kClose:
      form.CloseFromFrame();
      break;
  }
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
    Apply(form, entry.steps[i]);
  }
  if (form.is_open())
    Mismatch(u"the form " + form.name() + u" is still open after its script ended");
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
  if (entry.cancel) return;
  dialog.file_name = paths_.ToControl(entry.host_path);
}

void HeadlessDesktop::ShowSave(FileDialog& dialog) {
  const FileScript entry = TakeFileEntry(FileScript::Kind::kSave);
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
