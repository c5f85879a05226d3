// The composed message as bytes of the charset the mail is sent in.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace corabind::cli {

struct EncodedMessage {
  std::string bytes;
  // Zero-based index of the first character the charset cannot represent;
  // `bytes` is then empty.
  std::optional<std::size_t> unrepresentable;
};

// Failure 5 naming the charset when iconv does not know it. Charsets that
// keep ASCII as it is and need no shift states take the (mostly base64)
// ASCII runs of the message without a trip through iconv.
EncodedMessage EncodeMessage(std::u16string_view message, const std::string& charset);

}  // namespace corabind::cli
