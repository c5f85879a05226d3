// What the mail writer learns of a file before it becomes a part: where it
// really is, whether it may and can be read, and what its first bytes say it
// holds. A page names thousands of files and libmagic takes tens of
// microseconds over each, so files are probed on worker threads, in the
// order the page names them, while the writer builds parts for those
// already probed.
#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
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
  std::filesystem::path file;          // canonical, when there is no problem
  ContentType type;                    // when asked for and there is no problem
};

// The checks every embedded file passes, in this order: it exists and is a
// plain file (kNotFound), `policy` allows its canonical path (kRefused), and
// it opens and, when `typed`, its first bytes read (kUnreadable).
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

// Probes a list of files on worker threads; Take(i) waits for the i-th.
class ProbeQueue {
 public:
  struct Request {
    std::filesystem::path host;
    bool typed;
  };
  // `policy` must outlive this.
  ProbeQueue(std::vector<Request> requests, const ReadPolicy& policy);
  ~ProbeQueue();
  ProbeQueue(const ProbeQueue&) = delete;
  ProbeQueue& operator=(const ProbeQueue&) = delete;

  std::size_t size() const { return size_; }
  bool typed(std::size_t index) const { return slots_[index].request.typed; }
  // Rethrows what probing the file threw.
  const ProbedFile& Take(std::size_t index);

 private:
  void Work(const ReadPolicy& policy);

  struct Slot {
    Request request;
    ProbedFile result;
    std::exception_ptr error;
    std::atomic<bool> done{false};
  };
  std::size_t size_;
  std::unique_ptr<Slot[]> slots_;
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> stop_{false};
  std::vector<std::jthread> workers_;
};

}  // namespace corabind::mail
