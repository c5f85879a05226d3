// Plain text files and existence queries, over control paths (backslash
// separators, drive letters). platform/posix maps them onto the host.
#pragma once

#include <memory>
#include <string>

namespace corabind {

class TextReader {
 public:
  virtual ~TextReader() = default;
  virtual bool AtEnd() const = 0;
  // The characters up to the next CR or CR LF, without it. A lone LF stays
  // inside the line.
  virtual std::u16string ReadLine() = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Replaces the file at `path` with `text` followed by CR LF, in the
  // system's code set. Either the whole new file is in place or the old one
  // is untouched.
  virtual void WriteTextFile(const std::u16string& path, const std::u16string& text) = 0;
  virtual std::unique_ptr<TextReader> OpenTextFile(const std::u16string& path) = 0;
  // The name of the entry matching `path` when it is a plain file (not
  // hidden, not a folder or special file); "" otherwise.
  virtual std::u16string Dir(const std::u16string& path) = 0;
  virtual bool FileExists(const std::u16string& path) = 0;
};

}  // namespace corabind
