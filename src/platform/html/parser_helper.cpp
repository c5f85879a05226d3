#include "platform/html/parser_helper.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "core/failure.h"
#include "core/text.h"
#include "platform/html/gumbo_output.h"
#include "platform/html/html_document.h"
#include "platform/html/tree_builder.h"
#include "platform/posix/unique_fd.h"

extern char** environ;

namespace corabind::html {

namespace fs = std::filesystem;

namespace {

constexpr const char* kHelperName = "corabind-html-parse";

[[noreturn]] void SystemFailure(const char16_t* what) {
  throw Failure(err::kInternal, std::u16string(what) + u": " + FromUtf8(std::strerror(errno)));
}

UniqueFd AnonymousFile() {
  const int fd = ::memfd_create("corabind-html", MFD_CLOEXEC);
  if (fd < 0) SystemFailure(u"Cannot make room for the HTML parser helper");
  return UniqueFd(fd);
}

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) SystemFailure(u"Cannot hand the HTML text to the parser helper");
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

// The child's status once it has ended.
int WaitFor(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) SystemFailure(u"Lost the HTML parser helper");
  }
  return status;
}

class Mapping {
 public:
  explicit Mapping(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) SystemFailure(u"Cannot read the HTML parser helper's tree");
    size_ = static_cast<std::size_t>(st.st_size);
    if (size_ == 0) return;
    data_ = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
    if (data_ == MAP_FAILED) {
      data_ = nullptr;
      SystemFailure(u"Cannot read the HTML parser helper's tree");
    }
  }
  ~Mapping() {
    if (data_ != nullptr) ::munmap(data_, size_);
  }
  Mapping(const Mapping&) = delete;
  Mapping& operator=(const Mapping&) = delete;
  std::string_view bytes() const {
    return data_ == nullptr ? std::string_view()
                            : std::string_view(static_cast<char*>(data_), size_);
  }

 private:
  void* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace

std::uint64_t HelperCpuSeconds(std::size_t bytes) {
  return 30 + 2 * (static_cast<std::uint64_t>(bytes) >> 20);
}

namespace {
constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
constexpr std::uint64_t kMaxTreeNodes = 4'000'000;
constexpr std::uint64_t kTreeNodesBase = 65'536;
constexpr std::uint64_t kTreeBytesBase = 32 * kMiB;
constexpr std::uint64_t kTreeBytesPerInputByte = 96;
// The program, its libraries, stack and the walk's own stack of pending nodes.
constexpr std::uint64_t kHelperRoom = 96 * kMiB;
}  // namespace

TreeLimits TreeLimits::For(std::size_t input_bytes) {
  const auto bytes = static_cast<std::uint64_t>(input_bytes);
  return {std::min(kMaxTreeNodes, kTreeNodesBase + bytes),
          kTreeBytesBase + kTreeBytesPerInputByte * bytes};
}

std::u16string TreeTooLargeText(std::size_t input_bytes) {
  return u"The HTML tree of this markup would take more than " +
         DecimalText(static_cast<std::int64_t>(TreeLimits::For(input_bytes).bytes / kMiB)) +
         u" MiB, the limit for " + DecimalText(static_cast<std::int64_t>(input_bytes)) +
         u" bytes of HTML (unclosed formatting elements are reopened in every paragraph)";
}

std::uint64_t HelperMemoryBytes(std::size_t bytes) {
  return static_cast<std::uint64_t>(bytes) + TreeLimits::For(bytes).bytes + kHelperRoom;
}

std::string FindParserHelper() {
  if (const char* path = std::getenv("CORABIND_HTML_HELPER"); path != nullptr && *path != '\0')
    return path;
  Dl_info info{};
  fs::path module;
  if (::dladdr(reinterpret_cast<void*>(&FindParserHelper), &info) != 0 &&
      info.dli_fname != nullptr && info.dli_fname[0] == '/') {
    module = info.dli_fname;
  } else {
    module = "/proc/self/exe";  // the program itself, when it holds this code
  }
  std::error_code ec;
  const fs::path folder = fs::canonical(module, ec).parent_path();
  if (ec) return {};
  for (const fs::path& candidate :
       {folder / kHelperName, folder / CORABIND_HELPER_FROM_LIB / kHelperName,
        folder / CORABIND_HELPER_FROM_BIN / kHelperName}) {
    if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return {};
}

namespace {

// Runs the helper on `utf8` and hands `take` the wire bytes it wrote, which
// stay valid only during the call.
void RunHelper(std::string_view utf8, ParseMode mode, const std::function<void()>& while_parsing,
               const std::function<void(std::string_view)>& take) {
  const std::string helper = FindParserHelper();
  if (helper.empty()) {
    throw Failure(err::kCannotCreateObject,
                  u"The HTML parser helper (" + FromUtf8(kHelperName) + u") cannot be found");
  }
  const UniqueFd input = AnonymousFile();
  const UniqueFd output = AnonymousFile();
  WriteAll(input.get(), utf8);

  const std::string mode_arg = mode == ParseMode::kFragment ? "fragment" : "document";
  const std::string cpu = std::to_string(HelperCpuSeconds(utf8.size()));
  const std::string memory = std::to_string(HelperMemoryBytes(utf8.size()));
  const std::string parent = std::to_string(::getpid());
  char* argv[] = {const_cast<char*>(helper.c_str()), const_cast<char*>(mode_arg.c_str()),
                  const_cast<char*>(cpu.c_str()),    const_cast<char*>(memory.c_str()),
                  const_cast<char*>(parent.c_str()), nullptr};

  // posix_spawn, not fork: safe in a host with threads. The child starts
  // with no blocked signals and default handlers, whatever the host set.
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  posix_spawn_file_actions_adddup2(&actions, input.get(), 0);
  posix_spawn_file_actions_adddup2(&actions, output.get(), 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, helper.c_str(), &actions, &attr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (spawned != 0) {
    errno = spawned;
    SystemFailure(u"Cannot start the HTML parser helper");
  }
  if (while_parsing) {
    try {
      while_parsing();
    } catch (...) {
      ::kill(pid, SIGKILL);
      WaitFor(pid);
      throw;
    }
  }

  const int status = WaitFor(pid);
  const Mapping result(output.get());
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return take(result.bytes());
  const int exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (exit_status == kHelperRefused) {
    // The helper refused the markup and said why.
    throw Failure(err::kInvalidCall, FromUtf8(result.bytes().substr(0, 400)));
  }
  if (exit_status == kHelperOverBudget)
    throw Failure(err::kInvalidCall, TreeTooLargeText(utf8.size()));
  std::u16string why = u"The HTML parser failed on this markup";
  if (WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU) {
    why = u"The HTML parser took longer than " +
          DecimalText(static_cast<std::int64_t>(HelperCpuSeconds(utf8.size()))) +
          u" seconds on this markup";
  } else if (exit_status == kHelperOutOfMemory) {
    why = u"The HTML parser needed more than " +
          DecimalText(static_cast<std::int64_t>(HelperMemoryBytes(utf8.size()) >> 20)) +
          u" MB for this markup";
  }
  throw Failure(err::kInvalidCall, why);
}

}  // namespace

Tree ParseInHelper(std::string_view utf8, ParseMode mode,
                   const std::function<void()>& while_parsing) {
  Tree tree;
  RunHelper(utf8, mode, while_parsing, [&](std::string_view wire) { tree = DecodeTree(wire); });
  return tree;
}

std::string ParseWireInHelper(std::string_view utf8, ParseMode mode,
                              const std::function<void()>& while_parsing) {
  std::string wire;
  RunHelper(utf8, mode, while_parsing, [&](std::string_view bytes) { wire = bytes; });
  return wire;
}

void ParseToWire(std::string_view utf8, ParseMode mode, WireWriter& out, bool release,
                 void (*over_budget)()) {
  const TreeLimits limits = TreeLimits::For(utf8.size());
  const GumboParse parse(utf8, mode == ParseMode::kFragment ? GUMBO_TAG_BODY : GUMBO_TAG_LAST,
                         release, limits.bytes, over_budget);
  EncodeTree(parse.output(), utf8, kMaxNestingDepth, limits, out);
}

}  // namespace corabind::html
