// The mail composition job: the members GetImages, its four collectors and
// InsertImageInfo, as OrvaneControl calls them with its own data.
#pragma once

#include <memory>
#include <string>

#include "core/control_data.h"
#include "core/variant.h"

namespace corabind {
class Element;
class Document;
}  // namespace corabind

namespace corabind::mime {

std::u16string GetImages(ControlData& control, const std::u16string& html,
                         const std::shared_ptr<Element>& body, const std::u16string& base,
                         const std::shared_ptr<Document>& myDom, VariantBool debuging);
Variant GetImagesSub(ControlData& control, const std::shared_ptr<Element>& images);
Variant GetFlashSub(ControlData& control, const std::shared_ptr<Element>& images);
Variant GetStyleSub(ControlData& control, const std::shared_ptr<Element>& images);
Variant GetObjectFlashSub(ControlData& control, const std::shared_ptr<Element>& images);
// The first value given for a key wins.
void InsertImageInfo(ControlData& control, const std::u16string& key, const std::u16string& value);

}  // namespace corabind::mime
