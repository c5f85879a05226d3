// The composed message as bytes of the charset the mail is sent in.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace corabind::cli {

// Hands the bytes of `message` in `charset` to `sink`, piece by piece, so a
// message of many large parts is never held twice. Returns the zero-based
// index of the first character the charset cannot represent (the sink has
// then seen only the bytes before it), nullopt when all of it converted.
// Failure 5 naming the charset when iconv does not know it. Charsets that
// keep ASCII as it is and need no shift states take the (mostly base64)
// ASCII runs without a trip through iconv.
std::optional<std::size_t> EncodeMessage(std::u16string_view message, const std::string& charset,
                                         const std::function<void(std::string_view)>& sink);

}  // namespace corabind::cli
