#include "core/control_data.h"

namespace corabind {

namespace {
std::shared_ptr<Collection>& Use(std::shared_ptr<Collection>& slot) {
  if (!slot) slot = std::make_shared<Collection>();
  return slot;
}
}  // namespace

std::shared_ptr<Collection> ControlData::imageKeys() {
  return Use(imageKeys_);
}
std::shared_ptr<Collection> ControlData::imageValues() {
  return Use(imageValues_);
}

}  // namespace corabind
