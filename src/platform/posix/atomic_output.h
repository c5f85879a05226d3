// Replacing a file whole or not at all: the bytes go to a temporary file
// next to the target, which is flushed to the disk and renamed over it, so
// readers see the old file or the whole new one, never a part.
//
// - A new file gets 0666 less the umask; a replaced one keeps its
//   permission bits (and, where allowed, its owner).
// - A symbolic link is written through: the file it points at is replaced
//   (or created, for a dangling link) and the link stays.
// - Only plain files are replaced. A file that a plain open for writing
//   would refuse, or that grants no one write permission (marked
//   read-only), is refused with its content intact.
// - A replaced file is a new file: other hard links to the old one keep the
//   old content.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "platform/posix/unique_fd.h"

namespace corabind {

// The system calls that put a new file on the disk. Tests replace them to
// make a write fail part-way; the defaults are the real calls.
struct DiskCalls {
  std::function<ssize_t(int fd, const void* data, std::size_t size)> write;
  std::function<int(int fd)> fsync;
  std::function<int(const char* from, const char* to)> rename;

  static DiskCalls System();
};

class Failure;
// The failure for a system error `error` while `doing` something to `path`.
Failure ErrnoFailure(int error, const std::u16string& doing, const std::u16string& path);

// An unnamed file in `folder`, open for reading and writing, gone once
// closed (a named one unlinked at once where the file system has no unnamed
// ones); not ok(), errno set, when none can be made.
UniqueFd ScratchFile(const std::filesystem::path& folder);

// Every byte of `bytes` to `fd`, however many writes it takes; false with
// errno set when one fails (EIO when the system writes nothing and says
// nothing).
bool WriteWhole(int fd, std::string_view bytes);

class AtomicOutput {
 public:
  // Failures (corabind::Failure) say "Cannot write " + `shown` and why: 70
  // for a refused target, 76 for a missing folder, 61 for a full disk.
  AtomicOutput(const std::filesystem::path& path, std::u16string shown,
               DiskCalls calls = DiskCalls::System());
  ~AtomicOutput();  // the temporary goes unless committed
  AtomicOutput(const AtomicOutput&) = delete;
  AtomicOutput& operator=(const AtomicOutput&) = delete;

  void Write(std::string_view bytes);
  // Leaves the next `size` bytes for Fill, which writes them once they are
  // known (a header that depends on what follows it).
  void Reserve(std::size_t size);
  // Writes what Reserve left room for: exactly that many bytes. Commit
  // refuses a file whose room was left empty.
  void Fill(std::string_view bytes);
  // Flushes, renames into place, and makes the rename durable.
  void Commit();

 private:
  [[noreturn]] void Fail(int error) const;

  static constexpr std::size_t kWriteBehind = std::size_t{8} << 20;

  std::u16string shown_;
  DiskCalls calls_;
  std::size_t written_ = 0, started_ = 0;  // bytes written, and sent to the disk
  std::size_t reserved_at_ = 0, reserved_ = 0;
  std::filesystem::path target_;
  std::string temp_;
  int fd_ = -1;
  bool committed_ = false;
};

}  // namespace corabind
