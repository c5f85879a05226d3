#include "core/ui_step.h"

#include <algorithm>
#include <initializer_list>

#include "core/failure.h"
#include "core/form.h"
#include "core/text.h"

namespace corabind {

namespace {

template <class W>
W* FindAs(const Form& form, const std::u16string& name) {
  for (const auto& w : form.widgets()) {
    if (w->name() == name) return dynamic_cast<W*>(w.get());
  }
  return nullptr;
}

// The controls a step of this kind can name, for an error that names a
// missing one: "; it has Command1 (Add), Command2 (Update)".
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

Failure UiScriptFailure(const std::u16string& what) {
  return Failure(err::kInvalidCall, u"UI script: " + what);
}

std::optional<std::u16string> StepMismatch(const Form& form, const UiStep& step) {
  const std::u16string where = step.control + u" of " + form.name();
  switch (step.kind) {
    case UiStep::Kind::kType:
      if (!FindAs<TextBox>(form, step.control) && !FindAs<ComboBox>(form, step.control))
        return u"there is no text box " + where +
               ValidNames(form, {WidgetKind::kTextBox, WidgetKind::kComboBox});
      break;
    case UiStep::Kind::kChoose:
      if (!FindAs<OptionButton>(form, step.control))
        return u"there is no option button " + where +
               ValidNames(form, {WidgetKind::kOptionButton});
      break;
    case UiStep::Kind::kCheck:
      if (!FindAs<CheckBox>(form, step.control))
        return u"there is no check box " + where + ValidNames(form, {WidgetKind::kCheckBox});
      if (step.value != 0 && step.value != 1) return u"the check box " + where + u" takes 0 or 1";
      break;
    case UiStep::Kind::kSelect: {
      const auto* list = FindAs<ListBox>(form, step.control);
      if (!list) return u"there is no list box " + where + ValidNames(form, {WidgetKind::kListBox});
      if (step.value < -1 || step.value >= static_cast<std::int64_t>(list->Count()))
        return u"the list box " + where + u" has no line " + DecimalText(step.value);
      break;
    }
    case UiStep::Kind::kClick:
      if (!FindAs<CommandButton>(form, step.control))
        return u"there is no button " + where + ValidNames(form, {WidgetKind::kCommandButton});
      break;
    case UiStep::Kind::kClose:
      break;
  }
  return std::nullopt;
}

void ApplyStep(Form& form, const UiStep& step) {
  if (const auto why = StepMismatch(form, step)) throw UiScriptFailure(*why);
  switch (step.kind) {
    case UiStep::Kind::kType:
      if (auto* box = FindAs<TextBox>(form, step.control)) {
        box->SetText(step.text);
      } else {
        FindAs<ComboBox>(form, step.control)->SetText(step.text);
      }
      break;
    case UiStep::Kind::kChoose:
      form.Choose(step.control);
      break;
    case UiStep::Kind::kCheck:
      FindAs<CheckBox>(form, step.control)->SetValue(static_cast<int>(step.value));
      break;
    case UiStep::Kind::kSelect:
      FindAs<ListBox>(form, step.control)->Select(static_cast<std::ptrdiff_t>(step.value));
      break;
    case UiStep::Kind::kClick:
      FindAs<CommandButton>(form, step.control)->Click();
      break;
    case UiStep::Kind::kClose:
      form.CloseFromFrame();
      break;
  }
}

}  // namespace corabind
