#include "serve/bridge.h"

#include <arpa/inet.h>
#include <glib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <atomic>
#include <list>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

#include "core/failure.h"
#include "core/text.h"
#include "platform/posix/unique_fd.h"
#include "serve/request_reader.h"
#include "serve/web_files.h"

namespace corabind::serve {

CallQueue::Outcome CallQueue::Run(const std::function<void()>& job,
                                  std::chrono::milliseconds wait) {
  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, wait, [&] { return stop_ || !busy_ || dialog_open_; }))
    return Outcome::kBusy;
  if (stop_) return Outcome::kStopping;
  if (busy_) return Outcome::kDialogOpen;
  busy_ = true;
  done_ = false;
  job_ = &job;
  changed_.notify_all();
  changed_.wait(lock, [&] { return done_; });
  busy_ = false;
  changed_.notify_all();
  return Outcome::kDone;
}

void CallQueue::Serve() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stop_ || job_; });
    if (!job_) return;  // stopping, with nothing left to run
    const std::function<void()>* job = job_;
    job_ = nullptr;
    lock.unlock();
    (*job)();
    lock.lock();
    done_ = true;
    changed_.notify_all();
  }
}

void CallQueue::SetDialogOpen(bool open) {
  std::lock_guard lock(mutex_);
  dialog_open_ = open;
  changed_.notify_all();
}

void CallQueue::Stop() {
  std::lock_guard lock(mutex_);
  stop_ = true;
  changed_.notify_all();
}

bool CallQueue::stopping() const {
  std::lock_guard lock(mutex_);
  return stop_;
}

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kSecretHeader = "X-Corabind-Secret";
constexpr std::string_view kFilesPrefix = "/files/";
// The editor's own files: its scripts only, loaded mail's images from
// anywhere (the page decides whether to fetch remote ones), no plugins.
constexpr std::string_view kPagePolicy =
    "default-src 'self'; script-src 'self'; style-src 'self' 'unsafe-inline'; "
    "img-src 'self' data: blob: https: http:; object-src 'none'; base-uri 'none'; "
    "form-action 'none'; frame-ancestors 'none'";
// A file of the mail's folder is shown, never run: opened by itself it is a
// page of no origin with nothing to load.
constexpr std::string_view kFilePolicy =
    "sandbox; default-src 'none'; img-src 'self' data:; style-src 'unsafe-inline'";
constexpr std::size_t kMaxHead = 16 << 10;    // a request's line and fields
constexpr std::size_t kReadPiece = 64 << 10;  // taken from a socket at once
// After an answer that ends a connection whose request was not read to its
// end, what the client still sends is taken and dropped this long, so that
// closing does not reset the connection before the client read the answer.
constexpr std::chrono::seconds kLinger{2};

struct Answer {
  int status = 200;
  std::string content_type = "application/json";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
};

Answer Refused(int status, const std::string& why) {
  return {status, "application/json", nlohmann::json{{"refused", why}}.dump(), {}};
}

// Each status this server answers, with what a refusal of the reader's own
// says.
struct Status {
  int code;
  const char* reason;
  const char* why;
};
constexpr Status kStatuses[] = {
    {200, "OK", ""},
    {400, "Bad Request", "not an HTTP request this server reads"},
    {401, "Unauthorized", ""},
    {403, "Forbidden", ""},
    {404, "Not Found", ""},
    {408, "Request Timeout", "the request did not arrive in time"},
    {409, "Conflict", ""},
    {413, "Content Too Large", "the body is larger than this server takes (--max-body)"},
    {415, "Unsupported Media Type", ""},
    {417, "Expectation Failed", "only 100-continue is expected"},
    {421, "Misdirected Request", ""},
    {422, "Unprocessable Content", ""},
    {431, "Request Header Fields Too Large", "the request's head is too large"},
    {501, "Not Implemented", "bodies are sent whole or chunked, nothing else"},
    {503, "Service Unavailable", ""},
    {505, "HTTP Version Not Supported", "HTTP/1.1 only"},
    {0, "Unknown", "not an HTTP request this server reads"},  // any other
};

const Status& StatusOf(int code) {
  for (const Status& s : kStatuses)
    if (s.code == code) return s;
  return std::end(kStatuses)[-1];
}

// A refusal by the reader, as its status tells it.
Answer ReaderRefused(int code) {
  return Refused(code, StatusOf(code).why);
}

std::string Wire(const Answer& answer, bool keep_alive, bool with_body) {
  std::string out =
      "HTTP/1.1 " + std::to_string(answer.status) + " " + StatusOf(answer.status).reason + "\r\n";
  // Sent with every answer: nothing is cached, sniffed, framed by another
  // page or told where it came from. No CORS header is ever sent, so the
  // browser keeps other origins' pages from reading any answer.
  out +=
      "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\nX-Frame-Options: DENY\r\n"
      "Referrer-Policy: no-referrer\r\n";
  for (const auto& [name, value] : answer.headers) out += name + ": " + value + "\r\n";
  out += "Content-Type: " + answer.content_type + "\r\n";
  out += "Content-Length: " + std::to_string(answer.body.size()) + "\r\n";
  out += keep_alive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
  if (with_body) out += answer.body;
  return out;
}

// Whole groups of four, padded only at the end: GLib's decoder passes over
// anything else, and a mangled upload is to be told, not stored as some
// other picture.
bool IsBase64(std::string_view data) {
  constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::size_t body = data.find_last_not_of('=') + 1;
  if (data.empty() || data.size() % 4 != 0 || data.size() - body > 2) return false;
  return data.substr(0, body).find_first_not_of(kAlphabet) == std::string_view::npos;
}

// Compared in full whatever differs, so timing tells nothing about the secret.
bool SameSecret(std::string_view given, const std::string& secret) {
  unsigned diff = given.size() == secret.size() ? 0 : 1;
  for (std::size_t i = 0; i < secret.size(); ++i)
    diff |= static_cast<unsigned char>(i < given.size() ? given[i] : 0) ^
            static_cast<unsigned char>(secret[i]);
  return diff == 0;
}

}  // namespace

// The connections: one thread polls them all, reads what has arrived,
// judges each head before its body, and hands whole requests on.
class Bridge::Front {
 public:
  using Job = std::function<std::string(const std::string&, int&)>;

  explicit Front(Bridge& bridge)
      : bridge_(bridge),
        options_(bridge.options_),
        wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

  ~Front() {
    for (Worker& w : workers_) w.thread.join();
  }

  int Bind(int port) {
    listener_.emplace(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!listener_->ok() || !wake_.ok()) return -1;
    // No SO_REUSEPORT: no second process may listen on our port.
    const int yes = 1;
    ::setsockopt(listener_->get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(listener_->get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_->get(), SOMAXCONN) != 0 ||
        ::getsockname(listener_->get(), reinterpret_cast<sockaddr*>(&address), &size) != 0)
      return -1;
    port_ = ntohs(address.sin_port);
    return port_;
  }

  // Serves until Finish(): then delivers what is answered and returns.
  void Run();

  // From the thread that served the calls: no call will run any more.
  void Finish() {
    finishing_ = true;
    Wake();
  }

 private:
  enum class Phase { kReading, kWorking, kWriting, kLingering };
  struct Connection {
    Connection(int socket, RequestReader r) : fd(socket), reader(std::move(r)) {}
    UniqueFd fd;
    RequestReader reader;
    Phase phase = Phase::kReading;
    Clock::time_point deadline;
    std::string out;
    std::size_t sent = 0;
    bool close_after = false;
  };
  struct Worker {
    std::thread thread;
    std::atomic<bool> done = false;
  };
  struct Made {
    std::uint64_t connection;
    Answer answer;
  };

  void Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(wake_.get(), &one, sizeof one);
  }
  void Accept(Clock::time_point now);
  void Take(std::uint64_t id, Connection& c, std::string_view bytes, Clock::time_point now);
  std::optional<Answer> Judge(const RequestHead& head) const;
  void Dispatch(std::uint64_t id, Connection& c, Clock::time_point now);
  void Reply(Connection& c, const Answer& answer, bool close, Clock::time_point now);
  // Returns false when the connection is to be dropped.
  bool Flush(std::uint64_t id, Connection& c, Clock::time_point now);
  bool HostOk(const RequestHead& head) const {
    const std::string_view host = head.Header("Host");
    const std::string port = ":" + std::to_string(port_);
    return host == "127.0.0.1" + port || host == "localhost" + port;
  }
  RequestReader NewReader() const { return RequestReader(kMaxHead, options_.max_body); }
  // What follows /files/<token>/ in `path`, or nothing for another path.
  std::optional<std::string_view> FilesPath(std::string_view path) const {
    const std::string prefix = std::string(kFilesPrefix) + options_.files_token + "/";
    if (options_.files_token.empty() || path.substr(0, prefix.size()) != prefix)
      return std::nullopt;
    return path.substr(prefix.size());
  }
  // Runs `make` on a worker thread and sends its answer when ready.
  void Work(std::uint64_t id, Connection& c, std::function<Answer()> make);
  Answer ServeFile(std::string_view relative) const;
  Answer AddImage(const std::string& body) const;

  Bridge& bridge_;
  const BridgeOptions& options_;
  std::optional<UniqueFd> listener_;
  UniqueFd wake_;
  int port_ = 0;
  std::atomic<bool> finishing_ = false;
  std::map<std::uint64_t, Connection> connections_;
  std::uint64_t next_id_ = 0;
  std::list<Worker> workers_;
  std::mutex made_mutex_;
  std::vector<Made> made_;  // answers from workers, for the polling thread to send
};

void Bridge::Front::Run() {
  std::vector<pollfd> polled;
  std::vector<std::uint64_t> ids;
  std::string piece(kReadPiece, '\0');
  std::optional<Clock::time_point> finish_by;
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (finishing_ && !finish_by) {
      finish_by = now + options_.io_timeout;
      listener_.reset();
    }
    if (finish_by) {
      // Only connections with an answer on its way are waited for.
      std::erase_if(connections_, [](const auto& entry) {
        const Connection& c = entry.second;
        return c.phase != Phase::kWorking && c.phase != Phase::kWriting;
      });
      if (connections_.empty() || now >= *finish_by) return;
    }

    polled.clear();
    ids.clear();
    polled.push_back({wake_.get(), POLLIN, 0});
    if (listener_) polled.push_back({listener_->get(), POLLIN, 0});
    Clock::time_point next = now + std::chrono::hours(1);
    for (auto& [id, c] : connections_) {
      short events = 0;
      if (c.phase == Phase::kReading || c.phase == Phase::kLingering) events |= POLLIN;
      if (c.sent < c.out.size()) events |= POLLOUT;
      if (c.phase != Phase::kWorking) next = std::min(next, c.deadline);
      // A connection whose call is running is not watched at all: a hang-up
      // would be reported again and again until the answer is ready.
      polled.push_back({c.phase == Phase::kWorking ? -1 : c.fd.get(), events, 0});
      ids.push_back(id);
    }
    if (finish_by) next = std::min(next, *finish_by);
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - now).count();
    if (::poll(polled.data(), polled.size(), static_cast<int>(std::max<long>(wait, 0))) < 0 &&
        errno != EINTR)
      return;
    const Clock::time_point after = Clock::now();

    if (polled[0].revents) {
      std::uint64_t count = 0;
      [[maybe_unused]] auto n = ::read(wake_.get(), &count, sizeof count);
      std::vector<Made> made;
      {
        std::lock_guard lock(made_mutex_);
        made.swap(made_);
      }
      for (Made& m : made) {
        const auto it = connections_.find(m.connection);
        if (it != connections_.end()) Reply(it->second, m.answer, false, after);
      }
      for (auto it = workers_.begin(); it != workers_.end();) {
        if (!it->done) {
          ++it;
          continue;
        }
        it->thread.join();
        it = workers_.erase(it);
      }
    }
    const std::size_t first = listener_ ? 2 : 1;

    for (std::size_t i = 0; i < ids.size(); ++i) {
      const auto it = connections_.find(ids[i]);
      if (it == connections_.end()) continue;
      Connection& c = it->second;
      const short revents = polled[first + i].revents;
      bool keep = true;
      if (revents & POLLOUT) keep = Flush(ids[i], c, after);
      if (keep && (revents & (POLLIN | POLLHUP | POLLERR)) &&
          (c.phase == Phase::kReading || c.phase == Phase::kLingering)) {
        const ssize_t n = ::recv(c.fd.get(), piece.data(), piece.size(), 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
          keep = false;  // the client is gone, or closed its side
        } else if (n > 0 && c.phase == Phase::kReading) {
          Take(ids[i], c, std::string_view(piece.data(), static_cast<std::size_t>(n)), after);
          if (c.sent < c.out.size()) keep = Flush(ids[i], c, after);
        }
      } else if (keep && (revents & (POLLHUP | POLLERR)) && c.phase != Phase::kWorking) {
        keep = false;
      }
      if (keep && c.phase != Phase::kWorking && after >= c.deadline) {
        // A head that began but did not end in time is told so; a
        // connection that was only idle is closed quietly.
        if (c.phase == Phase::kReading && c.reader.started() && c.out.empty()) {
          Reply(c, ReaderRefused(408), true, after);
          keep = Flush(ids[i], c, after);
        } else {
          keep = false;
        }
      }
      if (!keep) connections_.erase(it);
    }
    // After the closed connections are gone, so that they count against no
    // newcomer.
    if (listener_ && polled[1].revents) Accept(after);
  }
}

void Bridge::Front::Accept(Clock::time_point now) {
  for (;;) {
    const int socket = ::accept4(listener_->get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (socket < 0) return;
    if (connections_.size() >= options_.max_connections) {
      const UniqueFd fd(socket);
      // Told at once and closed: the answer is small enough for any socket's
      // buffer, so this never waits.
      const std::string busy =
          Wire(Refused(503, "too many connections open; try again"), false, true);
      [[maybe_unused]] auto n = ::send(fd.get(), busy.data(), busy.size(), MSG_NOSIGNAL);
      ::shutdown(fd.get(), SHUT_WR);
      continue;
    }
    // Answers go out at once, not after the client's delayed acknowledgement.
    const int yes = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    connections_.try_emplace(next_id_++, socket, NewReader()).first->second.deadline =
        now + options_.head_timeout;
  }
}

void Bridge::Front::Take(std::uint64_t id, Connection& c, std::string_view bytes,
                         Clock::time_point now) {
  RequestReader::Step step = c.reader.Read(bytes);
  if (step == RequestReader::Step::kHead) {
    if (std::optional<Answer> refusal = Judge(c.reader.head())) {
      Reply(c, *refusal, true, now);
      return;
    }
    c.reader.Continue();
    c.deadline = now + options_.io_timeout;
    if (c.reader.expects_continue()) c.out += "HTTP/1.1 100 Continue\r\n\r\n";
    step = c.reader.Read({});
  }
  if (step == RequestReader::Step::kError) {
    Reply(c, ReaderRefused(c.reader.error_status()), true, now);
  } else if (step == RequestReader::Step::kDone) {
    Dispatch(id, c, now);
  }
}

// Everything a request is judged by is in its head: it is refused before a
// byte of its body is read.
std::optional<Answer> Bridge::Front::Judge(const RequestHead& head) const {
  const std::string path = head.target.substr(0, head.target.find('?'));
  if (head.method == "OPTIONS")  // a preflight is another origin asking leave; it gets none
    return Refused(403, "no other origin may call this server");
  // Every request names this server as its host: a page of another name
  // that resolves to 127.0.0.1 (DNS rebinding) is turned away.
  const bool call =
      head.method == "POST" && (path == "/call" || path == "/compose" || path == "/send" ||
                                path == "/image" || path == "/info" || path == "/shutdown");
  // A mail's files carry no secret (an <img> cannot send one): the path's
  // token, made anew each run, stands in for it.
  const bool file =
      head.method == "GET" && (std::any_of(BundledWebFiles().begin(), BundledWebFiles().end(),
                                           [&](const WebFile& f) { return f.url == path; }) ||
                               (options_.folder && FilesPath(path)));
  if (!call && !file) return Refused(404, "no such page");
  if (!HostOk(head)) return Refused(421, "this server answers only to its own address");
  if (file) return std::nullopt;
  // A call: no other page's origin, the secret, JSON.
  if (head.Has("Origin") && head.Header("Origin") != "http://" + std::string(head.Header("Host")))
    return Refused(403, "calls come only from this server's own pages");
  if (!head.Has(kSecretHeader)) return Refused(401, "the call carries no secret");
  if (!SameSecret(head.Header(kSecretHeader), options_.secret)) return Refused(403, "wrong secret");
  const bool json_body =
      path == "/call" || path == "/compose" || path == "/send" || path == "/image";
  if (json_body && head.Header("Content-Type").rfind("application/json", 0) != 0)
    return Refused(415, "a call is sent as application/json");
  return std::nullopt;
}

void Bridge::Front::Dispatch(std::uint64_t id, Connection& c, Clock::time_point now) {
  const RequestHead& head = c.reader.head();
  const std::string path = head.target.substr(0, head.target.find('?'));
  if (head.method == "GET") {
    for (const WebFile& file : BundledWebFiles()) {
      if (file.url != path) continue;
      Answer answer{200, std::string(file.content_type), std::string(file.body), {}};
      answer.headers.emplace_back("Content-Security-Policy", kPagePolicy);
      return Reply(c, answer, false, now);
    }
    const std::string relative(*FilesPath(path));
    return Work(id, c, [this, relative] { return ServeFile(relative); });
  }
  if (path == "/info") {
    nlohmann::json info{{"send", static_cast<bool>(options_.send)}};
    if (options_.folder) {
      info["folder"] = options_.folder->folder().string();
      info["files"] = std::string(kFilesPrefix) + options_.files_token + "/";
    }
    return Reply(c, {200, "application/json", info.dump(), {}}, false, now);
  }
  if (path == "/shutdown") {
    Reply(c, {200, "application/json", "{\"stopping\":true}", {}}, false, now);
    bridge_.Stop();
    return;
  }
  if (path == "/image")
    return Work(id, c, [this, body = c.reader.TakeBody()] { return AddImage(body); });
  // A call runs on the serving thread, one at a time; its wait for that
  // thread is a worker's, never this thread's.
  const Job& job = path == "/call"      ? options_.call
                   : path == "/compose" ? options_.compose
                                        : options_.send;
  const char* content_type = path == "/compose" ? "message/rfc822" : "application/json";
  Work(id, c, [this, &job, content_type, body = c.reader.TakeBody()] {
    if (!job) return Refused(404, "no such page");
    int status = 200;
    std::string made;
    const std::function<void()> run = [&] { made = job(body, status); };
    switch (bridge_.calls_.Run(run, options_.busy_wait)) {
      case CallQueue::Outcome::kBusy:
        return Refused(503, "busy: another call is still running");
      case CallQueue::Outcome::kStopping:
        return Refused(503, "the server is stopping");
      case CallQueue::Outcome::kDialogOpen:
        // Told at once: the person is answering a dialog, and the page
        // says so rather than wait for it.
        return Refused(409, "a dialog is open");
      case CallQueue::Outcome::kDone:
        break;
    }
    return Answer{status, status == 200 ? content_type : "application/json", std::move(made), {}};
  });
}

void Bridge::Front::Work(std::uint64_t id, Connection& c, std::function<Answer()> make) {
  c.phase = Phase::kWorking;
  Worker& worker = workers_.emplace_back();
  worker.thread = std::thread([this, id, &worker, make = std::move(make)] {
    Answer answer = make();
    {
      std::lock_guard lock(made_mutex_);
      made_.push_back({id, std::move(answer)});
    }
    worker.done = true;
    Wake();
  });
}

Answer Bridge::Front::ServeFile(std::string_view relative) const {
  std::optional<MailFolder::File> file = options_.folder->Read(relative);
  if (!file) return Refused(404, "no such file in the mail's folders");
  Answer answer{200, std::move(file->content_type), std::move(file->bytes), {}};
  answer.headers.emplace_back("Content-Security-Policy", kFilePolicy);
  return answer;
}

Answer Bridge::Front::AddImage(const std::string& body) const {
  nlohmann::json request;
  try {
    request = nlohmann::json::parse(body);
  } catch (const nlohmann::json::exception&) {
    request = nullptr;
  }
  if (!options_.folder || !request.is_object() || !request.contains("name") ||
      !request["name"].is_string() || !request.contains("data") || !request["data"].is_string())
    return Refused(400, "takes {\"name\":\"photo.png\",\"data\":\"<base64>\"}");
  const std::string& data = request["data"].get_ref<const std::string&>();
  const bool base64 = IsBase64(data);
  if (!base64) return Refused(400, "\"data\" is not base64 of at least one byte");
  gsize size = 0;
  std::unique_ptr<guchar, decltype(&g_free)> bytes(g_base64_decode(data.c_str(), &size), g_free);
  try {
    const std::string name = options_.folder->AddFile(
        request["name"].get_ref<const std::string&>(),
        std::string_view(reinterpret_cast<const char*>(bytes.get()), size));
    return {
        200, "application/json", nlohmann::json{{"src", PercentEncode(name, false)}}.dump(), {}};
  } catch (const Failure& f) {
    return Refused(422, ToUtf8(f.description()));
  }
}

void Bridge::Front::Reply(Connection& c, const Answer& answer, bool close, Clock::time_point now) {
  const bool whole = c.reader.error_status() == 0 && !close;
  c.close_after = !whole || !c.reader.keep_alive() || finishing_;
  c.out += Wire(answer, !c.close_after, true);
  c.phase = Phase::kWriting;
  c.deadline = now + options_.io_timeout;
}

bool Bridge::Front::Flush(std::uint64_t id, Connection& c, Clock::time_point now) {
  while (c.sent < c.out.size()) {
    const ssize_t n =
        ::send(c.fd.get(), c.out.data() + c.sent, c.out.size() - c.sent, MSG_NOSIGNAL);
    if (n < 0) return errno == EAGAIN || errno == EINTR;
    c.sent += static_cast<std::size_t>(n);
  }
  c.out.clear();
  c.sent = 0;
  if (c.phase != Phase::kWriting) return true;  // an interim answer; the body comes next
  if (c.close_after) {
    ::shutdown(c.fd.get(), SHUT_WR);
    c.phase = Phase::kLingering;
    c.deadline = now + kLinger;
    return true;
  }
  // Ready for the next request, which may have arrived with this one.
  c.reader.Next();
  c.phase = Phase::kReading;
  c.deadline = now + options_.head_timeout;
  if (c.reader.started()) Take(id, c, {}, now);
  return true;
}

Bridge::Bridge(BridgeOptions options)
    : options_(std::move(options)), front_(std::make_unique<Front>(*this)) {}

Bridge::~Bridge() {
  Stop();
  if (listener_ && listener_->joinable()) {
    front_->Finish();
    listener_->join();
  }
}

int Bridge::Bind(int port) {
  return front_->Bind(port);
}

void Bridge::Start() {
  listener_ = std::make_unique<std::thread>([this] { front_->Run(); });
}

void Bridge::ServeCalls() {
  calls_.Serve();
  front_->Finish();
  if (listener_ && listener_->joinable()) listener_->join();
}

void Bridge::Stop() {
  std::call_once(stopped_, [this] {
    calls_.Stop();
    if (interrupt_) interrupt_();
  });
}

}  // namespace corabind::serve
