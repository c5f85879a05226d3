// References as browsers read them, for the mail writer: percent-encoded
// names, file: URLs and data: URLs. The control's own GetImages reads
// references as they are written, so none of this reaches it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corabind::mail {

// The local file a reference names, as control paths: `literal` read as the
// control reads it, `decoded` as a browser does (query and fragment cut off,
// percent-escapes undone) when that is another path. Nothing for a remote
// or inline resource, or a file: URL naming another host.
struct NamedFile {
  std::u16string literal;
  std::optional<std::u16string> decoded;
};
std::optional<NamedFile> NamedFileOf(std::u16string_view src, std::u16string_view base);

// `text` with its percent-escapes undone, or nothing when the result cannot
// be a file name: a NUL or other control character, or bytes that are not
// UTF-8. A '%' not followed by two hex digits stays as it is, as browsers
// leave it.
std::optional<std::string> PercentDecoded(std::string_view text);

bool IsDataUrl(std::string_view text);

// A data: URL (RFC 2397) taken apart, its data not yet decoded.
struct DataUrl {
  std::string type, subtype;  // lower case; text/plain when none is given
  bool base64 = false;
  std::string_view data;  // everything after the comma, as written
};

// Nothing when `url` is malformed: no comma, a media type that is not
// type/subtype, a base64 body that does not decode, or a bad percent-escape.
std::optional<DataUrl> ParseDataUrl(std::string_view url);

// The bytes of a data URL's body. For base64 the result is still base64
// (percent-escapes undone), to be decoded as it is written out.
std::string DataUrlBody(const DataUrl& url);

}  // namespace corabind::mail
