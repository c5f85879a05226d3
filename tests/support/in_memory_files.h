// A file system held in memory, keyed by control path, for tests that need
// to see exactly what was written or to make a file operation fail.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "control/failure.h"
#include "control/files.h"

namespace corabind::testing {

class InMemoryFiles : public FileSystem {
 public:
  // Raw file contents, line ends as stored.
  std::map<std::u16string, std::u16string> files;
  bool fail_writes = false;
  bool fail_reads = false;

  void WriteTextFile(const std::u16string& path, const std::u16string& text) override {
    if (fail_writes) throw Failure(err::kPermissionDenied, u"Permission denied");
    files[path] = text + u"\r\n";
  }

  std::unique_ptr<TextReader> OpenTextFile(const std::u16string& path) override {
    const auto it = files.find(path);
    if (it == files.end()) throw Failure(err::kFileNotFound, u"File not found");
    if (fail_reads) throw Failure(err::kDeviceIo, u"Device I/O error");
    return std::make_unique<Reader>(it->second);
  }

  std::u16string Dir(const std::u16string& path) override {
    if (!files.contains(path)) return {};
    return path.substr(path.rfind(u'\\') + 1);
  }

  bool FileExists(const std::u16string& path) override { return files.contains(path); }

 private:
  class Reader : public TextReader {
   public:
    explicit Reader(std::u16string content) : content_(std::move(content)) {}
    bool AtEnd() const override { return pos_ >= content_.size(); }
    std::u16string ReadLine() override {
      const auto cr = content_.find(u'\r', pos_);
      const auto end = cr == std::u16string::npos ? content_.size() : cr;
      std::u16string line = content_.substr(pos_, end - pos_);
      pos_ = end;
      if (pos_ < content_.size()) ++pos_;
      if (pos_ < content_.size() && content_[pos_] == u'\n' && cr != std::u16string::npos) ++pos_;
      return line;
    }

   private:
    std::u16string content_;
    std::size_t pos_ = 0;
  };
};

}  // namespace corabind::testing
