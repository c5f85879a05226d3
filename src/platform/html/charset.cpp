#include "platform/html/charset.h"

#include <iconv.h>

#include <cerrno>
#include <utility>

#include "core/failure.h"
#include "core/text.h"
#include "platform/posix/iconv_handle.h"

namespace corabind::html {
namespace {

constexpr std::size_t kPrescanBytes = 1024;
constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}
char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

std::string LowerTrimmed(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  std::string out;
  for (char c : s) out.push_back(Lower(c));
  return out;
}

bool StartsWithLower(std::string_view s, std::size_t at, std::string_view lower) {
  if (at + lower.size() > s.size()) return false;
  for (std::size_t i = 0; i < lower.size(); ++i) {
    if (Lower(s[at + i]) != lower[i]) return false;
  }
  return true;
}

// WHATWG HTML "extracting a character encoding from a meta element".
std::string CharsetFromContent(std::string_view content) {
  std::size_t at = 0;
  for (;;) {
    std::size_t found = std::string_view::npos;
    for (std::size_t i = at; i + 7 <= content.size(); ++i) {
      if (StartsWithLower(content, i, "charset")) {
        found = i;
        break;
      }
    }
    if (found == std::string_view::npos) return {};
    std::size_t i = found + 7;
    while (i < content.size() && IsSpace(content[i])) ++i;
    if (i >= content.size() || content[i] != '=') {
      at = i;
      continue;
    }
    ++i;
    while (i < content.size() && IsSpace(content[i])) ++i;
    if (i >= content.size()) return {};
    if (content[i] == '"' || content[i] == '\'') {
      const std::size_t close = content.find(content[i], i + 1);
      if (close == std::string_view::npos) return {};
      return std::string(content.substr(i + 1, close - i - 1));
    }
    std::size_t j = i;
    while (j < content.size() && !IsSpace(content[j]) && content[j] != ';') ++j;
    return std::string(content.substr(i, j - i));
  }
}

// The label of the first <meta> that names an encoding.
std::string PrescanMeta(std::string_view head) {
  std::size_t pos = 0;
  while ((pos = head.find('<', pos)) != std::string_view::npos) {
    if (head.substr(pos, 4) == "<!--") {
      const std::size_t end = head.find("-->", pos + 4);
      if (end == std::string_view::npos) return {};
      pos = end + 3;
      continue;
    }
    if (!StartsWithLower(head, pos, "<meta") || pos + 5 >= head.size() ||
        !(IsSpace(head[pos + 5]) || head[pos + 5] == '/')) {
      ++pos;
      continue;
    }
    std::size_t i = pos + 5;
    std::string charset, content;
    bool http_equiv_content_type = false;
    // Attributes up to '>'.
    while (i < head.size() && head[i] != '>') {
      if (IsSpace(head[i]) || head[i] == '/') {
        ++i;
        continue;
      }
      std::string name;
      while (i < head.size() && !IsSpace(head[i]) && head[i] != '=' && head[i] != '>' &&
             head[i] != '/') {
        name.push_back(Lower(head[i++]));
      }
      while (i < head.size() && IsSpace(head[i])) ++i;
      std::string value;
      if (i < head.size() && head[i] == '=') {
        ++i;
        while (i < head.size() && IsSpace(head[i])) ++i;
        if (i < head.size() && (head[i] == '"' || head[i] == '\'')) {
          const std::size_t close = head.find(head[i], i + 1);
          if (close == std::string_view::npos) return {};
          value = head.substr(i + 1, close - i - 1);
          i = close + 1;
        } else {
          while (i < head.size() && !IsSpace(head[i]) && head[i] != '>') value.push_back(head[i++]);
        }
      }
      if (name == "charset" && charset.empty()) charset = value;
      if (name == "content" && content.empty()) content = value;
      if (name == "http-equiv" && LowerTrimmed(value) == "content-type") {
        http_equiv_content_type = true;
      }
    }
    if (!charset.empty()) return charset;
    if (http_equiv_content_type) {
      std::string from_content = CharsetFromContent(content);
      if (!from_content.empty()) return from_content;
    }
    pos = i;
  }
  return {};
}

// Maps a label to an iconv name, following the WHATWG Encoding standard
// where it differs from the label's literal meaning.
std::string EncodingForLabel(std::string_view label) {
  const std::string l = LowerTrimmed(label);
  if (l.empty()) return "UTF-8";
  // A meta element cannot declare UTF-16: the bytes it was read from are
  // ASCII-compatible ("prescan", step for UTF-16 labels).
  if (l.starts_with("utf-16") || l == "unicode" || l == "ucs-2") return "UTF-8";
  if (l == "utf8" || l == "unicode-1-1-utf-8") return "UTF-8";
  // Encoding standard: these labels all mean windows-1252.
  for (std::string_view latin1 : {"ascii", "us-ascii", "iso-8859-1", "iso8859-1", "latin1", "l1",
                                  "iso_8859-1", "cp819", "ibm819", "x-cp1252", "cp1252"}) {
    if (l == latin1) return "WINDOWS-1252";
  }
  if (l == "x-user-defined") return "WINDOWS-1252";
  const Iconv probe("UTF-8", l.c_str());
  return probe.ok() ? l : "UTF-8";
}

std::size_t UnitSize(const std::string& charset) {
  const std::string l = LowerTrimmed(charset);
  return l.starts_with("utf-16") ? 2 : 1;
}

}  // namespace

std::string DetectCharset(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return "UTF-8";
  if (bytes.starts_with("\xFF\xFE")) return "UTF-16LE";
  if (bytes.starts_with("\xFE\xFF")) return "UTF-16BE";
  return EncodingForLabel(PrescanMeta(bytes.substr(0, kPrescanBytes)));
}

bool DeclaresCharset(std::string_view bytes) {
  return bytes.starts_with("\xEF\xBB\xBF") || bytes.starts_with("\xFF\xFE") ||
         bytes.starts_with("\xFE\xFF") || !PrescanMeta(bytes.substr(0, kPrescanBytes)).empty();
}

std::string ConvertToUtf8(std::string_view bytes, const std::string& charset) {
  const Iconv cd("UTF-8", charset.c_str());
  if (!cd.ok()) {
    throw Failure(err::kInvalidCall, u"Unknown character set: " + FromUtf8(charset));
  }
  const std::size_t unit = UnitSize(charset);
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  char buffer[16384];
  // iconv takes a non-const input pointer but does not write through it.
  char* in = const_cast<char*>(bytes.data());
  std::size_t in_left = bytes.size();
  while (in_left > 0) {
    char* dst = buffer;
    std::size_t dst_left = sizeof buffer;
    const std::size_t r = iconv(cd.get(), &in, &in_left, &dst, &dst_left);
    out.append(buffer, static_cast<std::size_t>(dst - buffer));
    if (r != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) continue;  // the buffer is flushed; go on
    // EILSEQ (invalid) or EINVAL (truncated at the end): one replacement
    // character for one code unit, then resume after it.
    out += kReplacementUtf8;
    const std::size_t skip = std::min(unit, in_left);
    in += skip;
    in_left -= skip;
  }
  // Flush any shift state.
  char* dst = buffer;
  std::size_t dst_left = sizeof buffer;
  iconv(cd.get(), nullptr, nullptr, &dst, &dst_left);
  out.append(buffer, static_cast<std::size_t>(dst - buffer));
  return out;
}

std::string DecodeHtmlFile(std::string_view bytes) {
  const std::string charset = DetectCharset(bytes);
  if (charset == "UTF-8" && bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  if (charset.starts_with("UTF-16") && bytes.size() >= 2 &&
      ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF'))) {
    bytes.remove_prefix(2);
  }
  return ConvertToUtf8(bytes, charset);
}

}  // namespace corabind::html
