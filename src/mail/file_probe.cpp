#include "mail/file_probe.h"

#include <fcntl.h>
#include <magic.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/posix/unique_fd.h"

namespace corabind::mail {

namespace fs = std::filesystem;

namespace {
// libmagic decides from the start of a file; the rest is not read here.
constexpr std::size_t kHeadBytes = 4096;
}  // namespace

ContentTyper::ContentTyper() {
  // The type comes from the first bytes alone: archives are not opened and
  // text is not studied, which a page's resources never need.
  magic_t magic = magic_open(MAGIC_MIME_TYPE | MAGIC_ERROR | MAGIC_NO_CHECK_COMPRESS |
                             MAGIC_NO_CHECK_TAR | MAGIC_NO_CHECK_CDF | MAGIC_NO_CHECK_ELF |
                             MAGIC_NO_CHECK_ENCODING | MAGIC_NO_CHECK_JSON | MAGIC_NO_CHECK_CSV);
  if (magic && magic_load(magic, nullptr) != 0) {
    magic_close(magic);
    magic = nullptr;
  }
  magic_ = magic;
}

ContentTyper::~ContentTyper() {
  if (magic_) magic_close(static_cast<magic_t>(magic_));
}

ContentType ContentTyper::TypeOf(const char* head, std::size_t size) const {
  const char* found = magic_ ? magic_buffer(static_cast<magic_t>(magic_), head, size) : nullptr;
  const std::string type = found ? found : "";
  const auto slash = type.find('/');
  if (slash == std::string::npos || slash == 0 || slash + 1 == type.size()) return {};
  return {type.substr(0, slash), type.substr(slash + 1)};
}

std::optional<fs::path> FileProber::Canonical(const fs::path& host, bool& regular) {
  struct stat st {};
  if (::lstat(host.c_str(), &st) != 0) return std::nullopt;
  const fs::path name = host.filename();
  const fs::path folder = host.parent_path();
  if (S_ISLNK(st.st_mode) || name.empty() || name == "." || name == ".." || folder.empty()) {
    std::error_code ec;
    fs::path file = fs::canonical(host, ec);
    if (ec) return std::nullopt;
    regular = fs::is_regular_file(file, ec);
    return file;
  }
  regular = S_ISREG(st.st_mode);
  auto [known, fresh] = folders_.try_emplace(folder);
  if (fresh) {
    std::error_code ec;
    fs::path canonical = fs::canonical(folder, ec);
    if (!ec) known->second = std::move(canonical);
  }
  if (!known->second) return std::nullopt;
  return *known->second / name;
}

ProbedFile FileProber::Probe(const fs::path& host, bool typed) {
  ProbedFile out;
  bool regular = false;
  auto file = Canonical(host, regular);
  if (!file || !regular) {
    out.problem = ReadProblem::kNotFound;
    return out;
  }
  out.file = std::move(*file);
  if (policy_.confined() && !policy_.Allows(out.file)) {
    out.problem = ReadProblem::kRefused;
    return out;
  }
  // Not blocking: a file swapped for a pipe since it was looked at must not
  // hold the run.
  const UniqueFd fd(::open(out.file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) {
    out.problem = ReadProblem::kUnreadable;
    return out;
  }
  if (!typed) return out;
  char head[kHeadBytes];
  std::size_t have = 0;
  while (have < sizeof head) {
    const ssize_t n = ::read(fd.get(), head + have, sizeof head - have);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      out.problem = ReadProblem::kUnreadable;
      return out;
    }
    if (n == 0) break;
    have += static_cast<std::size_t>(n);
  }
  out.type = typer_.TypeOf(head, have);
  return out;
}

ProbeQueue::ProbeQueue(std::vector<Request> requests, const ReadPolicy& policy)
    : size_(requests.size()), slots_(std::make_unique<Slot[]>(requests.size())) {
  for (std::size_t i = 0; i < size_; ++i) slots_[i].request = std::move(requests[i]);
  const std::size_t cores = std::max(1U, std::thread::hardware_concurrency());
  const std::size_t threads = std::min(cores, size_);
  workers_.reserve(threads);
  for (std::size_t i = 0; i < threads; ++i) {
    workers_.emplace_back([this, &policy] { Work(policy); });
  }
}

ProbeQueue::~ProbeQueue() {
  stop_ = true;
  workers_.clear();  // joins
}

void ProbeQueue::Work(const ReadPolicy& policy) {
  FileProber prober(policy);
  while (!stop_) {
    const std::size_t index = next_.fetch_add(1);
    if (index >= size_) return;
    Slot& slot = slots_[index];
    try {
      slot.result = prober.Probe(slot.request.host, slot.request.typed);
    } catch (...) {
      slot.error = std::current_exception();
    }
    slot.done.store(true, std::memory_order_release);
    slot.done.notify_one();
  }
}

const ProbedFile& ProbeQueue::Take(std::size_t index) {
  Slot& slot = slots_[index];
  slot.done.wait(false, std::memory_order_acquire);
  if (slot.error) std::rethrow_exception(slot.error);
  return slot.result;
}

}  // namespace corabind::mail
