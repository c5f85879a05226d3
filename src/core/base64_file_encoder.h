// The outside component that reads a file and yields its base64 text. The
// message builder creates one per call, at the first resource part, through
// a factory; this platform's is in platform/posix.
#pragma once

#include <memory>
#include <string>

namespace corabind {

// The two options of an encode. The message builder always asks for the
// file's raw bytes in lines of 76 characters (the encoder's flags false,
// true); an encoder may offer nothing else.
enum class FileRead : bool { kBinary = false, kText = true };
enum class Base64Lines : bool { kOneLine = false, kBrokenAt76 = true };

class Base64FileEncoder {
 public:
  virtual ~Base64FileEncoder() = default;
  // Reads and encodes the file at the control path `path`. Returns false
  // when the file cannot be read.
  virtual bool EncodeFile(const std::u16string& path, FileRead read, Base64Lines lines) = 0;
  // The base64 (RFC 2045) text of the last file encoded.
  virtual const std::u16string& EncodedText() const = 0;
  virtual void Clear() = 0;
};

class Base64FileEncoderFactory {
 public:
  virtual ~Base64FileEncoderFactory() = default;
  // Throws Failure when no encoder can be created.
  virtual std::unique_ptr<Base64FileEncoder> Create() = 0;
};

}  // namespace corabind
