#include "mail/file_probe.h"

#include <magic.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string_view>
#include <unordered_set>

#include "core/text.h"
#include "mime/reference_rules.h"
#include "platform/posix/unique_fd.h"

namespace corabind::mail {

namespace fs = std::filesystem;

namespace {
// libmagic decides from the start of a file; the rest is not read here.
constexpr std::size_t kHeadBytes = 4096;

// The image formats that nearly every mail page uses, told by their first
// bytes as libmagic tells them: libmagic tries its whole list of formats on
// each file, tens of microseconds that a page of ten thousand images feels.
std::optional<ContentType> CommonImage(std::string_view head) {
  struct Signature {
    std::string_view bytes;
    const char* subtype;
  };
  static constexpr Signature kSignatures[] = {
      {"GIF87a", "gif"},
      {"GIF89a", "gif"},
      {"\x89PNG\r\n\x1a\n", "png"},
      {"\xFF\xD8\xFF", "jpeg"},
  };
  for (const Signature& s : kSignatures) {
    // libmagic wants a byte past the signature before it names the type.
    if (head.size() > s.bytes.size() && head.starts_with(s.bytes))
      return ContentType{"image", s.subtype};
  }
  return std::nullopt;
}
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
  if (auto image = CommonImage(std::string_view(head, size))) return *image;
  const char* found = magic_ ? magic_buffer(static_cast<magic_t>(magic_), head, size) : nullptr;
  const std::string type = found ? found : "";
  const auto slash = type.find('/');
  if (slash == std::string::npos || slash == 0 || slash + 1 == type.size()) return {};
  // A part is sent base64, which a composite type may not be (RFC 2046):
  // bytes that look like a mail are only bytes here.
  const std::string top = type.substr(0, slash);
  if (top == "multipart" || top == "message") return {};
  return {top, type.substr(slash + 1)};
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
  // Opened from the allowed folder through no link: a folder swapped for a
  // link since it was made canonical fails here, and a file swapped for a
  // pipe does not hold the run.
  const OpenedFile opened = policy_.OpenCanonical(*file);
  out.file = file->native();
  out.problem = opened.problem;
  if (out.problem) return out;
  out.identity = opened.identity();
  if (!typed) return out;
  char head[kHeadBytes];
  std::size_t have = 0;
  while (have < sizeof head) {
    const ssize_t n = ::read(opened.fd.get(), head + have, sizeof head - have);
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

OpenedFile ReadChecked(const ReadPolicy& policy, const ProbedFile& probed) {
  OpenedFile opened = policy.OpenCanonical(probed.file);
  if (!opened.problem && opened.identity() != probed.identity) {
    opened.problem = ReadProblem::kUnreadable;  // another file put in its place
    opened.fd = UniqueFd();
  }
  return opened;
}

namespace {

// The values after each "=" and inside each "url(" of `text`: an attribute
// value or a style sheet's reference as written, quotes and all undone only
// as far as cheap. Character references are left as they stand; a value
// that holds one is simply missed here and probed when the page names it.
std::vector<std::string_view> LikelyValues(std::string_view text) {
  constexpr std::size_t kLongest = 2048;  // longer values are not file names
  // More than any real page names; a hostile one gets no further head start.
  constexpr std::size_t kMost = 100000;
  std::vector<std::string_view> values;
  const auto value_at = [&](std::size_t at, std::string_view ends) {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\n')) ++at;
    if (at >= text.size()) return;
    const char quote = text[at];
    if (quote == '"' || quote == '\'') {
      ++at;
      ends = std::string_view(&quote, 1);
    }
    // Looked for no further than the longest value, so that text without
    // its closing quotes costs no more than text with them.
    const std::string_view rest = text.substr(at, kLongest + 1);
    const std::size_t end = rest.find_first_of(ends);
    if (end == std::string_view::npos || end == 0) return;
    values.push_back(rest.substr(0, end));
  };
  for (std::size_t at = text.find_first_of("=(");
       at != std::string_view::npos && values.size() < kMost;
       at = text.find_first_of("=(", at + 1)) {
    if (text[at] == '=') {
      value_at(at + 1, " \t\n>");
    } else if (at >= 3 && (text[at - 1] | 0x20) == 'l' && (text[at - 2] | 0x20) == 'r' &&
               (text[at - 3] | 0x20) == 'u') {
      value_at(at + 1, ") \t\n");
    }
  }
  return values;
}

}  // namespace

std::unique_ptr<ProbeQueue> ProbeLikelyFiles(std::string_view html, const std::u16string& base,
                                             const HostPathResolver& resolve, ReadPolicy policy,
                                             unsigned threads) {
  auto list = [html, base, resolve](const std::function<void(ProbeQueue::Request)>& add) {
    if (!resolve) return;
    std::unordered_set<std::string_view> seen;
    for (const std::string_view value : LikelyValues(html)) {
      if (!seen.insert(value).second) continue;
      const auto path = LocalPath(FromUtf8(value), base);
      if (!path) continue;
      if (auto host = resolve(*path)) add({std::move(*host), true});
    }
  };
  return std::make_unique<ProbeQueue>(std::move(list), std::move(policy), threads);
}

unsigned AllCores() {
  return std::max(1U, std::thread::hardware_concurrency());
}

unsigned SpareCores() {
  return std::max(1U, AllCores() - 1);
}

ProbeQueue::ProbeQueue(List list, ReadPolicy policy, unsigned threads)
    : policy_(std::move(policy)) {
  lead_ = std::jthread([this, list = std::move(list), threads] {
    try {
      Fill(list);
    } catch (...) {
      // Without a list every file is probed when it is asked for.
      slots_.clear();
      index_.clear();
    }
    listed_.store(true, std::memory_order_release);
    listed_.notify_all();
    const std::size_t workers = std::min<std::size_t>(threads, slots_.size());
    for (std::size_t i = 1; i < workers; ++i) workers_.emplace_back([this] { Work(); });
    Work();
  });
}

ProbeQueue::~ProbeQueue() {
  stop_ = true;
  lead_.join();
  workers_.clear();  // joins
}

void ProbeQueue::Fill(const List& list) {
  struct Unique {
    const std::string* host;
    bool typed;
  };
  std::vector<Unique> unique;
  list([&](Request r) {
    const auto [known, fresh] = index_.try_emplace(r.host.native(), unique.size());
    if (fresh) {
      unique.push_back({&known->first, r.typed});
    } else if (r.typed) {
      unique[known->second].typed = true;
    }
  });
  slots_ = std::vector<Slot>(unique.size());
  for (std::size_t i = 0; i < unique.size(); ++i) {
    slots_[i].host = unique[i].host;
    slots_[i].typed = unique[i].typed;
  }
}

void ProbeQueue::Run(Slot& slot, FileProber& prober) {
  try {
    slot.result = prober.Probe(*slot.host, slot.typed);
  } catch (...) {
    slot.error = std::current_exception();
  }
  slot.state.store(kDone, std::memory_order_release);
  slot.state.notify_all();
}

void ProbeQueue::Work() {
  FileProber prober(policy_);
  while (!stop_ && RunNext(prober)) {
  }
}

std::optional<std::size_t> ProbeQueue::SlotOf(const fs::path& host, bool typed) const {
  WaitForList();
  const auto found = index_.find(host.native());
  if (found == index_.end() || (typed && !slots_[found->second].typed)) return {};
  return found->second;
}

bool ProbeQueue::Has(const fs::path& host, bool typed) const {
  return SlotOf(host, typed).has_value();
}

void ProbeQueue::RunUnlessStarted(Slot& slot, FileProber& prober) {
  int waiting = kWaiting;
  if (slot.state.compare_exchange_strong(waiting, kStarted)) Run(slot, prober);
}

bool ProbeQueue::RunNext(FileProber& prober) {
  const std::size_t index = next_.fetch_add(1);
  if (index >= slots_.size()) return false;
  RunUnlessStarted(slots_[index], prober);
  return true;
}

const ProbedFile* ProbeQueue::Find(const fs::path& host, bool typed, FileProber& own) {
  const auto index = SlotOf(host, typed);
  if (!index) return nullptr;
  Slot& slot = slots_[*index];
  RunUnlessStarted(slot, own);
  // Rather than wait for a worker, help it with the files after this one.
  while (slot.state.load(std::memory_order_acquire) != kDone && !stop_ && RunNext(own)) {
  }
  int state;
  while ((state = slot.state.load(std::memory_order_acquire)) != kDone) {
    slot.state.wait(state, std::memory_order_acquire);
  }
  if (slot.error) std::rethrow_exception(slot.error);
  return &slot.result;
}

}  // namespace corabind::mail
