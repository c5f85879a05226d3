// The fixed text of the multipart/related message GetImages returns.
#pragma once

#include <string_view>

namespace corabind {

// One boundary for every message; it is never compared with the content.
// Written once here and joined into the fixed texts below at compile time.
#define CORABIND_PART_BOUNDARY u"----=_NextPart_000_0019_01C11112.0DD79400"
inline constexpr std::u16string_view kPartBoundary = CORABIND_PART_BOUNDARY;

inline constexpr std::u16string_view kMessageHeader =
    u"MIME-Version: 1.0\r\n"
    u"Content-Type: multipart/related;\r\n"
    u"    type=\"multipart/alternative\";\r\n"
    u"    boundary = \"" CORABIND_PART_BOUNDARY u"\"\r\n"
    u"\r\n"
    u"This is a multi-part message in MIME format.\r\n"
    u"\r\n"
    u"--" CORABIND_PART_BOUNDARY u"\r\n"
    u"Content-Type: text/html;\r\n"
    u"    charset=\"ks_c_5601-1987\"\r\n"
    u"Content-Transfer-Encoding: 8bit\r\n"
    u"\r\n";

inline constexpr std::u16string_view kMessageEnd = u"--" CORABIND_PART_BOUNDARY u"--\r\n";
#undef CORABIND_PART_BOUNDARY

}  // namespace corabind
