#include "fields/item_line.h"

#include <algorithm>

namespace corabind {

namespace {

bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}

std::u16string_view Column(std::u16string_view line, std::size_t start, std::size_t length) {
  if (start >= line.size()) return {};
  return line.substr(start, length);
}

std::u16string TrimSpaces(std::u16string_view s) {
  const auto first = s.find_first_not_of(u' ');
  if (first == std::u16string_view::npos) return {};
  const auto last = s.find_last_not_of(u' ');
  return std::u16string(s.substr(first, last - first + 1));
}

}  // namespace

std::u16string FormatItemLine(std::int16_t selected, std::u16string_view text,
                              std::u16string_view value) {
  std::u16string line = selected == 1 ? u"c" + std::u16string(kItemMarkWidth - 1, u' ')
                                      : std::u16string(kItemMarkWidth, u' ');
  std::u16string_view shown = text.substr(0, std::min(text.size(), kItemTextWidth));
  // Cutting between the halves of a surrogate pair would leave half a
  // character in the markup; the cut keeps the whole character out instead.
  if (text.size() > kItemTextWidth && IsHighSurrogate(shown.back())) shown.remove_suffix(1);
  line += shown;
  line.append(kItemTextWidth - shown.size(), u' ');
  line += value;
  return line;
}

ItemLine ReadItemLine(std::u16string_view line) {
  ItemLine item;
  item.selected = TrimSpaces(Column(line, 0, kItemMarkWidth)) == u"c" ? 1 : 0;
  item.text = TrimSpaces(Column(line, kItemMarkWidth, kItemTextWidth));
  item.value = TrimSpaces(Column(line, kItemMarkWidth + kItemTextWidth, std::u16string_view::npos));
  return item;
}

}  // namespace corabind
