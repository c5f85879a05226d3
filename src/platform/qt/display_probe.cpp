#include "platform/qt/display_probe.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace corabind::qt {

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The whole handshake, authorisation included, as Qt's xcb platform does.
std::optional<std::string> ProbeX() {
  const std::string display = Env("DISPLAY");
  if (display.empty()) {
    std::string why = "no display: DISPLAY is not set";
    if (!Env("WAYLAND_DISPLAY").empty())
      why += " (for Wayland alone, set QT_QPA_PLATFORM=wayland with Qt's Wayland plugin)";
    return why;
  }
  xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
  const int error = xcb_connection_has_error(connection);
  xcb_disconnect(connection);
  if (error != 0) {
    const char* why = error == XCB_CONN_ERROR              ? "no X server accepted the connection"
                      : error == XCB_CONN_CLOSED_PARSE_ERR ? "not a display name"
                      : error == XCB_CONN_CLOSED_INVALID_SCREEN ? "no such screen"
                                                                : "the connection failed";
    return "cannot open the X display DISPLAY=" + display + " (" + why + ")";
  }
  return std::nullopt;
}

std::optional<std::string> ProbeWayland() {
  const std::string name = Env("WAYLAND_DISPLAY");
  if (name.empty()) return "no display: WAYLAND_DISPLAY is not set";
  const std::string path = name.front() == '/' ? name : Env("XDG_RUNTIME_DIR") + "/" + name;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return "the Wayland socket path is too long";
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::string("cannot make a socket: ") + std::strerror(errno);
  const int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  const int error = errno;
  ::close(fd);
  if (result != 0)
    return "cannot connect to the Wayland display " + path + ": " + std::strerror(error);
  return std::nullopt;
}

}  // namespace

std::optional<std::string> WhyNoDisplay() {
  const std::string setting = Env("QT_QPA_PLATFORM");
  const std::string platform = setting.substr(0, setting.find_first_of(";:"));
  if (platform.empty() || platform == "xcb") return ProbeX();
  if (platform.starts_with("wayland")) return ProbeWayland();
  if (platform == "offscreen" || platform == "minimal" || platform == "minimalegl")
    return "QT_QPA_PLATFORM=" + setting + " shows no window a user could answer";
  return std::nullopt;
}

}  // namespace corabind::qt
