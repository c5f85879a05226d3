// The automation ordered collection behind imageKeys and imageValues: Count,
// one-based Item, Add at the end. Hosts and the control share one object by
// reference. A count of each text item is kept beside the items so that
// "is this text already an item?" is O(1); the answer is the same as a scan.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/variant.h"

namespace corabind {

class Collection {
 public:
  std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }
  // One-based; failure 9 outside 1..Count.
  const Variant& Item(std::int32_t index) const;
  void Add(Variant item);
  // True when some item's text equals `text` (exact, case-sensitive).
  bool ContainsText(const std::u16string& text) const;

  const std::vector<Variant>& items() const { return items_; }

 private:
  std::vector<Variant> items_;
  std::unordered_map<std::u16string, std::int32_t> text_counts_;
};

}  // namespace corabind
