// Which local files a mail may take in, and the one way every writer opens
// them. A file is looked for by its path with links followed, and then
// opened from the descriptor of the allowed folder that holds it, through
// no link at all: a folder swapped for a link between the two steps makes
// the open fail instead of leading outside. What is read is the descriptor
// so opened, never the path again.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/unique_fd.h"

namespace corabind {

enum class ReadProblem {
  kNotFound,    // no such file, not a plain file, or no host file for the path
  kUnreadable,  // it exists but could not be read
  kRefused,     // outside the allowed folders
  kUnplaced,    // its reference is written so that it cannot be found to rewrite
  kHardLink,    // a plain file with more than one name, some of which may lie outside
  kMalformed,   // an inline (data:) resource that cannot be decoded
};

// Which file an open gave, so that a later open can tell it is the same.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

// A file opened for reading by a ReadPolicy, or why it was not.
struct OpenedFile {
  std::optional<ReadProblem> problem;  // when set, `fd` is closed
  std::filesystem::path file;          // canonical, when the path led to a file
  UniqueFd fd;                         // non-blocking, a plain file
  struct stat info {};                 // of `fd`
  FileIdentity identity() const { return {info.st_dev, info.st_ino}; }
};

// Which files may be read: any, or only those inside some allowed folder
// (after symbolic links are followed, so a link cannot lead outside).
// Copies share the folders' descriptors.
class ReadPolicy {
 public:
  static ReadPolicy Unconfined() { return ReadPolicy(); }
  // Folders that do not exist are dropped; an empty list allows nothing. A
  // file with more than one name is refused (kHardLink) unless
  // `allow_hard_links`: its other names may be anywhere on the same disk.
  static ReadPolicy ConfinedTo(const std::vector<std::filesystem::path>& folders,
                               bool allow_hard_links = false);

  bool confined() const { return confined_; }
  // `file` must be canonical.
  bool Allows(const std::filesystem::path& file) const { return !confined_ || FindRoot(file); }
  // The allowed folder holding `file` (canonical), or nullptr.
  const std::filesystem::path* RootFor(const std::filesystem::path& file) const;

  // The file `host` names, links followed, opened when it may be read.
  OpenedFile Open(const std::filesystem::path& host) const;
  // The canonical `file` opened when it may be read; no link is followed on
  // the way, so a link put anywhere on its path since it was made canonical
  // fails the open (kRefused).
  OpenedFile OpenCanonical(const std::filesystem::path& file) const;

 private:
  struct Root {
    std::filesystem::path path;          // canonical
    std::shared_ptr<const UniqueFd> fd;  // the folder itself, whatever its path comes to name
  };
  const Root* FindRoot(const std::filesystem::path& file) const;

  bool confined_ = false;
  bool allow_hard_links_ = true;
  std::vector<Root> roots_;
};

// How OpenBeneath keeps below its folder: by the kernel's openat2 when it
// has it (falling back to a walk), or by a walk one name at a time.
enum class Beneath { kKernel, kWalk };

// Opens `relative` below the folder `dir` with `flags`, following no
// symbolic link and no ".." on the way; -1 with errno set otherwise (ELOOP
// or EXDEV for a link or "..").
int OpenBeneath(int dir, const std::filesystem::path& relative, int flags,
                Beneath how = Beneath::kKernel);

// The rest of `fd` into `out` (resized to what was read), `expected` bytes
// likely; false on a read error, with errno set.
bool ReadWhole(int fd, std::size_t expected, std::string& out);

}  // namespace corabind
