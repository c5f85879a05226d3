#include "control/default_services.h"

#include "platform/posix/base64_file_encoder_posix.h"

namespace corabind {

Services DefaultServices() {
  Services services;
  services.encoders = DefaultBase64FileEncoders();
  return services;
}

}  // namespace corabind
