#include "platform/posix/read_policy.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace corabind {

namespace fs = std::filesystem;

namespace {

// Never blocks on a FIFO or device put where a file was, never follows a
// link in the last component.
constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW;
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

// One name at a time, none of them followed if it is a link, for kernels
// without openat2 (or where a filter forbids it).
int WalkBeneath(int dir, const fs::path& relative, int flags) {
  UniqueFd at(::dup(dir));
  if (!at.ok()) return -1;
  for (auto it = relative.begin(); it != relative.end();) {
    const fs::path& name = *it;
    const bool last = ++it == relative.end();
    if (name == "..") {
      errno = EXDEV;
      return -1;
    }
    const int next = ::openat(at.get(), name.c_str(), (last ? flags : kFolderFlags) | O_NOFOLLOW);
    if (next < 0) {
      // O_DIRECTORY with O_NOFOLLOW tells a link on the way as "not a
      // folder"; it is told as the link it is, as openat2 would.
      struct stat info {};
      const int why = errno;
      errno =
          (why == ENOTDIR && ::fstatat(at.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISLNK(info.st_mode))
              ? ELOOP
              : why;
      return -1;
    }
    at = UniqueFd(next);
  }
  // Nothing to walk: the folder itself, as openat2 would give it for ".".
  if (relative.empty()) return ::openat(at.get(), ".", flags);
  return ::dup(at.get());
}

ReadProblem ProblemOf(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return ReadProblem::kNotFound;
    case ELOOP:
    case EXDEV:
      return ReadProblem::kRefused;  // a link put on the way since it was looked at
    default:
      return ReadProblem::kUnreadable;
  }
}

}  // namespace

int OpenBeneath(int dir, const fs::path& relative, int flags, Beneath how) {
  if (how == Beneath::kKernel) {
    open_how request{};
    request.flags = static_cast<std::uint64_t>(flags);
    request.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    const char* name = relative.empty() ? "." : relative.c_str();
    const long fd = ::syscall(SYS_openat2, dir, name, &request, sizeof request);
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) return static_cast<int>(fd);
  }
  return WalkBeneath(dir, relative, flags);
}

bool ReadWhole(int fd, std::size_t expected, std::string& out) {
  out.resize(std::max<std::size_t>(expected, 1) + 1);
  std::size_t used = 0;
  for (;;) {
    if (used == out.size()) out.resize(out.size() * 2);
    const ssize_t got = ::read(fd, out.data() + used, out.size() - used);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) break;
    used += static_cast<std::size_t>(got);
  }
  out.resize(used);
  return true;
}

ReadPolicy ReadPolicy::ConfinedTo(const std::vector<fs::path>& folders, bool allow_hard_links) {
  ReadPolicy policy;
  policy.confined_ = true;
  policy.allow_hard_links_ = allow_hard_links;
  const UniqueFd top(::open("/", kFolderFlags));
  for (const fs::path& folder : folders) {
    std::error_code ec;
    fs::path root = fs::canonical(folder, ec);
    if (ec || !top.ok()) continue;
    // The folder is held from here on: whatever its path names later, the
    // files read are below the folder that was allowed.
    auto fd = std::make_shared<const UniqueFd>(
        OpenBeneath(top.get(), root.relative_path(), kFolderFlags));
    if (fd->ok()) policy.roots_.push_back({std::move(root), std::move(fd)});
  }
  return policy;
}

const ReadPolicy::Root* ReadPolicy::FindRoot(const fs::path& file) const {
  for (const Root& root : roots_) {
    // Compared component by component: /mail does not hold /mailbox/a.gif.
    auto [r, f] = std::mismatch(root.path.begin(), root.path.end(), file.begin(), file.end());
    if (r == root.path.end() || (std::next(r) == root.path.end() && r->empty())) return &root;
  }
  return nullptr;
}

const fs::path* ReadPolicy::RootFor(const fs::path& file) const {
  const Root* root = FindRoot(file);
  return root ? &root->path : nullptr;
}

OpenedFile ReadPolicy::Open(const fs::path& host) const {
  std::error_code ec;
  fs::path file = fs::canonical(host, ec);
  if (ec || !fs::is_regular_file(file, ec)) {
    OpenedFile out;
    out.problem = ReadProblem::kNotFound;
    return out;
  }
  return OpenCanonical(file);
}

OpenedFile ReadPolicy::OpenCanonical(const fs::path& file) const {
  OpenedFile out;
  out.file = file;
  const Root* root = FindRoot(file);
  if (confined_ && root == nullptr) {
    out.problem = ReadProblem::kRefused;
    return out;
  }
  out.fd = UniqueFd(root != nullptr ? OpenBeneath(root->fd->get(),
                                                  file.lexically_relative(root->path), kReadFlags)
                                    : ::open(file.c_str(), kReadFlags));
  if (!out.fd.ok()) {
    out.problem = ProblemOf(errno);
  } else if (::fstat(out.fd.get(), &out.info) != 0) {
    out.problem = ReadProblem::kUnreadable;
  } else if (!S_ISREG(out.info.st_mode)) {
    out.problem = ReadProblem::kNotFound;
  } else if (!allow_hard_links_ && out.info.st_nlink > 1) {
    out.problem = ReadProblem::kHardLink;
  }
  if (out.problem) out.fd = UniqueFd();
  return out;
}

}  // namespace corabind
