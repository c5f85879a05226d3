// The folder part of a control path, used as the base for the relative
// references of a document opened from that path.
#pragma once

#include <string>

namespace corabind {

// Everything up to and including the last backslash; "" when there is none.
// C:\mail\in\a.htm gives C:\mail\in\ and \\srv\share\a.htm gives \\srv\share\.
std::u16string FolderWithTrailingBackslash(const std::u16string& path);

}  // namespace corabind
