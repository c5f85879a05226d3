#include "control/default_services.h"

#include <memory>

#include "platform/posix/path_map.h"
#include "platform/posix/posix_file_system.h"

namespace corabind {

Services DefaultServices() {
  Services services;
  services.files = std::make_shared<PosixFileSystem>(std::make_shared<const PathMap>());
  return services;
}

}  // namespace corabind
