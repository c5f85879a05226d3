// WHATWG HTML "rules for parsing integers"
// (https://html.spec.whatwg.org/multipage/common-microsyntaxes.html#rules-for-parsing-integers).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace corabind::html {

// Leading ASCII whitespace and one sign are allowed, digits are required and
// anything after them is ignored ("12px" is 12). A value outside the 32-bit
// range is an error like any other text that is not a number: the model has
// no number to give for it.
std::optional<std::int32_t> ParseHtmlInteger(std::u16string_view text);

}  // namespace corabind::html
