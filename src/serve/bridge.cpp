#include "serve/bridge.h"

#include <httplib.h>
#include <sys/socket.h>

#include <nlohmann/json.hpp>
#include <random>

#include "serve/web_files.h"

namespace corabind::serve {

CallQueue::Outcome CallQueue::Run(const std::function<void()>& job,
                                  std::chrono::milliseconds wait) {
  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, wait, [&] { return stop_ || !busy_; })) return Outcome::kBusy;
  if (stop_) return Outcome::kStopping;
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

constexpr const char* kSecretHeader = "X-Corabind-Secret";

void Answer(httplib::Response& res, int status, const std::string& why) {
  res.status = status;
  res.set_content(nlohmann::json{{"refused", why}}.dump(), "application/json");
}

// Compared in full whatever differs, so timing tells nothing about the secret.
bool SameSecret(const std::string& given, const std::string& secret) {
  unsigned diff = given.size() == secret.size() ? 0 : 1;
  for (std::size_t i = 0; i < secret.size(); ++i)
    diff |= static_cast<unsigned char>(i < given.size() ? given[i] : 0) ^
            static_cast<unsigned char>(secret[i]);
  return diff == 0;
}

}  // namespace

Bridge::Bridge(BridgeOptions options)
    : options_(std::move(options)), http_(std::make_unique<httplib::Server>()) {
  http_->set_payload_max_length(options_.max_body);
  http_->set_read_timeout(options_.io_timeout);
  http_->set_write_timeout(options_.io_timeout);
  http_->set_keep_alive_timeout(5);
  // No SO_REUSEPORT (the library's default): no second process may listen
  // on our port.
  http_->set_socket_options([](int sock) {
    const int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  // Answers go out at once, not after the client's delayed acknowledgement
  // (40 ms a call otherwise).
  http_->set_tcp_nodelay(true);
  // Sent with every answer: nothing is cached, sniffed, framed by another
  // page or told where it came from. No CORS header is ever sent, so the
  // browser keeps other origins' pages from reading any answer.
  http_->set_default_headers({{"Cache-Control", "no-store"},
                              {"X-Content-Type-Options", "nosniff"},
                              {"X-Frame-Options", "DENY"},
                              {"Referrer-Policy", "no-referrer"}});
  Route();
}

Bridge::~Bridge() {
  Stop();
  if (listener_ && listener_->joinable()) listener_->join();
}

int Bridge::Bind(int port) {
  port_ = port == 0 ? http_->bind_to_any_port("127.0.0.1") : port;
  if (port != 0 && !http_->bind_to_port("127.0.0.1", port)) port_ = -1;
  return port_;
}

void Bridge::Start() {
  listener_ = std::make_unique<std::thread>([this] { http_->listen_after_bind(); });
}

void Bridge::ServeCalls() {
  calls_.Serve();
  http_->stop();
  if (listener_ && listener_->joinable()) listener_->join();
}

void Bridge::Stop() {
  std::call_once(stopped_, [this] {
    calls_.Stop();
    if (interrupt_) interrupt_();
  });
}

void Bridge::Route() {
  // Every request names this server as its host: a page of another name
  // that resolves to 127.0.0.1 (DNS rebinding) is turned away.
  const auto host_ok = [this](const httplib::Request& req) {
    const std::string host = req.get_header_value("Host");
    const std::string port = ":" + std::to_string(port_);
    return host == "127.0.0.1" + port || host == "localhost" + port;
  };
  // A call: the right host, no other page's origin, the secret, JSON.
  const auto checked =
      [this, host_ok](bool json_body,
                      std::function<void(const httplib::Request&, httplib::Response&)> handler) {
        return [this, host_ok, json_body, handler](const httplib::Request& req,
                                                   httplib::Response& res) {
          if (!host_ok(req)) return Answer(res, 421, "this server answers only to its own address");
          if (req.has_header("Origin") &&
              req.get_header_value("Origin") != "http://" + req.get_header_value("Host")) {
            return Answer(res, 403, "calls come only from this server's own pages");
          }
          if (!req.has_header(kSecretHeader)) return Answer(res, 401, "the call carries no secret");
          if (!SameSecret(req.get_header_value(kSecretHeader), options_.secret))
            return Answer(res, 403, "wrong secret");
          if (json_body && req.get_header_value("Content-Type").rfind("application/json", 0) != 0)
            return Answer(res, 415, "a call is sent as application/json");
          handler(req, res);
        };
      };
  // Runs a job on the calling thread, one at a time.
  const auto queued = [this](std::function<std::string(const std::string&, int&)> job,
                             const char* content_type) {
    return [this, job, content_type](const httplib::Request& req, httplib::Response& res) {
      int status = 200;
      std::string body;
      const std::function<void()> run = [&] { body = job(req.body, status); };
      switch (calls_.Run(run, options_.busy_wait)) {
        case CallQueue::Outcome::kBusy:
          return Answer(res, 503, "busy: another call is still running");
        case CallQueue::Outcome::kStopping:
          return Answer(res, 503, "the server is stopping");
        case CallQueue::Outcome::kDone:
          res.status = status;
          res.set_content(std::move(body), status == 200 ? content_type : "application/json");
      }
    };
  };

  for (const WebFile& file : BundledWebFiles()) {
    http_->Get(std::string(file.url), [file, host_ok](const httplib::Request& req,
                                                      httplib::Response& res) {
      if (!host_ok(req)) return Answer(res, 421, "this server answers only to its own address");
      res.set_content(std::string(file.body), std::string(file.content_type));
      res.set_header("Content-Security-Policy",
                     "default-src 'self'; style-src 'self' 'unsafe-inline'; img-src 'self' data: "
                     "blob:; object-src 'none'; frame-ancestors 'none'; base-uri 'none'");
    });
  }
  http_->Post("/call", checked(true, queued(options_.call, "application/json")));
  http_->Post("/compose", checked(true, queued(options_.compose, "message/rfc822")));
  http_->Post("/send", checked(true, queued(options_.send, "application/json")));
  http_->Post("/info", checked(false, [this](const httplib::Request&, httplib::Response& res) {
                res.set_content(nlohmann::json{{"folder", options_.folder},
                                               {"send", static_cast<bool>(options_.send)}}
                                    .dump(),
                                "application/json");
              }));
  http_->Post("/shutdown", checked(false, [this](const httplib::Request&, httplib::Response& res) {
                res.set_content("{\"stopping\":true}", "application/json");
                Stop();
              }));
  // A preflight is another origin asking leave; it gets none.
  http_->Options(".*", [](const httplib::Request&, httplib::Response& res) {
    Answer(res, 403, "no other origin may call this server");
  });
}

}  // namespace corabind::serve
