// The library's one public class. Its members are called by name through
// the dispatch interface (dispatch.h, members.cpp). Each member is defined
// in orvane_control.cpp as a call into its job: mime/ (GetImages and the
// collectors), fields/ (the form fields), flash/ and localfile/.
#pragma once

#include <memory>
#include <string>

#include "core/collection.h"
#include "core/control_data.h"
#include "core/library.h"
#include "core/variant.h"

namespace corabind {

class Element;
class Document;

class OrvaneControl {
 public:
  explicit OrvaneControl(Library& library) : data_(library) {}
  OrvaneControl(const OrvaneControl&) = delete;
  OrvaneControl& operator=(const OrvaneControl&) = delete;

  // --- The dispatch interface, in its order. -------------------------------
  // Reading gives the collection object itself; a never-used one is created
  // empty (and kept) on that first read.
  std::shared_ptr<Collection> imageKeys() { return data_.imageKeys(); }
  // Keeps the host's object; nullptr (Nothing) leaves the collection absent
  // until the next use creates a new empty one.
  void putref_imageKeys(std::shared_ptr<Collection> collection);
  std::shared_ptr<Collection> imageValues() { return data_.imageValues(); }
  void putref_imageValues(std::shared_ptr<Collection> collection);

  std::u16string LoadFlashTag();
  Variant SaveToLocal(const std::u16string& Source, const std::u16string& filename,
                      VariantBool saveas);
  std::u16string getBaseURL() const { return data_.getBaseURL(); }
  std::u16string GetLocalHTMLFile();
  std::u16string GetImages(const std::u16string& html, const std::shared_ptr<Element>& body,
                           const std::u16string& base, const std::shared_ptr<Document>& myDom,
                           // "debuging" (sic) is the parameter's name hosts use.
                           VariantBool getImage, VariantBool debuging = kFalse);
  Variant GetStyleSub(const std::shared_ptr<Element>& images);
  Variant GetFlashSub(const std::shared_ptr<Element>& images);
  Variant GetObjectFlashSub(const std::shared_ptr<Element>& images);
  Variant GetImagesSub(const std::shared_ptr<Element>& images);
  Variant InsertImageInfo(const std::u16string& key, const std::u16string& value);
  std::u16string ModifyFormField(const std::shared_ptr<Element>& htmlsrc,
                                 VariantBool debugging = kFalse);
  std::u16string SetFormField(const std::u16string& flag);

  // --- What the control keeps between calls. ------------------------------
  Library& library() const { return data_.library(); }
  ControlData& data() { return data_; }

 private:
  ControlData data_;
};

}  // namespace corabind
