#include "serve/launch_page.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "core/failure.h"
#include "core/printable.h"
#include "core/text.h"
#include "platform/posix/atomic_output.h"
#include "platform/posix/unique_fd.h"
#include "serve/mail_folder.h"

extern char** environ;

namespace corabind::serve {

namespace {

constexpr const char* kPageName = "corabind-serve-XXXXXX.html";
constexpr int kPageSuffix = 5;  // ".html", kept by mkstemps

// A folder no one but this user can enter or list: the user's own, not a
// link, with no access for group or others.
bool PrivateFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && path.front() == '/' && ::lstat(path.c_str(), &st) == 0 &&
         S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

// The user's own folder (not a link) at `path` that no one else may write
// in, so a folder made there cannot be renamed or replaced by another user.
bool OwnFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && path.front() == '/' && ::lstat(path.c_str(), &st) == 0 &&
         S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 022) == 0;
}

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

[[noreturn]] void Fail(const std::string& what) {
  throw Failure(err::kPermissionDenied, FromUtf8("cannot write the page that opens the editor (" +
                                                 Printable(what) + "): " + std::strerror(errno)));
}

}  // namespace

LaunchPage::LaunchPage(const std::string& url) {
  std::string folder = Env("XDG_RUNTIME_DIR");
  if (!PrivateFolder(folder)) {
    std::string base = Env("XDG_CACHE_HOME");
    if (!OwnFolder(base)) base = Env("HOME").empty() ? "" : Env("HOME") + "/.cache";
    if (!OwnFolder(base)) base = Env("TMPDIR");
    // /tmp's sticky bit keeps others from renaming what we make there.
    if (!OwnFolder(base)) base = "/tmp";
    // mkdtemp makes a new folder (never an existing one or a link's target)
    // with mode 0700.
    std::string made = base + "/corabind-serve-XXXXXX";
    if (!::mkdtemp(made.data())) Fail(made);
    folder_ = made;
    folder = made;
  }
  path_ = folder + "/" + kPageName;
  const UniqueFd fd(::mkstemps(path_.data(), kPageSuffix));  // O_EXCL, 0600
  if (!fd.ok()) Fail(path_);
  // The address holds only [0-9a-f:/.#=], so it is written as it is.
  const std::string page =
      "<!doctype html>\n<meta charset=\"utf-8\">\n<meta name=\"referrer\" "
      "content=\"no-referrer\">\n"
      "<meta http-equiv=\"refresh\" content=\"0;url=" +
      url +
      "\">\n"
      "<title>corabind serve</title>\n<script>location.replace(\"" +
      url +
      "\")</script>\n"
      "<p><a href=\"" +
      url + "\">Open the editor</a></p>\n";
  if (!WriteWhole(fd.get(), page)) {
    const int error = errno;
    ::unlink(path_.c_str());
    errno = error;
    Fail(path_);
  }
}

LaunchPage::~LaunchPage() {
  ::unlink(path_.c_str());
  if (folder_) ::rmdir(folder_->c_str());
}

std::string LaunchPage::file_url() const {
  return "file://" + PercentEncode(path_, true);
}

bool StartOpener(const std::string& target) {
  // $BROWSER is the user's choice of browser, as other programs read it
  // (a list separated by colons: its first entry).
  std::string opener = Env("BROWSER");
  opener = opener.substr(0, opener.find(':'));
  if (opener.empty()) opener = "xdg-open";
  const char* argv[] = {opener.c_str(), target.c_str(), nullptr};
  pid_t pid = 0;
  if (::posix_spawnp(&pid, opener.c_str(), nullptr, nullptr, const_cast<char* const*>(argv),
                     environ) != 0)
    return false;
  std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();  // no zombie left behind
  return true;
}

}  // namespace corabind::serve
