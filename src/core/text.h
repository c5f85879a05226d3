// Text helpers. The control's text is UTF-16 (std::u16string); conversion to
// and from UTF-8 happens only at the edges (files, command line, JSON).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corabind {

// Invalid UTF-8 sequences become U+FFFD (WHATWG Encoding, "UTF-8 decode").
std::u16string FromUtf8(std::string_view utf8);
// Where the first sequence FromUtf8 would replace begins; nullopt when the
// whole is well-formed UTF-8.
std::optional<std::size_t> FindInvalidUtf8(std::string_view utf8);
// Whether a charset name ("UTF-8", "utf8", in any case) names UTF-8 itself,
// so that text in it needs checking but no converting.
bool NamesUtf8(std::string_view charset);
// Unpaired surrogates become U+FFFD.
std::string ToUtf8(std::u16string_view text);

// Upper/lower case of ASCII letters only; other characters are unchanged.
std::u16string AsciiUpper(std::u16string_view text);
std::u16string AsciiLower(std::u16string_view text);
bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b);
bool StartsWithIgnoringAsciiCase(std::u16string_view text, std::u16string_view prefix);

// Decimal text of an integer, "-" before negative numbers.
std::u16string DecimalText(std::int64_t value);

// `text` with every byte but those in `keep` written %XX (upper-case hex).
std::string PercentEscaped(std::string_view text, std::string_view keep);
// `text` with its %XX escapes undone. A '%' not followed by two hex digits
// stays as it is, or, when `strict`, gives nothing.
std::optional<std::string> PercentUnescaped(std::string_view text, bool strict);

}  // namespace corabind
