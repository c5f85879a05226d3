// Reads HTTP/1.1 requests out of the bytes a connection delivers, in pieces
// of any size, and stops at the end of the head so that the caller can judge
// the request (host, origin, secret) before a single byte of its body is
// taken. Nothing it keeps grows past its limits: the head is bounded by
// `max_head`, a body by `max_body` however it is framed (a chunked body is
// counted as it arrives, not after).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corabind::serve {

struct RequestHead {
  std::string method, target;
  bool http10 = false;
  std::vector<std::pair<std::string, std::string>> headers;  // names as sent
  // The value of the header `name` (any case), "" when absent.
  std::string_view Header(std::string_view name) const;
  bool Has(std::string_view name) const;
};

class RequestReader {
 public:
  enum class Step {
    kMore,   // give it more bytes
    kHead,   // the head is read: judge it, then Continue() or give up
    kDone,   // the request is whole: head() and body()
    kError,  // the bytes are no request: answer error_status() and close
  };

  RequestReader(std::size_t max_head, std::size_t max_body)
      : max_head_(max_head), max_body_(max_body) {}

  // Takes `bytes` and reads as far as they go.
  Step Read(std::string_view bytes);
  // After kHead: the body may be read (Read("") goes on with what is kept).
  void Continue();
  // After kDone: the bytes already taken start the next request.
  void Next();

  const RequestHead& head() const { return head_; }
  const std::string& body() const { return body_; }
  // After kDone: the body, handed over rather than copied.
  std::string TakeBody() { return std::move(body_); }
  int error_status() const { return error_; }
  // Whether the request asks for an interim 100 before it sends its body.
  bool expects_continue() const { return expect_continue_; }
  // Whether the connection stays open after the answer.
  bool keep_alive() const { return keep_alive_; }
  // Whether any byte of the current request has arrived.
  bool started() const { return !pending_.empty() || phase_ != Phase::kHead; }

 private:
  enum class Phase { kHead, kJudged, kLength, kChunkSize, kChunkData, kChunkEnd, kTrailer, kDone };
  Step Fail(int status);
  Step ParseHead(std::string_view head);
  Step Advance();

  std::size_t max_head_, max_body_;
  Phase phase_ = Phase::kHead;
  std::string pending_;  // taken but not yet read
  RequestHead head_;
  std::string body_;
  std::size_t remaining_ = 0;  // bytes of the body or of the chunk still to come
  std::size_t trailer_ = 0;    // bytes of the trailer read so far
  std::size_t scanned_ = 0;    // bytes of the head searched for its end
  bool chunked_ = false, expect_continue_ = false, keep_alive_ = true;
  int error_ = 0;
};

}  // namespace corabind::serve
