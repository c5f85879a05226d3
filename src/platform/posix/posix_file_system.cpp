#include "platform/posix/posix_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <system_error>

#include "core/failure.h"
#include "core/text.h"
#include "platform/posix/unique_fd.h"

namespace corabind {
namespace fs = std::filesystem;

namespace {

// Reading beyond the last line; the number a script host reports for it.
constexpr std::int32_t kInputPastEndOfFile = 62;

Failure NotAPlainFile(const struct stat& info, const std::u16string& doing,
                      const std::u16string& path) {
  return Failure(err::kPermissionDenied,
                 doing + u" " + path + u": it is " +
                     (S_ISDIR(info.st_mode) ? u"a folder" : u"not a plain file"));
}

// Lines end at CR or CR LF; a lone LF belongs to its line.
class LineReader : public TextReader {
 public:
  explicit LineReader(std::u16string text) : text_(std::move(text)) {}

  bool AtEnd() const override { return position_ >= text_.size(); }

  std::u16string ReadLine() override {
    if (AtEnd()) throw Failure(kInputPastEndOfFile, u"Input past end of file");
    std::size_t end = text_.find(u'\r', position_);
    if (end == std::u16string::npos) end = text_.size();
    std::u16string line = text_.substr(position_, end - position_);
    position_ = end + 1;
    if (position_ < text_.size() && text_[position_] == u'\n') ++position_;
    return line;
  }

 private:
  std::u16string text_;
  std::size_t position_ = 0;
};

// A file without a byte order mark that is not valid UTF-8 is read in this
// code page: the one the control's mail layout labels its text with.
constexpr char kFallbackCodePage[] = "CP949";

std::u16string Utf16Units(std::string_view bytes, bool big_endian) {
  std::u16string text(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto first = static_cast<unsigned char>(bytes[2 * i]),
               second = static_cast<unsigned char>(bytes[2 * i + 1]);
    text[i] = static_cast<char16_t>(big_endian ? first << 8 | second : second << 8 | first);
  }
  return text;
}

// The file's text as the platform's text reader takes it: a byte order mark
// (UTF-8, UTF-16 LE or BE) decides; without one the bytes are UTF-8 when
// they are valid UTF-8, else the fallback code page. Nothing is ever
// replaced: a byte valid in none of them fails, naming its offset.
std::u16string DecodeTextFile(std::string_view bytes, const std::u16string& path) {
  const auto invalid_at = [&](std::size_t offset, const std::u16string& as) {
    return Failure(err::kInvalidCall, u"Cannot read " + path + u": the byte at offset " +
                                          DecimalText(static_cast<std::int64_t>(offset)) +
                                          u" is not valid " + as);
  };
  for (const bool big_endian : {false, true}) {
    if (bytes.starts_with(big_endian ? "\xFE\xFF" : "\xFF\xFE")) {
      if (bytes.size() % 2 != 0) throw invalid_at(bytes.size() - 1, u"UTF-16 (an odd byte)");
      return Utf16Units(bytes.substr(2), big_endian);
    }
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    const std::string_view rest = bytes.substr(3);
    if (const auto bad = FindInvalidUtf8(rest)) throw invalid_at(3 + *bad, u"UTF-8");
    return FromUtf8(rest);
  }
  if (!FindInvalidUtf8(bytes)) return FromUtf8(bytes);
  CodeSet::Decoded decoded = CodeSet(kFallbackCodePage).TryDecode(bytes);
  if (decoded.invalid_at) {
    throw invalid_at(*decoded.invalid_at, u"UTF-8, nor " + FromUtf8(kFallbackCodePage) +
                                              u" (the file has no byte order mark)");
  }
  return std::move(decoded.text);
}

}  // namespace

PosixFileSystem::PosixFileSystem(std::shared_ptr<const PathMap> paths, std::string code_set,
                                 DiskCalls calls)
    : paths_(std::move(paths)), code_set_(std::move(code_set)), calls_(std::move(calls)) {}

namespace {

fs::path HostPathOrFail(const PathMap& paths, const std::u16string& path) {
  if (path.empty()) throw Failure(err::kBadFileName, u"Bad file name: the path is empty");
  auto host = paths.ToHost(path);
  if (!host) {
    throw Failure(
        err::kPathNotFound,
        u"Path not found: " + path +
            u" is on no drive of this system (an unmapped drive letter or a network path)");
  }
  return std::move(*host);
}

}  // namespace

void PosixFileSystem::WriteTextFile(const std::u16string& path, const std::u16string& text) {
  const fs::path host = HostPathOrFail(*paths_, path);

  // Everything is converted before the disk is touched.
  CodeSet::Encoded encoded = code_set_.TryEncode(text + u"\r\n");
  if (encoded.unrepresentable) {
    throw Failure(err::kInvalidCall,
                  UnrepresentableDescription(text, *encoded.unrepresentable, code_set_.name()) +
                      u"; nothing was written to " + path);
  }
  const std::string& bytes = encoded.bytes;

  AtomicOutput output(host, path, calls_);
  output.Write(bytes);
  output.Commit();
}

std::unique_ptr<TextReader> PosixFileSystem::OpenTextFile(const std::u16string& path) {
  static constexpr char16_t kDoing[] = u"Cannot read";
  const fs::path host = HostPathOrFail(*paths_, path);
  // Non-blocking, so that a FIFO at the path cannot hang the open.
  UniqueFd fd(::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd.ok()) {
    if (errno == ENOENT) throw Failure(err::kFileNotFound, u"File not found: " + path);
    throw ErrnoFailure(errno, kDoing, path);
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) throw ErrnoFailure(errno, kDoing, path);
  if (!S_ISREG(info.st_mode)) throw NotAPlainFile(info, kDoing, path);

  const auto too_large = [&] {
    return Failure(err::kOutOfStringSpace,
                   u"Cannot read " + path + u": the file is larger than " +
                       DecimalText(static_cast<std::int64_t>(kMaxTextFileBytes >> 20)) + u" MiB");
  };
  if (static_cast<std::uint64_t>(info.st_size) > kMaxTextFileBytes) throw too_large();
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(info.st_size));
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw ErrnoFailure(errno, kDoing, path);
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
    if (bytes.size() > kMaxTextFileBytes) throw too_large();  // grew while read
  }
  return std::make_unique<LineReader>(DecodeTextFile(bytes, path));
}

std::u16string PosixFileSystem::Dir(const std::u16string& path) {
  const auto host = paths_->ToHost(path);
  if (!host) return u"";
  const std::string name = host->filename().native();
  if (name.empty() || name.front() == '.') return u"";
  struct stat info {};
  if (::stat(host->c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return u"";
  return HostNameToControl(name);
}

bool PosixFileSystem::FileExists(const std::u16string& path) {
  const auto host = paths_->ToHost(path);
  struct stat info {};
  return host && ::stat(host->c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace corabind
