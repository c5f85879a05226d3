#include "mime/resolve.h"

#include <algorithm>

#include "core/text.h"
#include "mime/mime.h"

namespace corabind {

namespace {

bool IsAsciiAlpha(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}
bool IsAsciiDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

std::u16string SlashesToBackslashes(std::u16string_view text) {
  std::u16string out(text);
  std::replace(out.begin(), out.end(), u'/', u'\\');
  return out;
}

}  // namespace

bool StartsWithUrlScheme(std::u16string_view text) {
  // scheme = ALPHA *( ALPHA / DIGIT / "+" / "-" / "." )
  if (text.empty() || !IsAsciiAlpha(text[0])) return false;
  for (std::size_t i = 1; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u':') return i >= 2;
    if (!IsAsciiAlpha(c) && !IsAsciiDigit(c) && c != u'+' && c != u'-' && c != u'.') return false;
  }
  return false;
}

void ResolveImageInfo(ControlData& control, const std::u16string& src, const std::u16string& key) {
  if (src.size() <= 5) return;
  const std::u16string_view view(src);
  if (StartsWithIgnoringAsciiCase(view, u"file:")) {
    // "file://" plus the path: exactly seven characters go, whatever
    // follows them ("file:///C:/a" keeps a leading backslash).
    mime::InsertImageInfo(control, key,
                          SlashesToBackslashes(view.substr(std::min<std::size_t>(7, src.size()))));
    return;
  }
  // Remote and inline resources ("https:", "data:", "cid:") are no local
  // file; embedding them would only give empty parts.
  if (StartsWithUrlScheme(view)) return;
  if (src[1] == u':') {
    mime::InsertImageInfo(control, key, src);  // a drive path, taken as written
    return;
  }
  std::u16string_view relative = view;
  if (relative.front() == u'/') relative.remove_prefix(1);
  mime::InsertImageInfo(control, key, control.getBaseURL() + SlashesToBackslashes(relative));
}

std::u16string GetFileName(std::u16string_view path) {
  const auto last = path.rfind(u'\\');
  if (last == std::u16string_view::npos) return {};
  return std::u16string(path.substr(last + 1));
}

void mime::InsertImageInfo(ControlData& control, const std::u16string& key,
                           const std::u16string& value) {
  // The index answers exactly what a scan of every item would.
  if (!control.imageKeys()->ContainsText(key)) {
    control.imageKeys()->Add(key);
    control.imageValues()->Add(value);
  }
}

}  // namespace corabind
