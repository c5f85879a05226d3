// Turning the bytes of an HTML file into the UTF-8 text the parser takes.
#pragma once

#include <string>
#include <string_view>

namespace corabind::html {

// The encoding of an HTML file, as an iconv name: a byte order mark decides
// first ("UTF-8", "UTF-16LE", "UTF-16BE"); then a <meta charset> or
// <meta http-equiv=content-type content="...charset=..."> within the first
// 1024 bytes (a simplified WHATWG HTML "prescan a byte stream to determine
// its encoding"); UTF-8 otherwise, and for labels iconv does not know.
std::string DetectCharset(std::string_view bytes);

// True when the bytes say their encoding: a byte order mark, or a <meta>
// naming a charset within the first 1024 bytes.
bool DeclaresCharset(std::string_view bytes);

// The bytes converted from `charset` to UTF-8. Bytes that are not valid in
// that encoding become U+FFFD; nothing else is lost. Failure 5 for a charset
// iconv cannot convert from.
std::string ConvertToUtf8(std::string_view bytes, const std::string& charset);

// DetectCharset and ConvertToUtf8 together, without the byte order mark.
std::string DecodeHtmlFile(std::string_view bytes);

}  // namespace corabind::html
