#include "server/default_services.h"

#include <memory>

#include "platform/posix/base64_file_encoder_posix.h"
#include "platform/posix/path_map.h"
#include "platform/posix/posix_file_system.h"

namespace corabind {

Services DefaultServices() {
  Services services;
  const auto paths = std::make_shared<const PathMap>();
  services.files = std::make_shared<PosixFileSystem>(paths);
  services.encoders = std::make_shared<PosixBase64FileEncoderFactory>(ResolveThrough(paths));
  return services;
}

}  // namespace corabind
