// What the mail writer learns of a file before it becomes a part: where it
// really is, whether it may and can be read, and what its first bytes say it
// holds. A page names thousands of files and libmagic takes tens of
// microseconds over each, so files are probed on worker threads: those the
// page's text seems to name while the page is still being parsed, the rest
// in the order the page names them while parts are made for those done.
#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/posix/base64_file_encoder_posix.h"

namespace corabind::mail {

// A content type as libmagic names it, split at its slash.
struct ContentType {
  std::string type = "application", subtype = "octet-stream";
};

// libmagic's reading of a file's first bytes. One per thread: a magic
// handle is not to be shared.
class ContentTyper {
 public:
  ContentTyper();
  ~ContentTyper();
  ContentTyper(const ContentTyper&) = delete;
  ContentTyper& operator=(const ContentTyper&) = delete;

  // application/octet-stream when libmagic has no answer.
  ContentType TypeOf(const char* head, std::size_t size) const;

 private:
  void* magic_ = nullptr;  // magic_t
};

struct ProbedFile {
  std::optional<ReadProblem> problem;  // why the file cannot be embedded
  // Canonical, once it is known to exist; kept as text, which takes a
  // fraction of a path object's memory (for each of thousands of files).
  std::string file;
  FileIdentity identity;               // of the file checked, when there is no problem
  ContentType type;                    // when asked for and there is no problem
};

// The checks every embedded file passes, in this order: it exists and is a
// plain file (kNotFound), `policy` allows its canonical path (kRefused) and
// opens it (a link on the way since: kRefused; more than one name:
// kHardLink), and, when `typed`, its first bytes read (kUnreadable). Its
// part is read later through ReadChecked.
class FileProber {
 public:
  explicit FileProber(const ReadPolicy& policy) : policy_(policy) {}
  ProbedFile Probe(const std::filesystem::path& host, bool typed);

 private:
  std::optional<std::filesystem::path> Canonical(const std::filesystem::path& host, bool& regular);

  const ReadPolicy& policy_;
  ContentTyper typer_;
  // A page's files mostly share a few folders: each folder is made canonical
  // once rather than once for every file in it.
  std::map<std::filesystem::path, std::optional<std::filesystem::path>> folders_;
};

// The file `probed` checked, opened again through `policy` for its part: a
// problem when it cannot be, or is no longer the very file that was checked.
OpenedFile ReadChecked(const ReadPolicy& policy, const ProbedFile& probed);

// Probes a list of files on worker threads, in order.
class ProbeQueue {
 public:
  struct Request {
    std::filesystem::path host;
    bool typed;
  };
  // Names the files through `add`, one at a time, so that a long list is
  // never held whole.
  using List = std::function<void(const std::function<void(Request)>& add)>;
  // `list` runs on a worker thread, so that even a long list costs the
  // caller nothing to start. A file asked for twice is probed once, typed if
  // either asked so. A list that cannot be made is empty.
  ProbeQueue(List list, ReadPolicy policy, unsigned threads);
  ~ProbeQueue();
  ProbeQueue(const ProbeQueue&) = delete;
  ProbeQueue& operator=(const ProbeQueue&) = delete;

  // Whether `host` is in the list (typed, when `typed`).
  bool Has(const std::filesystem::path& host, bool typed) const;
  // Its probe, waiting for a worker that has started on it, or made with
  // `own` when none has; nullptr when !Has(host, typed). Rethrows what
  // probing it threw.
  const ProbedFile* Find(const std::filesystem::path& host, bool typed, FileProber& own);

 private:
  enum State : int { kWaiting, kStarted, kDone };
  struct Slot {
    const std::string* host = nullptr;  // its key in index_: each path is held once
    bool typed = false;
    ProbedFile result;
    std::exception_ptr error;
    std::atomic<int> state{kWaiting};
  };
  void Fill(const List& list);
  void Work();
  std::optional<std::size_t> SlotOf(const std::filesystem::path& host, bool typed) const;
  // Probes the first file nobody has started on; false when none is left.
  bool RunNext(FileProber& prober);
  void RunUnlessStarted(Slot& slot, FileProber& prober);
  void WaitForList() const { listed_.wait(false, std::memory_order_acquire); }
  static void Run(Slot& slot, FileProber& prober);

  const ReadPolicy policy_;
  std::vector<Slot> slots_;
  std::unordered_map<std::string, std::size_t> index_;  // host path -> slot
  std::atomic<bool> listed_{false};
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> stop_{false};
  std::vector<std::jthread> workers_;  // started by lead_, joined after it
  std::jthread lead_;
};

// The local files `html`'s text seems to name (any attribute value and
// anything in url(...)), probed on `threads` workers while the page is
// parsed. Only a head start: a file is embedded only when the page, once
// parsed, names it, and a guess the page does not bear out costs a failed
// look-up.
std::unique_ptr<ProbeQueue> ProbeLikelyFiles(std::string_view html, const std::u16string& base,
                                             const HostPathResolver& resolve, ReadPolicy policy,
                                             unsigned threads);

// Worker threads for every core, and for every core but one, which is left
// to whatever else runs meanwhile (the parser).
unsigned AllCores();
unsigned SpareCores();

}  // namespace corabind::mail
