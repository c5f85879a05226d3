#include "platform/posix/atomic_output.h"

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

std::int32_t FailureNumberFor(int error) {
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
  return Failure(FailureNumberFor(error),
                 doing + u" " + path + u": " + FromUtf8(std::generic_category().message(error)));
}

DiskCalls DiskCalls::System() {
  return DiskCalls{
      [](int fd, const void* data, std::size_t size) { return ::write(fd, data, size); },
      [](int fd) { return ::fsync(fd); },
      [](const char* from, const char* to) { return std::rename(from, to); },
  };
}

namespace {

std::string RandomSuffix() {
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::random_device source;
  std::uniform_int_distribution<int> pick(0, 35);
  std::string suffix;
  for (int i = 0; i < 10; ++i) suffix.push_back(kDigits[pick(source)]);
  return suffix;
}

}  // namespace

UniqueFd ScratchFile(const fs::path& folder) {
  UniqueFd fd(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
  if (fd.ok() || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
  for (int attempt = 0;; ++attempt) {
    const std::string name = (folder / (".corabind-" + RandomSuffix())).native();
    UniqueFd named(::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600));
    if (named.ok()) {
      ::unlink(name.c_str());
      return named;
    }
    if (errno != EEXIST || attempt >= 100) return named;
  }
}

bool WriteWhole(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

AtomicOutput::AtomicOutput(const fs::path& path, std::u16string shown, DiskCalls calls)
    : shown_(std::move(shown)), calls_(std::move(calls)), target_(path) {
  // Through symbolic links to the file they name, which need not exist.
  struct stat info {};
  bool exists = false;
  for (int hops = 0;; ++hops) {
    if (::lstat(target_.c_str(), &info) != 0) {
      if (errno != ENOENT) Fail(errno);
      break;
    }
    if (!S_ISLNK(info.st_mode)) {
      exists = true;
      break;
    }
    if (hops == 40) Fail(ELOOP);
    std::error_code ec;
    const fs::path to = fs::read_symlink(target_, ec);
    if (ec) Fail(ec.value());
    target_ = to.is_absolute() ? to : target_.parent_path() / to;
  }
  if (exists) {
    if (!S_ISREG(info.st_mode)) {
      throw Failure(err::kPermissionDenied,
                    u"Cannot write " + shown_ + u": it is " +
                        (S_ISDIR(info.st_mode) ? u"a folder" : u"not a plain file"));
    }
    // Refused as a plain open for writing would refuse it; a file marked
    // read-only is kept even from a user whom the system would let write.
    const int probe = ::open(target_.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (probe < 0) Fail(errno);
    ::close(probe);
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
      throw Failure(err::kPermissionDenied,
                    u"Cannot write " + shown_ + u": the file is marked read-only");
    }
  }

  const fs::path folder = target_.has_parent_path() ? target_.parent_path() : fs::path(".");
  for (int attempt = 0; fd_ < 0; ++attempt) {
    std::string name = (folder / (".corabind-" + RandomSuffix())).native();
    // 0666 less the umask for a new file; the old mode for a replaced one.
    fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                 exists ? 0600 : 0666);
    if (fd_ >= 0) {
      temp_ = std::move(name);
    } else if (errno != EEXIST || attempt >= 100) {
      Fail(errno);
    }
  }
  if (exists) {
    // Best effort: only the owner's own files can be given away.
    [[maybe_unused]] const int ignored = ::fchown(fd_, info.st_uid, info.st_gid);
    if (::fchmod(fd_, info.st_mode & 07777) != 0) Fail(errno);
  }
}

AtomicOutput::~AtomicOutput() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
}

void AtomicOutput::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = calls_.write(fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail(n < 0 ? errno : EIO);
    bytes.remove_prefix(static_cast<std::size_t>(n));
    written_ += static_cast<std::size_t>(n);
  }
  // A large file goes to the disk while the rest is still being written,
  // not all at once when it is flushed: the flush then has little left to
  // wait for. Only a head start; the flush reports any error.
  if (written_ - started_ >= kWriteBehind) {
    ::sync_file_range(fd_, static_cast<off_t>(started_), static_cast<off_t>(written_ - started_),
                      SYNC_FILE_RANGE_WRITE);
    started_ = written_;
  }
}

void AtomicOutput::Reserve(std::size_t size) {
  if (::lseek(fd_, static_cast<off_t>(size), SEEK_CUR) < 0) Fail(errno);
  reserved_at_ = written_;
  reserved_ = size;
  written_ += size;
}

void AtomicOutput::Fill(std::string_view bytes) {
  if (bytes.size() != reserved_) Fail(EINVAL);
  std::size_t at = reserved_at_;
  while (!bytes.empty()) {
    const ssize_t n = ::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail(n < 0 ? errno : EIO);
    bytes.remove_prefix(static_cast<std::size_t>(n));
    at += static_cast<std::size_t>(n);
  }
  reserved_ = 0;
}

void AtomicOutput::Commit() {
  if (reserved_ != 0) Fail(EINVAL);  // never a file with a hole where a header belongs
  if (calls_.fsync(fd_) != 0) Fail(errno);
  const int fd = fd_;
  fd_ = -1;
  // On some file systems the write errors only show here.
  if (::close(fd) != 0) Fail(errno);
  if (calls_.rename(temp_.c_str(), target_.c_str()) != 0) Fail(errno);
  committed_ = true;
  // Make the rename itself durable. The new file is already in place, so a
  // failure here is not reported as a failed write.
  const fs::path folder = target_.has_parent_path() ? target_.parent_path() : fs::path(".");
  const int folder_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder_fd >= 0) {
    ::fsync(folder_fd);
    ::close(folder_fd);
  }
}

void AtomicOutput::Fail(int error) const {
  throw ErrnoFailure(error, u"Cannot write", shown_);
}

}  // namespace corabind
