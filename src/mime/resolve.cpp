#include "mime/resolve.h"

#include "core/text.h"
#include "mime/mime.h"
#include "mime/reference_rules.h"

namespace corabind {

namespace {

bool IsAsciiAlpha(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}
bool IsAsciiDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
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
  if (auto path = LocalPath(src, control.getBaseURL())) mime::InsertImageInfo(control, key, *path);
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
