// The HTTP side of `corabind serve`: a loopback server through which the
// bundled editor page (or any page it serves) calls the control. Calls run
// one at a time on the thread that owns the library and the desktop (the
// main thread, where Qt's windows must live). Connections are served by one
// thread that waits on all of them at once and never on one alone: a
// request's head is judged (host, origin, secret) before its body is read,
// and only a whole request is handed on, so no idle, slow or oversized
// client holds anything another client needs.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "serve/mail_folder.h"

namespace corabind::serve {

// Runs jobs one at a time on the thread that calls Serve().
class CallQueue {
 public:
  enum class Outcome { kDone, kBusy, kStopping, kDialogOpen };

  // From any thread: waits up to `wait` for the running job to finish, then
  // runs `job` on the serving thread and returns when it is done. While the
  // running job has a dialog open, no job waits for it: kDialogOpen at once.
  Outcome Run(const std::function<void()>& job, std::chrono::milliseconds wait);
  // From the serving thread, as the running job's dialogs open and close.
  void SetDialogOpen(bool open);
  // On the owning thread: runs jobs until Stop().
  void Serve();
  // Any job already running finishes; no other starts.
  void Stop();
  bool stopping() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  const std::function<void()>* job_ = nullptr;
  bool busy_ = false, done_ = false, stop_ = false, dialog_open_ = false;
};

struct BridgeOptions {
  std::string secret;  // every call carries it in X-Corabind-Secret
  // The mail's folder: /info tells it, /files/<files_token>/ serves what
  // lies beneath it (and the allowed folders), /image adds to it.
  std::shared_ptr<MailFolder> folder;
  std::string files_token;
  std::size_t max_body = std::size_t{32} << 20;
  std::chrono::milliseconds busy_wait{10000};  // how long a call waits for the one before it
  std::chrono::seconds io_timeout{20};         // reading a body, writing an answer
  // From a connection's start, or the end of its last answer, to the end of
  // the next request's head; an idle connection is closed after as long.
  std::chrono::seconds head_timeout{5};
  std::size_t max_connections = 64;  // open at once; the next is answered 503 and closed
  // Answers a call in the automation protocol (runs on the serving thread).
  std::function<std::string(const std::string& request_body, int& status)> call;
  // Composes a mail: {"html":..., "folder":...} to the message's bytes.
  std::function<std::string(const std::string& request_body, int& status)> compose;
  // Composes and sends it: {... "server":"host:port", "from", "to":[...], "subject"}.
  std::function<std::string(const std::string& request_body, int& status)> send;
};

class Bridge {
 public:
  explicit Bridge(BridgeOptions options);
  ~Bridge();
  Bridge(const Bridge&) = delete;
  Bridge& operator=(const Bridge&) = delete;

  // Binds 127.0.0.1:`port` (0: any free port) and returns the port, or -1.
  int Bind(int port);
  // Serves connections on a thread of its own until ServeCalls() returns.
  void Start();
  // Serves calls on this thread until Stop() (from a signal, /shutdown or
  // another thread); `interrupt` is then run once, from the stopping thread,
  // to end any dialog the running call has open. Answers already made are
  // still delivered.
  void ServeCalls();
  void Stop();
  // From the serving thread: a call's dialog opened (true) or closed.
  void SetDialogOpen(bool open) { calls_.SetDialogOpen(open); }
  void set_interrupt(std::function<void()> interrupt) { interrupt_ = std::move(interrupt); }

 private:
  class Front;

  BridgeOptions options_;
  CallQueue calls_;
  std::function<void()> interrupt_;
  std::once_flag stopped_;
  std::unique_ptr<Front> front_;
  std::unique_ptr<std::thread> listener_;
};

}  // namespace corabind::serve
