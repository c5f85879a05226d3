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
  if (item.IsText()) ++text_counts_[std::get<std::u16string>(item.storage())];
  items_.push_back(std::move(item));
}

bool Collection::ContainsText(const std::u16string& text) const {
  return text_counts_.find(text) != text_counts_.end();
}

}  // namespace corabind
