#include "core/printable.h"

#include <cstdio>

namespace corabind {

namespace {

// The length of the UTF-8 sequence at `at`, 0 when the bytes there are not
// one (overlong forms and surrogates included).
std::size_t SequenceLength(std::string_view s, std::size_t at, char32_t& code) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char b = byte(at);
  std::size_t n;
  if (b < 0x80) {
    code = b;
    return 1;
  } else if (b >= 0xC2 && b <= 0xDF) {
    n = 2;
    code = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3;
    code = b & 0x0F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4;
    code = b & 0x07;
  } else {
    return 0;
  }
  if (at + n > s.size()) return 0;
  for (std::size_t i = 1; i < n; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(at + i) & 0x3F);
  }
  const bool overlong = (n == 3 && code < 0x800) || (n == 4 && code < 0x10000);
  if (overlong || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
  return n;
}

void Escape(std::string_view s, std::string& out) {
  char hex[16];
  for (std::size_t i = 0; i < s.size();) {
    char32_t code = 0;
    const std::size_t n = SequenceLength(s, i, code);
    if (n == 0) {
      std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(s[i]));
      out += hex;
      ++i;
      continue;
    }
    if (code == '\n') {
      out += "\\n";
    } else if (code == '\r') {
      out += "\\r";
    } else if (code == '\t') {
      out += "\\t";
    } else if (code < 0x20 || code == 0x7F) {
      std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(code));
      out += hex;
    } else if ((code >= 0x80 && code < 0xA0) || (code >= 0x202A && code <= 0x202E) ||
               (code >= 0x2066 && code <= 0x2069) || code == 0x2028 || code == 0x2029) {
      // C1 controls and the characters that reorder or break a line.
      std::snprintf(hex, sizeof hex, "\\u{%04X}", static_cast<unsigned>(code));
      out += hex;
    } else {
      out.append(s.substr(i, n));
    }
    i += n;
  }
}

// Moves `at` forward off UTF-8 continuation bytes, so a cut never splits a
// character (at most three steps).
std::size_t Boundary(std::string_view s, std::size_t at) {
  for (int i = 0; i < 3 && at < s.size() && (static_cast<unsigned char>(s[at]) & 0xC0) == 0x80; ++i)
    ++at;
  return at;
}

}  // namespace

std::string Printable(std::string_view text, std::size_t max_bytes) {
  std::string out;
  if (text.size() <= max_bytes) {
    Escape(text, out);
    return out;
  }
  // The start says what it is, the end which file (its extension).
  const std::size_t head = Boundary(text, max_bytes * 2 / 3);
  const std::size_t tail = Boundary(text, text.size() - max_bytes / 3);
  Escape(text.substr(0, head), out);
  out += "...";
  Escape(text.substr(tail), out);
  out += " (" + std::to_string(text.size()) + " bytes in all)";
  return out;
}

std::string PrintableLines(std::string_view text, std::string_view prefix, std::size_t max_bytes) {
  std::string out;
  for (;;) {
    const std::size_t end = text.find_first_of("\r\n");
    out.append(prefix);
    out += Printable(text.substr(0, end), max_bytes);
    out += '\n';
    if (end == std::string_view::npos) return out;
    const bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
    text.remove_prefix(end + (crlf ? 2 : 1));
    if (text.empty()) return out;
  }
}

}  // namespace corabind
