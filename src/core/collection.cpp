#include "core/collection.h"

#include <limits>

#include "core/failure.h"

namespace corabind {

const Variant& Collection::Item(std::int32_t index) const {
  if (index < 1 || index > Count()) {
    throw Failure(err::kSubscriptOutOfRange, u"Subscript out of range");
  }
  return items_[static_cast<std::size_t>(index - 1)];
}

void Collection::Add(Variant item) {
  if (items_.size() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw Failure(err::kOverflow, u"Collection is full");
  }
  // Any item with a text takes part in comparisons by its text: the number 5
  // matches the key "5". Null and objects have none and match nothing.
  if (!item.IsNull() && !item.IsObject()) ++text_counts_[item.ToText()];
  items_.push_back(std::move(item));
}

bool Collection::ContainsText(const std::u16string& text) const {
  return text_counts_.find(text) != text_counts_.end();
}

}  // namespace corabind
