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
#include <deque>
#include <filesystem>
#include <memory>
#include <thread>

#include "core/failure.h"
#include "core/text.h"
#include "platform/html/gumbo_output.h"
#include "platform/html/html_document.h"
#include "platform/html/page_pieces.h"
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

std::string Helper() {
  std::string helper = FindParserHelper();
  if (helper.empty()) {
    throw Failure(err::kCannotCreateObject,
                  u"The HTML parser helper (" + FromUtf8(kHelperName) + u") cannot be found");
  }
  return helper;
}

// One run of the helper on a stretch of markup; a run not finished is
// stopped when it goes.
class HelperRun {
 public:
  HelperRun(const std::string& helper, std::string_view utf8, ParseMode mode)
      : bytes_(utf8.size()), output_(AnonymousFile()) {
    const UniqueFd input = AnonymousFile();
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
    posix_spawn_file_actions_adddup2(&actions, output_.get(), 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const int spawned = ::posix_spawn(&pid_, helper.c_str(), &actions, &attr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (spawned != 0) {
      pid_ = 0;
      errno = spawned;
      SystemFailure(u"Cannot start the HTML parser helper");
    }
  }
  ~HelperRun() {
    if (pid_ == 0) return;
    ::kill(pid_, SIGKILL);
    WaitFor(pid_);
  }
  HelperRun(const HelperRun&) = delete;
  HelperRun& operator=(const HelperRun&) = delete;

  // The tree's wire bytes, once the helper has ended; the failure it ended
  // in otherwise.
  std::unique_ptr<Mapping> Finish() {
    const int status = WaitFor(pid_);
    pid_ = 0;
    auto result = std::make_unique<Mapping>(output_.get());
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return result;
    const int exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (exit_status == kHelperRefused) {
      // The helper refused the markup and said why.
      throw Failure(err::kInvalidCall, FromUtf8(result->bytes().substr(0, 400)));
    }
    if (exit_status == kHelperOverBudget)
      throw Failure(err::kInvalidCall, TreeTooLargeText(bytes_));
    std::u16string why = u"The HTML parser failed on this markup";
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU) {
      why = u"The HTML parser took longer than " +
            DecimalText(static_cast<std::int64_t>(HelperCpuSeconds(bytes_))) +
            u" seconds on this markup";
    } else if (exit_status == kHelperOutOfMemory) {
      why = u"The HTML parser needed more than " +
            DecimalText(static_cast<std::int64_t>(HelperMemoryBytes(bytes_) >> 20)) +
            u" MB for this markup";
    }
    throw Failure(err::kInvalidCall, why);
  }

 private:
  std::size_t bytes_;
  UniqueFd output_;
  pid_t pid_ = 0;
};

// A parsed tree's wire bytes: a whole parse's as the helper wrote them, or
// the pieces' joined.
struct Wire {
  std::unique_ptr<Mapping> mapped;
  std::string joined;
  std::string_view bytes() const { return mapped ? mapped->bytes() : std::string_view(joined); }
};

// Helpers at work at once on the pieces of a long page: each takes a core.
std::size_t ParallelHelpers() {
  return std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4);
}

Wire ParseWire(std::string_view utf8, ParseMode mode, const std::function<void()>& while_parsing,
               std::size_t piece_bytes) {
  const std::string helper = Helper();
  std::vector<std::size_t> starts;
  if (mode == ParseMode::kDocument) starts = PieceStarts(utf8, piece_bytes);
  if (starts.empty()) {
    HelperRun run(helper, utf8, mode);
    if (while_parsing) while_parsing();
    return Wire{run.Finish(), {}};
  }
  starts.insert(starts.begin(), 0);
  const auto piece = [&](std::size_t i) {
    const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : utf8.size();
    return utf8.substr(starts[i], end - starts[i]);
  };
  std::deque<std::unique_ptr<HelperRun>> running;
  std::size_t next = 0;
  const auto start_more = [&] {
    for (; next < starts.size() && running.size() < ParallelHelpers(); ++next) {
      running.push_back(std::make_unique<HelperRun>(
          helper, piece(next), next == 0 ? ParseMode::kDocument : ParseMode::kFragment));
    }
  };
  start_more();
  if (while_parsing) while_parsing();
  // Joined in order as each piece is done, its bytes let go at once.
  // The wire takes about one and a half bytes for each byte of markup.
  WireJoiner joiner(2 * utf8.size());
  bool joined = true;
  for (std::size_t i = 0; i < starts.size() && joined; ++i) {
    const std::unique_ptr<Mapping> wire = running.front()->Finish();
    joined = i == 0 ? joiner.Start(wire->bytes()) : joiner.Add(wire->bytes(), starts[i]);
    running.pop_front();
    start_more();
  }
  if (!joined) {
    // The cuts were not where the tree builder stood clear: parsed whole.
    running.clear();
    return ParseWire(utf8, mode, {}, 0);
  }
  if (joiner.nodes() > TreeLimits::For(utf8.size()).nodes)
    throw Failure(err::kInvalidCall, TreeTooLargeText(utf8.size()));
  return Wire{nullptr, joiner.Finish()};
}

}  // namespace

Tree ParseInHelper(std::string_view utf8, ParseMode mode,
                   const std::function<void()>& while_parsing, std::size_t piece_bytes) {
  return DecodeTree(ParseWire(utf8, mode, while_parsing, piece_bytes).bytes());
}

std::string ParseWireInHelper(std::string_view utf8, ParseMode mode,
                              const std::function<void()>& while_parsing, std::size_t piece_bytes) {
  Wire wire = ParseWire(utf8, mode, while_parsing, piece_bytes);
  return wire.mapped ? std::string(wire.bytes()) : std::move(wire.joined);
}

void ParseToWire(std::string_view utf8, ParseMode mode, WireWriter& out, bool release,
                 void (*over_budget)()) {
  const TreeLimits limits = TreeLimits::For(utf8.size());
  const GumboParse parse(utf8, mode == ParseMode::kFragment ? GUMBO_TAG_BODY : GUMBO_TAG_LAST,
                         release, limits.bytes, over_budget);
  EncodeTree(parse.output(), utf8, kMaxNestingDepth, limits, out);
}

}  // namespace corabind::html
