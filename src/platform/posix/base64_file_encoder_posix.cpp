#include "platform/posix/base64_file_encoder_posix.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace corabind {

namespace fs = std::filesystem;

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kLineBytes = 57;  // 76 characters of text

// Two output characters for every 12 input bits: one lookup per half group.
struct CharPair {
  char16_t first, second;
};
constexpr std::array<CharPair, 4096> MakePairs() {
  std::array<CharPair, 4096> pairs{};
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    pairs[i] = {static_cast<char16_t>(kAlphabet[i >> 6]), static_cast<char16_t>(kAlphabet[i & 63])};
  }
  return pairs;
}
constexpr std::array<CharPair, 4096> kPairs = MakePairs();

inline char16_t* EncodeGroups(const unsigned char* in, std::size_t groups, char16_t* out) {
  for (std::size_t g = 0; g < groups; ++g, in += 3, out += 4) {
    const std::uint32_t v = (std::uint32_t{in[0]} << 16) | (std::uint32_t{in[1]} << 8) | in[2];
    std::memcpy(out, &kPairs[v >> 12], sizeof(CharPair));
    std::memcpy(out + 2, &kPairs[v & 0xFFF], sizeof(CharPair));
  }
  return out;
}

}  // namespace

std::size_t Base64TextLength(std::size_t size) {
  if (size == 0) return 0;
  const std::size_t lines = (size + kLineBytes - 1) / kLineBytes;
  return (size + 2) / 3 * 4 + 2 * (lines - 1);
}

void EncodeBase64Lines(const unsigned char* data, std::size_t size, char16_t* out) {
  const std::size_t full_lines = size / kLineBytes;
  for (std::size_t line = 0; line < full_lines; ++line) {
    if (line != 0) {
      *out++ = u'\r';
      *out++ = u'\n';
    }
    out = EncodeGroups(data, kLineBytes / 3, out);
    data += kLineBytes;
  }
  const std::size_t rest = size % kLineBytes;
  if (rest == 0) return;
  if (full_lines != 0) {
    *out++ = u'\r';
    *out++ = u'\n';
  }
  out = EncodeGroups(data, rest / 3, out);
  data += rest / 3 * 3;
  switch (rest % 3) {
    case 1:
      *out++ = static_cast<char16_t>(kAlphabet[data[0] >> 2]);
      *out++ = static_cast<char16_t>(kAlphabet[(data[0] & 3) << 4]);
      *out++ = u'=';
      *out++ = u'=';
      break;
    case 2:
      *out++ = static_cast<char16_t>(kAlphabet[data[0] >> 2]);
      *out++ = static_cast<char16_t>(kAlphabet[((data[0] & 3) << 4) | (data[1] >> 4)]);
      *out++ = static_cast<char16_t>(kAlphabet[(data[1] & 15) << 2]);
      *out++ = u'=';
      break;
    default:
      break;
  }
}

PosixBase64FileEncoder::PosixBase64FileEncoder(HostPathResolver resolve,
                                               std::shared_ptr<const ReadPolicy> policy,
                                               ReadObserver observer)
    : resolve_(std::move(resolve)), policy_(std::move(policy)), observer_(std::move(observer)) {}

void PosixBase64FileEncoder::Tell(const std::u16string& path, const std::optional<fs::path>& host,
                                  ReadProblem problem) const {
  if (observer_) observer_(path, host, problem);
}

bool PosixBase64FileEncoder::EncodeFile(const std::u16string& path, FileRead, Base64Lines) {
  text_.clear();
  const std::optional<fs::path> host = resolve_ ? resolve_(path) : std::nullopt;
  if (!host) {
    Tell(path, host, ReadProblem::kNotFound);
    return false;
  }
  const OpenedFile file = policy_->Open(*host);
  if (file.problem) {
    Tell(path, host, *file.problem);
    return false;
  }
  if (!ReadWhole(file.fd.get(), static_cast<std::size_t>(file.info.st_size), buffer_)) {
    Tell(path, host, ReadProblem::kUnreadable);
    return false;
  }
  text_.resize(Base64TextLength(buffer_.size()));
  EncodeBase64Lines(reinterpret_cast<const unsigned char*>(buffer_.data()), buffer_.size(),
                    text_.data());
  return true;
}

PosixBase64FileEncoderFactory::PosixBase64FileEncoderFactory(HostPathResolver resolve,
                                                             ReadPolicy policy,
                                                             ReadObserver observer)
    : resolve_(std::move(resolve)),
      policy_(std::make_shared<const ReadPolicy>(std::move(policy))),
      observer_(std::move(observer)) {}

std::unique_ptr<Base64FileEncoder> PosixBase64FileEncoderFactory::Create() {
  return std::make_unique<PosixBase64FileEncoder>(resolve_, policy_, observer_);
}

}  // namespace corabind
