// The outside component that reads a file and yields its base64 text. The
// message builder creates one per call, at the first resource part, through
// a factory; this platform's is in platform/posix.
#pragma once

#include <memory>
#include <string>

namespace corabind {

class Base64FileEncoder {
 public:
  virtual ~Base64FileEncoder() = default;
  // Reads and encodes the file at the control path `path`. The two flags are
  // passed as false, true by the message builder; their meaning is the
  // encoder's. Returns false when the file cannot be read.
  virtual bool EncodeFile(const std::u16string& path, bool flag1, bool flag2) = 0;
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
