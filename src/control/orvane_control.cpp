// Each member of the class, as a call into the job that carries it out.
#include "control/orvane_control.h"

#include "fields/fields.h"
#include "flash/flash.h"
#include "localfile/localfile.h"
#include "mime/mime.h"

namespace corabind {

void OrvaneControl::putref_imageKeys(std::shared_ptr<Collection> c) {
  data_.putref_imageKeys(std::move(c));
}
void OrvaneControl::putref_imageValues(std::shared_ptr<Collection> c) {
  data_.putref_imageValues(std::move(c));
}

std::u16string OrvaneControl::LoadFlashTag() {
  return flash::LoadFlashTag(data_.library());
}

Variant OrvaneControl::SaveToLocal(const std::u16string& Source, const std::u16string& filename,
                                   VariantBool saveas) {
  return localfile::SaveToLocal(data_, Source, filename, saveas);
}

std::u16string OrvaneControl::GetLocalHTMLFile() {
  return localfile::GetLocalHTMLFile(data_);
}

std::u16string OrvaneControl::GetImages(const std::u16string& html,
                                        const std::shared_ptr<Element>& body,
                                        const std::u16string& base,
                                        const std::shared_ptr<Document>& myDom,
                                        VariantBool /*getImage: accepted, changes nothing*/,
                                        VariantBool debuging) {
  return mime::GetImages(data_, html, body, base, myDom, debuging);
}

Variant OrvaneControl::GetStyleSub(const std::shared_ptr<Element>& images) {
  return mime::GetStyleSub(data_, images);
}
Variant OrvaneControl::GetFlashSub(const std::shared_ptr<Element>& images) {
  return mime::GetFlashSub(data_, images);
}
Variant OrvaneControl::GetObjectFlashSub(const std::shared_ptr<Element>& images) {
  return mime::GetObjectFlashSub(data_, images);
}
Variant OrvaneControl::GetImagesSub(const std::shared_ptr<Element>& images) {
  return mime::GetImagesSub(data_, images);
}

Variant OrvaneControl::InsertImageInfo(const std::u16string& key, const std::u16string& value) {
  mime::InsertImageInfo(data_, key, value);
  return {};
}

std::u16string OrvaneControl::ModifyFormField(const std::shared_ptr<Element>& htmlsrc,
                                              VariantBool debugging) {
  return fields::ModifyFormField(data_.library(), htmlsrc, debugging);
}

std::u16string OrvaneControl::SetFormField(const std::u16string& flag) {
  return fields::SetFormField(data_.library(), flag);
}

}  // namespace corabind
