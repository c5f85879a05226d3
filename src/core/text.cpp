#include "core/text.h"

#include <optional>

namespace corabind {

namespace {

// One character of UTF-8 at `at` (not ASCII), as the WHATWG decoder reads
// it: its code point and where the next begins, or, for a broken sequence,
// nothing and where to resume (after its maximal subpart).
struct Utf8Step {
  std::optional<char32_t> code_point;
  std::size_t next;
};

Utf8Step DecodeUtf8(std::string_view in, std::size_t at) {
  const auto b0 = static_cast<unsigned char>(in[at]);
  int len = 0;
  char32_t cp = 0;
  unsigned char lo = 0x80, hi = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
    cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    cp = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    cp = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return {std::nullopt, at + 1};
  }
  std::size_t j = at + 1;
  for (int k = 1; k < len; ++k, ++j) {
    if (j >= in.size()) return {std::nullopt, j};
    const auto b = static_cast<unsigned char>(in[j]);
    if (b < lo || b > hi) return {std::nullopt, j};
    lo = 0x80;
    hi = 0xBF;
    cp = (cp << 6) | (b & 0x3F);
  }
  return {cp, j};
}

// The end of the run of ASCII that starts at `at`: markup is mostly ASCII,
// and a run of it needs no decoding.
std::size_t AsciiEnd(std::string_view in, std::size_t at) {
  while (at < in.size() && static_cast<unsigned char>(in[at]) < 0x80) ++at;
  return at;
}

}  // namespace

std::u16string FromUtf8(std::string_view in) {
  std::u16string out;
  out.reserve(in.size());
  std::size_t i = 0;
  while (i < in.size()) {
    const std::size_t ascii_end = AsciiEnd(in, i);
    if (ascii_end != i) {
      out.append(in.begin() + static_cast<std::ptrdiff_t>(i),
                 in.begin() + static_cast<std::ptrdiff_t>(ascii_end));
      i = ascii_end;
      continue;
    }
    const Utf8Step step = DecodeUtf8(in, i);
    i = step.next;
    if (!step.code_point) {
      out.push_back(0xFFFD);  // one for the maximal subpart
    } else if (*step.code_point >= 0x10000) {
      const char32_t cp = *step.code_point - 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(*step.code_point));
    }
  }
  return out;
}

bool NamesUtf8(std::string_view charset) {
  const std::u16string name = FromUtf8(charset);
  return EqualsIgnoringAsciiCase(name, u"utf-8") || EqualsIgnoringAsciiCase(name, u"utf8");
}

std::optional<std::size_t> FindInvalidUtf8(std::string_view in) {
  std::size_t i = 0;
  while (i < in.size()) {
    i = AsciiEnd(in, i);
    if (i == in.size()) break;
    const Utf8Step step = DecodeUtf8(in, i);
    if (!step.code_point) return i;
    i = step.next;
  }
  return std::nullopt;
}

std::string ToUtf8(std::u16string_view in) {
  std::string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    char32_t cp = in[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
        in[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

namespace {
char16_t Upper(char16_t c) {
  return (c >= u'a' && c <= u'z') ? c - 32 : c;
}
char16_t Lower(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? c + 32 : c;
}
}  // namespace

std::u16string AsciiUpper(std::u16string_view text) {
  std::u16string out(text);
  for (auto& c : out) c = Upper(c);
  return out;
}

std::u16string AsciiLower(std::u16string_view text) {
  std::u16string out(text);
  for (auto& c : out) c = Lower(c);
  return out;
}

bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

bool StartsWithIgnoringAsciiCase(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() &&
         EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

std::u16string DecimalText(std::int64_t value) {
  const std::string s = std::to_string(value);
  return std::u16string(s.begin(), s.end());
}

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string PercentEscaped(std::string_view text, std::string_view keep) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (keep.find(c) != std::string_view::npos) {
      out += c;
    } else {
      const auto byte = static_cast<unsigned char>(c);
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

std::optional<std::string> PercentUnescaped(std::string_view text, bool strict) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int high = text[i] == '%' && i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
    const int low = high >= 0 ? HexValue(text[i + 2]) : -1;
    if (text[i] == '%' && low >= 0) {
      out += static_cast<char>(high * 16 + low);
      i += 2;
    } else if (text[i] == '%' && strict) {
      return std::nullopt;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace corabind
