// The fixed text of the multipart/related message GetImages returns.
#pragma once

#include <string_view>

namespace corabind {

// One boundary for every message; it is never compared with the content.
inline constexpr std::u16string_view kPartBoundary = u"----=_NextPart_000_0019_01C11112.0DD79400";

inline constexpr std::u16string_view kMessageHeader =
    u"MIME-Version: 1.0\r\n"
    u"Content-Type: multipart/related;\r\n"
    u"    type=\"multipart/alternative\";\r\n"
    u"    boundary = \"----=_NextPart_000_0019_01C11112.0DD79400\"\r\n"
    u"\r\n"
    u"This is a multi-part message in MIME format.\r\n"
    u"\r\n"
    u"------=_NextPart_000_0019_01C11112.0DD79400\r\n"
    u"Content-Type: text/html;\r\n"
    u"    charset=\"ks_c_5601-1987\"\r\n"
    u"Content-Transfer-Encoding: 8bit\r\n"
    u"\r\n";

inline constexpr std::u16string_view kMessageEnd =
    u"------=_NextPart_000_0019_01C11112.0DD79400--\r\n";

}  // namespace corabind
