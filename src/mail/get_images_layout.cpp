#include "mail/get_images_layout.h"

#include <algorithm>

#include "control/orvane_control.h"
#include "core/collection.h"
#include "core/text.h"
#include "mime/message_layout.h"

namespace corabind::mail {

std::string CidUrl(std::u16string_view key) {
  // RFC 2392 clients undo %hh before matching the Content-ID, so anything
  // outside the URL characters that also stand safely inside a quoted HTML
  // attribute is escaped; "&" and quotes included.
  static constexpr std::string_view kKeep =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~!$()*+,;=:@/";
  return "cid:" + PercentEscaped(ToUtf8(key), kKeep);
}

namespace {

// Mail lines end in CR LF (RFC 5322); a file saved with LF or CR alone is
// brought into line.
std::u16string WithCrLf(const std::u16string& text) {
  std::u16string out;
  out.reserve(text.size() + text.size() / 32);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'\r' || c == u'\n') {
      out += u"\r\n";
      if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::u16string GetImagesLayout(OrvaneControl& control, const Page& page, bool keep_html, bool debug,
                               std::size_t* html_size) {
  // GetImages copies the HTML between its fixed header and the parts and
  // never reads it, so it runs once without it; the keys it registers then
  // decide which references become cid: URLs.
  std::u16string message =
      control.GetImages(u"", page.body, page.base, page.document, kFalse, debug ? kTrue : kFalse);
  std::string html(page.utf8);
  if (!keep_html) {
    const auto keys = control.imageKeys();
    std::string rewritten;
    std::size_t at = 0;
    auto references = ScanPage(page.root, page.body.get(), page.locate).references;
    // The tree's order is not always the source's (a table's stray content
    // moves before it).
    std::stable_sort(references.begin(), references.end(),
                     [](const PageReference& a, const PageReference& b) {
                       return a.where.begin < b.where.begin;
                     });
    for (const PageReference& r : references) {
      if (!r.collected || r.where.begin < at || !keys->ContainsText(r.key)) continue;
      rewritten.append(html, at, r.where.begin - at);
      rewritten += CidUrl(r.key);
      at = r.where.end;
    }
    rewritten.append(html, at);
    html = std::move(rewritten);
  }
  const std::u16string text = WithCrLf(FromUtf8(html));
  message.insert(kMessageHeader.size(), text);
  if (html_size) *html_size = text.size();
  return message;
}

}  // namespace corabind::mail
