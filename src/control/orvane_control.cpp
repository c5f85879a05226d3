#include "control/orvane_control.h"

namespace corabind {

OrvaneControl::OrvaneControl(Library& library) : library_(library) {}

namespace {
std::shared_ptr<Collection>& Use(std::shared_ptr<Collection>& slot) {
  if (!slot) slot = std::make_shared<Collection>();
  return slot;
}
}  // namespace

std::shared_ptr<Collection> OrvaneControl::imageKeys() {
  return Use(imageKeys_);
}
std::shared_ptr<Collection> OrvaneControl::imageValues() {
  return Use(imageValues_);
}
void OrvaneControl::putref_imageKeys(std::shared_ptr<Collection> c) {
  imageKeys_ = std::move(c);
}
void OrvaneControl::putref_imageValues(std::shared_ptr<Collection> c) {
  imageValues_ = std::move(c);
}

Variant OrvaneControl::InsertImageInfo(const std::u16string& key, const std::u16string& value) {
  // The first value given for a key wins. The index answers exactly what a
  // scan of every item would.
  if (!Use(imageKeys_)->ContainsText(key)) {
    imageKeys_->Add(key);
    Use(imageValues_)->Add(value);
  }
  return {};
}

}  // namespace corabind
