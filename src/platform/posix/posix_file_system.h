// The control's text files on a POSIX host: control paths go through a
// PathMap, text through the code set (the locale's by default).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "core/files.h"
#include "platform/posix/code_set.h"
#include "platform/posix/path_map.h"

namespace corabind {

// The system calls that put a new file on the disk. Tests replace them to
// make a write fail part-way; the defaults are the real calls.
struct DiskCalls {
  std::function<ssize_t(int fd, const void* data, std::size_t size)> write;
  std::function<int(int fd)> fsync;
  std::function<int(const char* from, const char* to)> rename;

  static DiskCalls System();
};

class PosixFileSystem : public FileSystem {
 public:
  // `code_set` names the code set of the files as iconv knows it; failure 5
  // when iconv cannot convert it.
  explicit PosixFileSystem(std::shared_ptr<const PathMap> paths,
                           std::string code_set = CodeSet::LocaleName(),
                           DiskCalls calls = DiskCalls::System());

  // Converts all of the text first (failure 5 naming the first character
  // the code set cannot hold, nothing touched), then writes a temporary file
  // next to the target, flushes it to the disk and renames it over the
  // target. On any failure the old file is as it was and no temporary is
  // left. An existing file keeps its permission bits (and, where allowed,
  // owner); a new one gets 0666 less the umask. Only plain files are
  // replaced: a folder or device at the path is failure 70.
  void WriteTextFile(const std::u16string& path, const std::u16string& text) override;
  // Reads the whole plain file and decodes it (invalid bytes become U+FFFD).
  // Failure 53 for a missing file, 70 for a folder or special file.
  std::unique_ptr<TextReader> OpenTextFile(const std::u16string& path) override;
  std::u16string Dir(const std::u16string& path) override;
  bool FileExists(const std::u16string& path) override;

  const CodeSet& code_set() const { return code_set_; }

 private:
  std::shared_ptr<const PathMap> paths_;
  CodeSet code_set_;
  DiskCalls calls_;
};

}  // namespace corabind
