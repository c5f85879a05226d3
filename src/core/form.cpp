#include "core/form.h"

#include "core/failure.h"

namespace corabind {

Form::Form(std::u16string name, std::u16string caption, Size client_size, Font font)
    : name_(std::move(name)),
      caption_(std::move(caption)),
      client_size_(client_size),
      font_(std::move(font)) {}

Widget& Form::Find(const std::u16string& name) const {
  for (const auto& w : widgets_) {
    if (w->name() == name) return *w;
  }
  throw Failure(err::kInvalidCall, u"The form " + name_ + u" has no control named " + name);
}

void ThrowWrongWidgetKind(const std::u16string& widget_name) {
  throw Failure(err::kTypeMismatch,
                u"The control " + widget_name + u" is not of the expected kind");
}

void Form::Choose(const std::u16string& option_name) {
  auto& chosen = Get<OptionButton>(option_name);
  for (const auto& w : widgets_) {
    if (w->kind() == WidgetKind::kOptionButton && w.get() != &chosen &&
        w->design().container == chosen.design().container) {
      static_cast<OptionButton&>(*w).SetValue(false);
    }
  }
  chosen.SetValue(true);
}

void Form::Open() {
  for (const auto& w : widgets_) w->Reset();
  open_ = true;
  try {
    Load();
  } catch (...) {
    open_ = false;
    throw;
  }
}

}  // namespace corabind
