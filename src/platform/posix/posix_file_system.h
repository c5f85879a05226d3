// The control's text files on a POSIX host: control paths go through a
// PathMap; text is written in the code set (the locale's by default).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "core/files.h"
#include "platform/posix/atomic_output.h"
#include "platform/posix/code_set.h"
#include "platform/posix/path_map.h"

namespace corabind {

// The largest text file read (as a page, say): 256 MiB, some 512 MB of text
// once decoded. Larger is failure 14 (out of string space).
inline constexpr std::size_t kMaxTextFileBytes = std::size_t{256} << 20;

class PosixFileSystem : public FileSystem {
 public:
  // `code_set` names the code set of the files as iconv knows it; failure 5
  // when iconv cannot convert it.
  explicit PosixFileSystem(std::shared_ptr<const PathMap> paths,
                           std::string code_set = CodeSet::LocaleName(),
                           DiskCalls calls = DiskCalls::System());

  // Converts all of the text first (failure 5 naming the first character
  // the code set cannot hold, nothing touched), then replaces the file as
  // AtomicOutput does: on any failure the old file is as it was and no
  // temporary is left; a folder, device or read-only file is failure 70.
  void WriteTextFile(const std::u16string& path, const std::u16string& text) override;
  // Reads the whole plain file and decodes it as the platform's text reader
  // does: by its byte order mark (UTF-8, UTF-16 LE or BE), else as UTF-8
  // when valid, else as CP949. Failure 5 naming the offset of a byte valid
  // in none of them: nothing is replaced. Failure 53 for a missing file, 70 for a folder or special
  // file (a FIFO or device is never waited on), 14 past kMaxTextFileBytes.
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
