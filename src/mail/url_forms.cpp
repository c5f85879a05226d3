#include "mail/url_forms.h"

#include <glib.h>

#include <algorithm>

#include "core/text.h"
#include "mime/reference_rules.h"

namespace corabind::mail {

namespace {

bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// What a URL names as a file: everything before its query and fragment.
std::string_view WithoutQuery(std::string_view url) {
  return url.substr(0, url.find_first_of("?#"));
}

// A file: URL's path as a control path: "/C:/mail/a.png" is on drive C:,
// "/home/kim/a.png" rooted (on Z:, the host root, unless mapped elsewhere).
std::u16string FileUrlControlPath(std::string_view path) {
  if (path.size() >= 3 && path[0] == '/' && IsLetter(path[1]) && path[2] == ':') {
    path.remove_prefix(1);
  }
  std::u16string out = FromUtf8(path);
  std::replace(out.begin(), out.end(), u'/', u'\\');
  return out;
}

std::optional<NamedFile> FileUrlFile(std::string_view url) {
  std::string_view rest = url.substr(5);  // after "file:"
  if (rest.starts_with("//")) {
    rest.remove_prefix(2);
    const std::size_t slash = rest.find('/');
    const std::string_view host = rest.substr(0, slash);
    // A host is another machine's file, which is no file here, whatever
    // this machine may hold under the same path.
    if (!host.empty() && !EqualsIgnoringAsciiCase(FromUtf8(host), u"localhost")) {
      return std::nullopt;
    }
    if (slash == std::string_view::npos) return std::nullopt;
    rest.remove_prefix(slash);
  }
  if (!rest.starts_with("/")) return std::nullopt;  // "file:a.png" names nothing certain
  NamedFile named{FileUrlControlPath(rest), std::nullopt};
  if (const auto decoded = PercentDecoded(WithoutQuery(rest))) {
    std::u16string path = FileUrlControlPath(*decoded);
    if (path != named.literal) named.decoded = std::move(path);
  }
  return named;
}

constexpr std::string_view kMediaNameCharacters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!#$&-^_.+";

bool IsMediaName(std::string_view name) {
  return !name.empty() && name.size() <= 127 &&
         name.find_first_not_of(kMediaNameCharacters) == std::string_view::npos;
}

std::string_view Trimmed(std::string_view text) {
  constexpr std::string_view kSpace = " \t\n\f\r";
  const std::size_t begin = text.find_first_not_of(kSpace);
  if (begin == std::string_view::npos) return {};
  return text.substr(begin, text.find_last_not_of(kSpace) - begin + 1);
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// Whether `text` is base64 as browsers decode a data URL's: white space
// anywhere, at most two '=' at the very end, and no lone last character.
bool IsForgivingBase64(std::string_view text) {
  std::size_t symbols = 0, padding = 0;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r') continue;
    if (c == '=') {
      ++padding;
      continue;
    }
    if (padding != 0) return false;
    if (!IsLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '/') return false;
    ++symbols;
  }
  if (padding > 2 || (padding != 0 && (symbols + padding) % 4 != 0)) return false;
  return symbols % 4 != 1;
}

}  // namespace

std::optional<std::string> PercentDecoded(std::string_view text) {
  std::string out = *PercentUnescaped(text, false);
  if (std::any_of(out.begin(), out.end(),
                  [](char c) { return (c >= 0 && c < ' ') || c == 0x7F; })) {
    return std::nullopt;
  }
  if (!g_utf8_validate(out.data(), static_cast<gssize>(out.size()), nullptr)) return std::nullopt;
  return out;
}

std::optional<NamedFile> NamedFileOf(std::u16string_view src, std::u16string_view base) {
  if (StartsWithIgnoringAsciiCase(src, u"file:")) return FileUrlFile(ToUtf8(src));
  auto literal = LocalPath(src, base);
  if (!literal) return std::nullopt;
  NamedFile named{std::move(*literal), std::nullopt};
  const std::string written = ToUtf8(src);
  if (written.find_first_of("%?#") == std::string::npos) return named;
  if (const auto decoded = PercentDecoded(WithoutQuery(written))) {
    auto path = LocalPath(FromUtf8(*decoded), base);
    if (path && *path != named.literal) named.decoded = std::move(*path);
  }
  return named;
}

bool IsDataUrl(std::string_view text) {
  return text.size() >= 5 && Lower(text.substr(0, 5)) == "data:";
}

std::optional<DataUrl> ParseDataUrl(std::string_view url) {
  if (!IsDataUrl(url)) return std::nullopt;
  const std::size_t comma = url.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  std::string_view header = url.substr(5, comma - 5);
  DataUrl out;
  out.data = url.substr(comma + 1);
  if (const std::size_t last = header.rfind(';');
      last != std::string_view::npos && Lower(Trimmed(header.substr(last + 1))) == "base64") {
    out.base64 = true;
    header = header.substr(0, last);
  }
  // RFC 2397: without a media type the data is text/plain;charset=US-ASCII.
  const std::string_view media = Trimmed(header.substr(0, header.find(';')));
  if (media.empty()) {
    out.type = "text";
    out.subtype = "plain";
  } else {
    const std::size_t slash = media.find('/');
    if (slash == std::string_view::npos || !IsMediaName(media.substr(0, slash)) ||
        !IsMediaName(media.substr(slash + 1))) {
      return std::nullopt;
    }
    out.type = Lower(media.substr(0, slash));
    out.subtype = Lower(media.substr(slash + 1));
  }
  const bool escaped = out.data.find('%') != std::string_view::npos;
  if (escaped && !PercentUnescaped(out.data, true)) return std::nullopt;
  if (out.base64 && !IsForgivingBase64(escaped ? std::string_view(DataUrlBody(out)) : out.data)) {
    return std::nullopt;
  }
  return out;
}

std::string DataUrlBody(const DataUrl& url) {
  if (url.data.find('%') == std::string_view::npos) return std::string(url.data);
  return PercentUnescaped(url.data, false).value_or(std::string());
}

}  // namespace corabind::mail
