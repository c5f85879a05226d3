// This platform's Base64FileEncoder: reads a whole file named by a control
// path and gives its base64 text (RFC 2045) in lines of 76 characters
// separated by CR LF, with no line end after the last line.
//
// It is the one place where the control's message builder reads files, so
// the read policy (which folders may be embedded) is enforced here.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base64_file_encoder.h"
#include "platform/posix/read_policy.h"

namespace corabind {

class PathMap;

// Maps a control path to the host file it names; nullopt when it names none.
using HostPathResolver =
    std::function<std::optional<std::filesystem::path>(std::u16string_view control_path)>;
HostPathResolver ResolveThrough(std::shared_ptr<const PathMap> paths);

// Told of every file the encoder could not or would not read.
using ReadObserver =
    std::function<void(const std::u16string& control_path,
                       const std::optional<std::filesystem::path>& host_path, ReadProblem problem)>;

// Characters of the encoded text of `size` bytes, line ends included.
std::size_t Base64TextLength(std::size_t size);
// Writes exactly Base64TextLength(size) characters to `out`.
void EncodeBase64Lines(const unsigned char* data, std::size_t size, char16_t* out);

class PosixBase64FileEncoder : public Base64FileEncoder {
 public:
  PosixBase64FileEncoder(HostPathResolver resolve, std::shared_ptr<const ReadPolicy> policy,
                         ReadObserver observer);

  // Always raw bytes in lines of 76 characters, whatever is asked. False,
  // with empty text, when the file is missing, unreadable or refused.
  bool EncodeFile(const std::u16string& path, FileRead, Base64Lines) override;
  const std::u16string& EncodedText() const override { return text_; }
  void Clear() override { text_.clear(); }

 private:
  void Tell(const std::u16string& path, const std::optional<std::filesystem::path>& host,
            ReadProblem problem) const;

  HostPathResolver resolve_;
  std::shared_ptr<const ReadPolicy> policy_;
  ReadObserver observer_;
  std::string buffer_;  // kept between files of one message
  std::u16string text_;
};

class PosixBase64FileEncoderFactory : public Base64FileEncoderFactory {
 public:
  explicit PosixBase64FileEncoderFactory(HostPathResolver resolve,
                                         ReadPolicy policy = ReadPolicy::Unconfined(),
                                         ReadObserver observer = {});
  std::unique_ptr<Base64FileEncoder> Create() override;

 private:
  HostPathResolver resolve_;
  std::shared_ptr<const ReadPolicy> policy_;
  ReadObserver observer_;
};

}  // namespace corabind
