// What one control keeps between calls, handed to the job that carries out
// a member: the image collections, the attributes GetImagesSub reads, the
// base folder of relative references and the file dialog of save and open.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "core/collection.h"
#include "core/desktop.h"
#include "core/library.h"

namespace corabind {

class ControlData {
 public:
  explicit ControlData(Library& library) : library_(library) {}
  ControlData(const ControlData&) = delete;
  ControlData& operator=(const ControlData&) = delete;

  Library& library() const { return library_; }

  // A never-used collection is created empty (and kept) on its first read.
  std::shared_ptr<Collection> imageKeys();
  std::shared_ptr<Collection> imageValues();
  // Nothing (nullptr) leaves the collection absent until its next use.
  void putref_imageKeys(std::shared_ptr<Collection> c) { imageKeys_ = std::move(c); }
  void putref_imageValues(std::shared_ptr<Collection> c) { imageValues_ = std::move(c); }

  std::array<std::u16string, 3>& imageAttributes() { return imageAttributes_; }
  const std::u16string& getBaseURL() const { return baseURL_; }
  void set_baseURL(std::u16string base) { baseURL_ = std::move(base); }
  // Keeps its settings for the life of the control.
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
