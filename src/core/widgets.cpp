#include "core/widgets.h"

#include "core/failure.h"

namespace corabind {

void TextBox::SetText(std::u16string text) {
  if (text == text_) return;
  text_ = std::move(text);
  ModelChanged();
  if (on_change) on_change();
}

void TextBox::Reset() {
  if (text_ == initial_) return;
  text_ = initial_;
  ModelChanged();
}

namespace {
[[noreturn]] void BadPosition() {
  throw Failure(err::kInvalidCall,
                u"Invalid procedure call or argument: list position out of range");
}
}  // namespace

std::u16string ListBox::Line(std::ptrdiff_t position) const {
  if (position < 0 || static_cast<std::size_t>(position) >= lines_.size()) return {};
  return lines_[static_cast<std::size_t>(position)];
}

void ListBox::Append(std::u16string line) {
  lines_.push_back(std::move(line));
  ModelChanged();
}

void ListBox::Insert(std::ptrdiff_t position, std::u16string line) {
  if (position < 0 || static_cast<std::size_t>(position) > lines_.size()) BadPosition();
  lines_.insert(lines_.begin() + position, std::move(line));
  // A selection after the insertion point follows its line.
  if (selected_ >= position) ++selected_;
  ModelChanged();
}

void ListBox::Remove(std::ptrdiff_t position) {
  if (position < 0 || static_cast<std::size_t>(position) >= lines_.size()) BadPosition();
  lines_.erase(lines_.begin() + position);
  // As in the classic list box, removing any line leaves no line chosen.
  selected_ = -1;
  ModelChanged();
}

void ListBox::Select(std::ptrdiff_t position) {
  if (position < -1 || (position >= 0 && static_cast<std::size_t>(position) >= lines_.size()))
    BadPosition();
  if (position == selected_) return;
  selected_ = position;
  ModelChanged();
}

void ListBox::Reset() {
  if (lines_.empty() && selected_ == -1) return;
  lines_.clear();
  selected_ = -1;
  ModelChanged();
}

}  // namespace corabind
