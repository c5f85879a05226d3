#include "platform/posix/base64_file_encoder_posix.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace corabind {

namespace fs = std::filesystem;

ReadPolicy ReadPolicy::ConfinedTo(const std::vector<fs::path>& folders) {
  ReadPolicy policy;
  policy.confined_ = true;
  for (const fs::path& folder : folders) {
    std::error_code ec;
    fs::path root = fs::canonical(folder, ec);
    if (!ec) policy.roots_.push_back(std::move(root));
  }
  return policy;
}

const fs::path* ReadPolicy::RootFor(const fs::path& file) const {
  for (const fs::path& root : roots_) {
    // Compared component by component: /mail does not hold /mailbox/a.gif.
    auto [r, f] = std::mismatch(root.begin(), root.end(), file.begin(), file.end());
    if (r == root.end() || (std::next(r) == root.end() && r->empty())) return &root;
  }
  return nullptr;
}

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

namespace {

// Closes the descriptor on every way out.
struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

// The whole file into `buffer` (resized to its length); false on a read error.
bool ReadWhole(int fd, std::size_t expected, std::vector<unsigned char>& buffer) {
  buffer.resize(std::max<std::size_t>(expected, 1) + 1);
  std::size_t used = 0;
  for (;;) {
    if (used == buffer.size()) buffer.resize(buffer.size() * 2);
    const ssize_t got = ::read(fd, buffer.data() + used, buffer.size() - used);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) break;
    used += static_cast<std::size_t>(got);
  }
  buffer.resize(used);
  return true;
}

// Never blocks on a FIFO or device put where a file was, never follows a
// link in the last component.
constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW;

// Opens `relative` (canonical, so free of links and "..") below the folder
// `root` without following any link: the file opened is the one that was
// checked, even when a folder on the way is swapped for a link meanwhile.
int OpenBeneath(const fs::path& root, const fs::path& relative) {
  Descriptor dir{::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)};
  if (dir.fd < 0) return -1;
  open_how how{};
  how.flags = kReadFlags;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  const long fd = ::syscall(SYS_openat2, dir.fd, relative.c_str(), &how, sizeof how);
  if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) return static_cast<int>(fd);
  // A kernel without openat2 (or a filter that forbids it): one component
  // at a time, none of them followed if it is a link.
  int at = ::dup(dir.fd);
  for (auto it = relative.begin(); at >= 0 && it != relative.end();) {
    const fs::path& name = *it;
    const bool last = ++it == relative.end();
    const int next = ::openat(at, name.c_str(),
                              last ? kReadFlags : O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    ::close(at);
    at = next;
  }
  return at;
}

}  // namespace

bool PosixBase64FileEncoder::EncodeFile(const std::u16string& path, FileRead, Base64Lines) {
  text_.clear();
  const std::optional<fs::path> host = resolve_ ? resolve_(path) : std::nullopt;
  if (!host) {
    Tell(path, host, ReadProblem::kNotFound);
    return false;
  }
  std::error_code ec;
  const fs::path real = fs::canonical(*host, ec);
  if (ec || !fs::is_regular_file(real, ec)) {
    Tell(path, host, ReadProblem::kNotFound);
    return false;
  }
  const fs::path* root = policy_->RootFor(real);
  if (policy_->confined() && root == nullptr) {
    Tell(path, host, ReadProblem::kRefused);
    return false;
  }
  Descriptor file{root != nullptr ? OpenBeneath(*root, real.lexically_relative(*root))
                                  : ::open(real.c_str(), kReadFlags)};
  struct stat info {};
  if (file.fd < 0 || ::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode) ||
      !ReadWhole(file.fd, static_cast<std::size_t>(info.st_size), buffer_)) {
    Tell(path, host, ReadProblem::kUnreadable);
    return false;
  }
  text_.resize(Base64TextLength(buffer_.size()));
  EncodeBase64Lines(buffer_.data(), buffer_.size(), text_.data());
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
