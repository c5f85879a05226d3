// Kept apart from the encoder so that using the encoder alone does not pull
// in the path mapping.
#include "platform/posix/base64_file_encoder_posix.h"
#include "platform/posix/path_map.h"

namespace corabind {

HostPathResolver ResolveThrough(std::shared_ptr<const PathMap> paths) {
  return [paths = std::move(paths)](std::u16string_view control_path) {
    return paths->ToHost(control_path);
  };
}

}  // namespace corabind
