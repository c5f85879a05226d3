// The lines of the select list dialog. The dialog keeps its option items in
// nothing but these lines, so what a line gives back when read is what the
// dialog writes: three fixed columns (positions from 1):
//   1 to 11    "c" and 10 spaces when selected, else 11 spaces
//   12 to 41   the text, padded with spaces to 30 characters or cut to 30
//   42 to end  the value, unchanged
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corabind {

inline constexpr std::size_t kItemMarkWidth = 11;
inline constexpr std::size_t kItemTextWidth = 30;

// `selected` uses the check box coding: only 1 marks the item.
std::u16string FormatItemLine(std::int16_t selected, std::u16string_view text,
                              std::u16string_view value);

struct ItemLine {
  std::int16_t selected = 0;  // 1 or 0
  std::u16string text;
  std::u16string value;
  bool operator==(const ItemLine&) const = default;
};

// Each column with its surrounding spaces removed; a column the line does not
// reach reads as "".
ItemLine ReadItemLine(std::u16string_view line);

}  // namespace corabind
