// A dialog window as data and logic, without any toolkit: named widgets with
// their layout, a caption, a load step and the unload that ends a modal
// showing. Desktops (headless, Qt) show forms through Desktop::ShowModal.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/desktop.h"
#include "core/widgets.h"

namespace corabind {

[[noreturn]] void ThrowWrongWidgetKind(const std::u16string& widget_name);

struct Size {
  int width = 0, height = 0;
  bool operator==(const Size&) const = default;
};

class Form {
 public:
  Form(std::u16string name, std::u16string caption, Size client_size, Font font = {});
  virtual ~Form() = default;
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  // The dialog kind's name ("TextBoxF", "Form1", ...).
  const std::u16string& name() const { return name_; }
  const std::u16string& caption() const { return caption_; }
  Size client_size() const { return client_size_; }
  // The window's font, for widgets whose design names none.
  const Font& font() const { return font_; }
  // The widget that has the focus when the form opens; the keyboard order
  // is each widget's tab_index.
  const std::u16string& initial_focus() const { return initial_focus_; }
  // The command buttons that the Enter and the Escape key click wherever
  // the focus is; "" where the key clicks nothing and the window ignores it.
  const std::u16string& enter_button() const { return enter_button_; }
  const std::u16string& escape_button() const { return escape_button_; }

  const std::vector<std::unique_ptr<Widget>>& widgets() const { return widgets_; }
  // Failure 5 naming the widget when it is missing or of another kind.
  Widget& Find(const std::u16string& name) const;
  template <class W>
  W& Get(const std::u16string& name) const;

  // Chooses an option button and clears the others of its container.
  void Choose(const std::u16string& option_name);

  // Modal life: Open resets every widget to its design and runs the load
  // step; the dialog's own handlers call Unload (its accepting command) or
  // Dismiss (its cancelling one); a close from the window frame unloads
  // without running any handler.
  void Open();
  void Unload() { End(DialogEnd::kAccepted); }
  void Dismiss() { End(DialogEnd::kCancelled); }
  void CloseFromFrame() { End(DialogEnd::kClosed); }
  bool is_open() const { return open_; }
  // How the latest showing ended; meaningful once it is unloaded.
  DialogEnd ended() const { return ended_; }

 protected:
  template <class W, class... A>
  W& Add(A&&... args) {
    auto w = std::make_unique<W>(std::forward<A>(args)...);
    W& ref = *w;
    widgets_.push_back(std::move(w));
    return ref;
  }
  void set_initial_focus(std::u16string name) { initial_focus_ = std::move(name); }
  void set_key_buttons(std::u16string enter, std::u16string escape) {
    enter_button_ = std::move(enter);
    escape_button_ = std::move(escape);
  }
  virtual void Load() {}

 private:
  std::u16string name_;
  std::u16string caption_;
  Size client_size_;
  Font font_;
  std::u16string initial_focus_;
  std::u16string enter_button_;
  std::u16string escape_button_;
  std::vector<std::unique_ptr<Widget>> widgets_;
  bool open_ = false;
  DialogEnd ended_ = DialogEnd::kClosed;

  void End(DialogEnd how) {
    if (open_) ended_ = how;
    open_ = false;
  }
};

template <class W>
W& Form::Get(const std::u16string& name) const {
  Widget& w = Find(name);
  auto* typed = dynamic_cast<W*>(&w);
  if (!typed) ThrowWrongWidgetKind(name);
  return *typed;
}

// One modal showing of a form: opens it (reset, load) and, however the
// showing ends, leaves it unloaded, as a modal window is once its call
// returns. Desktops wrap their event loop in one.
class ModalShowing {
 public:
  explicit ModalShowing(Form& form) : form_(form) { form_.Open(); }
  ~ModalShowing() {
    if (form_.is_open()) form_.CloseFromFrame();
  }
  ModalShowing(const ModalShowing&) = delete;
  ModalShowing& operator=(const ModalShowing&) = delete;

 private:
  Form& form_;
};

}  // namespace corabind
