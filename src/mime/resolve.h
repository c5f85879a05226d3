// Turning the references a document makes into local paths, and cutting the
// file name off a path. Private routines of the control: the collectors and
// the message builder use them; the dispatch interface does not reach them.
#pragma once

#include <string>
#include <string_view>

namespace corabind {

class ControlData;

// Registers (key, local path) through InsertImageInfo when `src` names a
// local file; references to anything else register nothing. The key is
// registered unchanged. Paths use backslashes and drive letters.
void ResolveImageInfo(ControlData& control, const std::u16string& src, const std::u16string& key);

// Everything after the last backslash of `path`; "" when there is none.
std::u16string GetFileName(std::u16string_view path);

// True when `text` opens with an RFC 3986 scheme of two or more characters
// and its colon ("https:", "data:", "cid:"). A single letter and a colon is a
// drive, not a scheme.
bool StartsWithUrlScheme(std::u16string_view text);

}  // namespace corabind
