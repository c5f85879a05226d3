// Pointing a mail's HTML at its inline parts: every reference that became a
// resource part is rewritten to a cid: URL (RFC 2392) naming the part's
// Content-ID, at the exact place its attribute value stands in the source.
// Nothing else in the text is touched.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/html/html_document.h"

namespace corabind::cli {

// "cid:" and the key, percent-encoded (UTF-8) where a URL, or an HTML
// attribute value, could not carry the character as it is.
std::string CidUrl(std::u16string_view key);

// `utf8`, parsed as `document`, with the value of each attribute that the resource walks read
// (SRC and BACKGROUND of any element, HREF of a style sheet link, MOVIE of
// a Flash object) replaced by CidUrl(key) when `is_part(key)` holds; the key
// is the value as written, or for MOVIE as the document model gives it.
std::string RewriteToCid(const html::HtmlDocument& document, std::string_view utf8,
                         const std::function<bool(const std::u16string& key)>& is_part);

}  // namespace corabind::cli
