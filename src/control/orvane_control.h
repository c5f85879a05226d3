// The library's one public class. Its members are called by name through
// the dispatch interface (dispatch.h); each job's members are defined in its
// own subsystem folder (mime/, fields/, flash/, localfile/).
#pragma once

#include <array>
#include <memory>
#include <string>

#include "core/collection.h"
#include "core/desktop.h"
#include "core/library.h"
#include "core/variant.h"

namespace corabind {

class Element;
class Document;

class OrvaneControl {
 public:
  explicit OrvaneControl(Library& library);
  OrvaneControl(const OrvaneControl&) = delete;
  OrvaneControl& operator=(const OrvaneControl&) = delete;

  // --- The dispatch interface, in its order. -------------------------------
  // Reading gives the collection object itself; a never-used one is created
  // empty (and kept) on that first read.
  std::shared_ptr<Collection> imageKeys();
  // Keeps the host's object; nullptr (Nothing) leaves the collection absent
  // until the next use creates a new empty one.
  void putref_imageKeys(std::shared_ptr<Collection> collection);
  std::shared_ptr<Collection> imageValues();
  void putref_imageValues(std::shared_ptr<Collection> collection);

  std::u16string LoadFlashTag();
  Variant SaveToLocal(const std::u16string& Source, const std::u16string& filename,
                      VariantBool saveas);
  std::u16string getBaseURL() const { return baseURL_; }
  std::u16string GetLocalHTMLFile();
  std::u16string GetImages(const std::u16string& html, const std::shared_ptr<Element>& body,
                           const std::u16string& base, const std::shared_ptr<Document>& myDom,
                           VariantBool getImage, VariantBool debuging = kFalse);
  Variant GetStyleSub(const std::shared_ptr<Element>& images);
  Variant GetFlashSub(const std::shared_ptr<Element>& images);
  Variant GetObjectFlashSub(const std::shared_ptr<Element>& images);
  Variant GetImagesSub(const std::shared_ptr<Element>& images);
  Variant InsertImageInfo(const std::u16string& key, const std::u16string& value);
  std::u16string ModifyFormField(const std::shared_ptr<Element>& htmlsrc,
                                 VariantBool debugging = kFalse);
  std::u16string SetFormField(const std::u16string& flag);

  // --- The control's own data, for its subsystems. -------------------------
  Library& library() const { return library_; }
  std::array<std::u16string, 3>& imageAttributes() { return imageAttributes_; }
  void set_baseURL(std::u16string base) { baseURL_ = std::move(base); }
  // The file dialog component used by save and open; it keeps its settings
  // for the life of the control.
  FileDialog& file_dialog() { return file_dialog_; }

 private:
  Library& library_;
  std::shared_ptr<Collection> imageKeys_;
  std::shared_ptr<Collection> imageValues_;
  std::array<std::u16string, 3> imageAttributes_;
  std::u16string baseURL_;
  FileDialog file_dialog_;
};

}  // namespace corabind
