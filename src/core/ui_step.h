// One thing a user does in a form, and the one way it is carried out on the
// form's models. The headless desktop, the screenshots, automate, the
// --ui-script option and the tests all use these; the Qt desktop turns real
// input into the same model calls (platform/qt/form_window.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace corabind {

class Failure;
class Form;

struct UiStep {
  enum class Kind {
    kType,    // control = text box or editable drop-down; text typed (replaces its text)
    kChoose,  // control = option button
    kCheck,   // control = check box; value 0 or 1
    kSelect,  // control = list box; value = position, -1 for none
    kClick,   // control = command button
    kClose,   // close the form from its window frame
  };
  Kind kind;
  std::u16string control;
  std::u16string text;
  std::int64_t value = 0;

  static UiStep Type(std::u16string control, std::u16string text) {
    return {Kind::kType, std::move(control), std::move(text)};
  }
  static UiStep Choose(std::u16string control) { return {Kind::kChoose, std::move(control)}; }
  static UiStep Check(std::u16string control, std::int64_t value) {
    return {Kind::kCheck, std::move(control), {}, value};
  }
  static UiStep Select(std::u16string control, std::int64_t index) {
    return {Kind::kSelect, std::move(control), {}, index};
  }
  static UiStep Click(std::u16string control) { return {Kind::kClick, std::move(control)}; }
  static UiStep Close() { return {Kind::kClose}; }
};

// Failure 5 "UI script: <what>": a script that does not fit what opened.
Failure UiScriptFailure(const std::u16string& what);

// Why the step cannot be carried out on this form (no such control, a value
// out of range), or nothing when it can.
std::optional<std::u16string> StepMismatch(const Form& form, const UiStep& step);

// Carries the step out on the form's models as the user's input would. A
// step that does not fit the form is failure 5 ("UI script: ..."); a
// failure of the form's own handler passes through unchanged.
void ApplyStep(Form& form, const UiStep& step);

}  // namespace corabind
