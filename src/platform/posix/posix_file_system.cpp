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

namespace corabind {
namespace fs = std::filesystem;

namespace {

// Reading beyond the last line; the number a script host reports for it.
constexpr std::int32_t kInputPastEndOfFile = 62;

class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  // Closes now and reports the result: on some file systems the write
  // errors only show here.
  int Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

// A temporary file that is removed unless it was renamed into place.
class TempFile {
 public:
  TempFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  ~TempFile() {
    if (!kept_) {
      if (fd_.ok()) fd_.Close();
      ::unlink(path_.c_str());
    }
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& path() const { return path_; }
  UniqueFd& fd() { return fd_; }
  void Keep() { kept_ = true; }

 private:
  std::string path_;
  UniqueFd fd_;
  bool kept_ = false;
};

std::u16string SystemMessage(int error) {
  return FromUtf8(std::generic_category().message(error));
}

std::int32_t NumberFor(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return err::kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return err::kPermissionDenied;
    case ENOSPC:
    case EDQUOT:
      return err::kDiskFull;
    case ENAMETOOLONG:
      return err::kBadFileName;
    default:
      return err::kDeviceIo;
  }
}

Failure ErrnoFailure(int error, const std::u16string& doing, const std::u16string& path) {
  return Failure(NumberFor(error), doing + u" " + path + u": " + SystemMessage(error));
}

Failure NotAPlainFile(const struct stat& info, const std::u16string& doing,
                      const std::u16string& path) {
  return Failure(err::kPermissionDenied,
                 doing + u" " + path + u": it is " +
                     (S_ISDIR(info.st_mode) ? u"a folder" : u"not a plain file"));
}

std::string RandomSuffix() {
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::random_device source;
  std::uniform_int_distribution<int> pick(0, 35);
  std::string suffix;
  for (int i = 0; i < 10; ++i) suffix.push_back(kDigits[pick(source)]);
  return suffix;
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

}  // namespace

DiskCalls DiskCalls::System() {
  return DiskCalls{
      [](int fd, const void* data, std::size_t size) { return ::write(fd, data, size); },
      [](int fd) { return ::fsync(fd); },
      [](const char* from, const char* to) { return std::rename(from, to); },
  };
}

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
  static constexpr char16_t kDoing[] = u"Cannot write";
  const fs::path host = HostPathOrFail(*paths_, path);

  // Everything is converted before the disk is touched.
  CodeSet::Encoded encoded = code_set_.TryEncode(text + u"\r\n");
  if (encoded.unrepresentable) {
    throw Failure(err::kInvalidCall,
                  UnrepresentableDescription(text, *encoded.unrepresentable, code_set_.name()) +
                      u"; nothing was written to " + path);
  }
  const std::string& bytes = encoded.bytes;

  // The file that gets replaced: through a symbolic link, the file it
  // points at, so that the link survives.
  fs::path target = host;
  struct stat old_info {};
  const bool exists = ::stat(host.c_str(), &old_info) == 0;
  if (exists) {
    if (!S_ISREG(old_info.st_mode)) throw NotAPlainFile(old_info, kDoing, path);
    std::error_code error;
    if (fs::is_symlink(fs::symlink_status(host, error))) {
      target = fs::canonical(host, error);
      if (error) throw ErrnoFailure(error.value(), kDoing, path);
    }
  } else if (errno != ENOENT) {
    throw ErrnoFailure(errno, kDoing, path);
  }
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";

  std::unique_ptr<TempFile> temp;
  for (int attempt = 0; !temp; ++attempt) {
    std::string name = (folder / (".corabind-" + RandomSuffix())).native();
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                          exists ? 0600 : 0666);
    if (fd >= 0) {
      temp = std::make_unique<TempFile>(std::move(name), fd);
    } else if (errno != EEXIST || attempt >= 100) {
      throw ErrnoFailure(errno, kDoing, path);
    }
  }
  int fd = temp->fd().get();
  if (exists) {
    // Best effort: only the owner's own files can be given away.
    [[maybe_unused]] const int ignored = ::fchown(fd, old_info.st_uid, old_info.st_gid);
    if (::fchmod(fd, old_info.st_mode & 07777) != 0) throw ErrnoFailure(errno, kDoing, path);
  }

  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t n = calls_.write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw ErrnoFailure(n < 0 ? errno : EIO, kDoing, path);
    done += static_cast<std::size_t>(n);
  }
  if (calls_.fsync(fd) != 0) throw ErrnoFailure(errno, kDoing, path);
  if (temp->fd().Close() != 0) throw ErrnoFailure(errno, kDoing, path);
  if (calls_.rename(temp->path().c_str(), target.c_str()) != 0)
    throw ErrnoFailure(errno, kDoing, path);
  temp->Keep();

  // Make the rename itself durable. The new file is already in place, so a
  // failure here is not reported as a failed write.
  UniqueFd folder_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder_fd.ok()) ::fsync(folder_fd.get());
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

  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(info.st_size));
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw ErrnoFailure(errno, kDoing, path);
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return std::make_unique<LineReader>(code_set_.Decode(bytes));
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
