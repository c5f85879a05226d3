// corabind-html-parse MODE CPU_SECONDS MEMORY_BYTES PARENT_PID
// The HTML parser helper: parses the UTF-8 text on standard input (a file
// the caller can map) as a document or a fragment, and writes the tree in the
// wire format to standard output. How it ends is told in parser_helper.h;
// any other end (Gumbo's assertions abort) is a failed parse. It dies with
// PARENT_PID, the process that started it.
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <new>
#include <string>

#include "core/failure.h"
#include "platform/html/parser_helper.h"

namespace {

using corabind::html::WireWriter;

// Buffered writes to standard output.
class OutWriter final : public WireWriter {
 public:
  void Write(std::string_view bytes) override {
    if (buffer_.size() + bytes.size() > kFlushAt) Flush();
    if (bytes.size() > kFlushAt) {
      WriteAll(bytes);
    } else {
      buffer_.append(bytes);
    }
  }
  void Flush() {
    WriteAll(buffer_);
    buffer_.clear();
  }

 private:
  static constexpr std::size_t kFlushAt = 1 << 20;
  static void WriteAll(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = ::write(1, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) std::_Exit(corabind::html::kHelperCannotWrite);
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
  }
  std::string buffer_;
};

void Limit(int resource, unsigned long long value) {
  const rlimit limit{static_cast<rlim_t>(value), static_cast<rlim_t>(value)};
  ::setrlimit(resource, &limit);
}

[[noreturn]] void OverBudget() {
  std::_Exit(corabind::html::kHelperOverBudget);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace corabind::html;
  if (argc != 5) return 2;
  // A parse nobody waits for any more is not finished: killed with its
  // parent (with the thread that started it, which waits for it), or ended
  // here when the parent went before the request was made.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (std::to_string(::getppid()) != argv[4]) std::_Exit(kHelperOrphaned);
  const std::string mode = argv[1];
  // The CPU limit ends the helper with SIGXCPU; the hard limit a second
  // later with SIGKILL, should SIGXCPU be caught.
  const unsigned long long cpu = std::strtoull(argv[2], nullptr, 10);
  const rlimit cpu_limit{static_cast<rlim_t>(cpu), static_cast<rlim_t>(cpu + 1)};
  ::setrlimit(RLIMIT_CPU, &cpu_limit);
  if (!kAddressSanitized) Limit(RLIMIT_AS, std::strtoull(argv[3], nullptr, 10));
  Limit(RLIMIT_CORE, 0);  // an abort here is expected, and no core is wanted

  struct stat st {};
  if (::fstat(0, &st) != 0) return 2;
  const auto size = static_cast<std::size_t>(st.st_size);
  const char* text = "";
  if (size != 0) {
    void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, 0, 0);
    if (mapped == MAP_FAILED) return kHelperOutOfMemory;
    text = static_cast<const char*>(mapped);
  }
  OutWriter out;
  try {
    ParseToWire(std::string_view(text, size),
                mode == "fragment" ? ParseMode::kFragment : ParseMode::kDocument, out,
                /*release=*/false, &OverBudget);
    out.Flush();
    // Gumbo's memory goes with the process; a leak check at exit would only
    // report it.
    std::_Exit(0);
  } catch (const corabind::Failure& failure) {
    if (::ftruncate(1, 0) != 0 || ::lseek(1, 0, SEEK_SET) != 0) return kHelperCannotWrite;
    OutWriter message;
    message.Write(failure.what());
    message.Flush();
    std::_Exit(kHelperRefused);
  } catch (const std::bad_alloc&) {
    std::_Exit(kHelperOutOfMemory);
  }
}
