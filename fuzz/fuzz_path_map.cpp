// The path mapping: a control path never leads above its drive's folder, a
// host name survives the trip through the control, and a host path maps
// back to a control path or fails cleanly.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/failure.h"
#include "core/text.h"
#include "platform/posix/path_map.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace corabind;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  if (ControlNameToHost(HostNameToControl(bytes)) != bytes) std::abort();

  static const PathMap paths = [] {
    PathMap p;
    p.MapDrive(u'C', "/srv/mail");
    return p;
  }();
  std::u16string control(size / 2, u'\0');
  for (std::size_t i = 0; i + 1 < size; i += 2)
    control[i / 2] = char16_t(data[i] | data[i + 1] << 8);
  for (const std::u16string& path : {control, FromUtf8(bytes)}) {
    const auto host = paths.ToHost(path);
    if (!host) continue;
    const std::filesystem::path normal = host->lexically_normal();
    const bool on_c = path.size() >= 2 && (path[0] == u'C' || path[0] == u'c') && path[1] == u':';
    if (on_c && normal.native().rfind("/srv/mail", 0) != 0) std::abort();
    try {
      (void)paths.ToControl(*host);
    } catch (const Failure&) {
    }
  }
  return 0;
}
