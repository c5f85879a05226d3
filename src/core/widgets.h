// Toolkit-free widget models. A dialog is plain C++ over these models; the
// headless desktop drives them from a script and the Qt desktop binds real
// widgets to them both ways. Layout is data: a box in pixels at 96 dpi, a
// caption, a font and a place in the keyboard order.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace corabind {

struct Box {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const Box&) const = default;
};

struct Font {
  std::u16string family;  // "" means the window's default font
  double points = 0;
  bool operator==(const Font&) const = default;
};

enum class WidgetKind {
  kLabel,
  kFrame,
  kTextBox,
  kOptionButton,
  kCheckBox,
  kComboBox,
  kListBox,
  kCommandButton
};

// What every widget has. `container` names the frame it sits in ("" for the
// form itself); its box is then relative to that frame. `tab_index` is the
// place in the keyboard order, -1 for widgets that take no focus.
struct WidgetDesign {
  std::u16string name;
  Box box;
  std::u16string caption;
  Font font;
  int tab_index = -1;
  std::u16string container;
};

class Widget {
 public:
  Widget(WidgetKind kind, WidgetDesign design) : kind_(kind), design_(std::move(design)) {}
  virtual ~Widget() = default;
  Widget(const Widget&) = delete;
  Widget& operator=(const Widget&) = delete;

  WidgetKind kind() const { return kind_; }
  const WidgetDesign& design() const { return design_; }
  const std::u16string& name() const { return design_.name; }
  // Back to the designed state, without notifications.
  virtual void Reset() {}

  // Called whenever the model's value changes, whoever changed it; renderers
  // use it to refresh their widget.
  std::function<void()> on_model_changed;

 protected:
  void ModelChanged() {
    if (on_model_changed) on_model_changed();
  }

 private:
  WidgetKind kind_;
  WidgetDesign design_;
};

class Label : public Widget {
 public:
  explicit Label(WidgetDesign d) : Widget(WidgetKind::kLabel, std::move(d)) {}
};

class Frame : public Widget {
 public:
  explicit Frame(WidgetDesign d) : Widget(WidgetKind::kFrame, std::move(d)) {}
};

class CommandButton : public Widget {
 public:
  explicit CommandButton(WidgetDesign d) : Widget(WidgetKind::kCommandButton, std::move(d)) {}
  void Click() {
    if (on_click) on_click();
  }
  std::function<void()> on_click;
};

class TextBox : public Widget {
 public:
  TextBox(WidgetDesign d, std::u16string initial_text = {}, bool multi_line = false)
      : Widget(WidgetKind::kTextBox, std::move(d)),
        initial_(std::move(initial_text)),
        text_(initial_),
        multi_line_(multi_line) {}

  const std::u16string& text() const { return text_; }
  bool multi_line() const { return multi_line_; }
  // Set by the program or by typing: a different text fires on_change; the
  // same text fires nothing.
  void SetText(std::u16string text);
  void Reset() override;

  std::function<void()> on_change;

 private:
  std::u16string initial_;
  std::u16string text_;
  bool multi_line_;
};

// Option buttons form a group with the other option buttons of the same
// container; choosing one clears the others (Form::Choose).
class OptionButton : public Widget {
 public:
  OptionButton(WidgetDesign d, bool initial)
      : Widget(WidgetKind::kOptionButton, std::move(d)), initial_(initial), value_(initial) {}
  bool value() const { return value_; }
  void SetValue(bool v) {
    if (v == value_) return;
    value_ = v;
    ModelChanged();
  }
  void Reset() override { SetValue(initial_); }

 private:
  bool initial_;
  bool value_;
};

class CheckBox : public Widget {
 public:
  CheckBox(WidgetDesign d, int initial)
      : Widget(WidgetKind::kCheckBox, std::move(d)), initial_(initial), value_(initial) {}
  // 0 cleared, 1 checked.
  int value() const { return value_; }
  void SetValue(int v) {
    if (v == value_) return;
    value_ = v;
    ModelChanged();
  }
  void Reset() override { SetValue(initial_); }

 private:
  int initial_;
  int value_;
};

// Editable drop-down: the user picks an entry or types any text.
class ComboBox : public Widget {
 public:
  ComboBox(WidgetDesign d, std::u16string initial_text, std::vector<std::u16string> entries)
      : Widget(WidgetKind::kComboBox, std::move(d)),
        initial_(std::move(initial_text)),
        text_(initial_),
        entries_(std::move(entries)) {}
  const std::u16string& text() const { return text_; }
  const std::vector<std::u16string>& entries() const { return entries_; }
  void SetText(std::u16string text) {
    if (text == text_) return;
    text_ = std::move(text);
    ModelChanged();
  }
  void Reset() override { SetText(initial_); }

 private:
  std::u16string initial_;
  std::u16string text_;
  std::vector<std::u16string> entries_;
};

// Single-selection, unsorted list of text lines. Positions count from 0.
class ListBox : public Widget {
 public:
  explicit ListBox(WidgetDesign d) : Widget(WidgetKind::kListBox, std::move(d)) {}

  std::size_t Count() const { return lines_.size(); }
  // The line at `position`; "" for -1 (no selection) and for any position
  // outside the list, so reading the selected line never fails.
  std::u16string Line(std::ptrdiff_t position) const;
  void Append(std::u16string line);
  // Inserts before `position` (0..Count); failure 5 outside that range.
  void Insert(std::ptrdiff_t position, std::u16string line);
  // Failure 5 outside 0..Count-1. Afterwards no line is selected.
  void Remove(std::ptrdiff_t position);
  // The selected position, -1 when none.
  std::ptrdiff_t Selected() const { return selected_; }
  // -1 clears; failure 5 outside -1..Count-1.
  void Select(std::ptrdiff_t position);
  const std::vector<std::u16string>& lines() const { return lines_; }
  void Reset() override;

  // The label that heads the columns of the lines ("" for none): it is
  // drawn in the lines' font, and a line as long as it shows whole.
  const std::u16string& heading() const { return heading_; }
  void set_heading(std::u16string label_name) { heading_ = std::move(label_name); }

 private:
  std::u16string heading_;
  std::vector<std::u16string> lines_;
  std::ptrdiff_t selected_ = -1;
};

}  // namespace corabind
