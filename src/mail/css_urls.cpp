#include "mail/css_urls.h"

#include <cctype>

namespace corabind::mail {

namespace {

bool IsNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}
bool StartsWithNoCase(std::string_view text, std::size_t at, std::string_view word) {
  if (text.size() - at < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[at + i])) != word[i]) return false;
  }
  return true;
}

// Undoes "\X" escapes; a hexadecimal escape stands for its code point.
std::string Unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    std::size_t j = i + 1;
    unsigned long code = 0;
    while (j < text.size() && j < i + 7 && std::isxdigit(static_cast<unsigned char>(text[j]))) {
      code = code * 16 + std::stoul(std::string(1, text[j]), nullptr, 16);
      ++j;
    }
    if (j == i + 1) {
      out += text[j];
      i = j;
      continue;
    }
    if (j < text.size() && IsSpace(text[j])) ++j;
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
    i = j - 1;
  }
  return out;
}

// The end of the string opening at `at` (one past its closing quote, or the
// end of the line or sheet for an unclosed one).
std::size_t SkipString(std::string_view css, std::size_t at) {
  const char quote = css[at];
  std::size_t i = at + 1;
  while (i < css.size() && css[i] != quote && css[i] != '\n') {
    i += css[i] == '\\' ? 2 : 1;
  }
  return i < css.size() && css[i] == quote ? i + 1 : std::min(i, css.size());
}

}  // namespace

std::vector<CssUrl> FindCssUrls(std::string_view css) {
  std::vector<CssUrl> found;
  bool after_import = false;  // the next string or url() is an @import's
  std::size_t i = 0;
  while (i < css.size()) {
    const char c = css[i];
    if (c == '/' && i + 1 < css.size() && css[i + 1] == '*') {
      const auto close = css.find("*/", i + 2);
      i = close == std::string_view::npos ? css.size() : close + 2;
    } else if (c == '"' || c == '\'') {
      const std::size_t end = SkipString(css, i);
      if (after_import && end > i + 1 && css[end - 1] == c) {
        found.push_back({i + 1, end - 1, Unescape(css.substr(i + 1, end - i - 2)), true});
      }
      after_import = false;
      i = end;
    } else if (c == '@' && StartsWithNoCase(css, i + 1, "import") &&
               (i + 7 == css.size() || !IsNameChar(css[i + 7]))) {
      after_import = true;
      i += 7;
    } else if ((c == 'u' || c == 'U') && StartsWithNoCase(css, i, "url(") &&
               (i == 0 || (!IsNameChar(css[i - 1]) && css[i - 1] != '\\'))) {
      std::size_t j = i + 4;
      while (j < css.size() && IsSpace(css[j])) ++j;
      if (j < css.size() && (css[j] == '"' || css[j] == '\'')) {
        const std::size_t end = SkipString(css, j);
        if (end > j + 1 && css[end - 1] == css[j]) {
          found.push_back({j + 1, end - 1, Unescape(css.substr(j + 1, end - j - 2)), after_import});
        }
        i = end;
      } else {
        std::size_t end = j;
        while (end < css.size() && css[end] != ')' && !IsSpace(css[end]) && css[end] != '"' &&
               css[end] != '\'' && css[end] != '(') {
          end += css[end] == '\\' ? 2 : 1;
        }
        end = std::min(end, css.size());
        std::size_t close = end;
        while (close < css.size() && IsSpace(css[close])) ++close;
        if (end > j && close < css.size() && css[close] == ')') {
          found.push_back({j, end, Unescape(css.substr(j, end - j)), after_import});
        }
        i = close;
      }
      after_import = false;
    } else {
      if (c == ';' || c == '{' || c == '}') after_import = false;
      i += c == '\\' ? 2 : 1;
    }
  }
  return found;
}

}  // namespace corabind::mail
