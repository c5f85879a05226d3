// Whether a window shown here reaches a user, found out before Qt starts:
// Qt aborts the process when its display cannot be opened, and a platform
// such as offscreen draws windows nobody can answer, so a modal dialog
// would wait for ever.
#pragma once

#include <optional>
#include <string>

namespace corabind::qt {

// Why no dialog can be shown to a user; nullopt when one can. Follows
// QT_QPA_PLATFORM (its first platform): xcb needs an X server that accepts
// a connection, wayland a compositor socket that accepts one, offscreen and
// minimal show nothing; unset, Qt uses X. Other platforms (eglfs, linuxfb,
// vnc) are screens of their own and taken as usable.
std::optional<std::string> WhyNoDisplay();

}  // namespace corabind::qt
