// Pieces of a message handed from the thread that writes them to the thread
// that delivers them, a few at a time, their buffers going round again so
// that a large message costs no more memory than a small one.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

namespace corabind::mail {

class PieceChannel {
 public:
  // Thrown to the writing thread once the reader has stopped taking pieces.
  struct Cancelled {};

  explicit PieceChannel(std::size_t depth) : depth_(depth) {}

  // Hands `piece` over, leaving an empty buffer in its place; waits while
  // `depth` pieces are waiting already.
  void Put(std::string& piece) {
    std::unique_lock lock(mutex_);
    room_.wait(lock, [&] { return queue_.size() < depth_ || cancelled_; });
    if (cancelled_) throw Cancelled{};
    queue_.push_back(std::move(piece));
    piece = Spare();
    ready_.notify_one();
  }
  // No more pieces come.
  void Close() {
    const std::lock_guard lock(mutex_);
    closed_ = true;
    ready_.notify_one();
  }
  // The next piece into `piece` (whose old buffer goes round again); false
  // once the writer has closed and every piece was taken.
  bool Get(std::string& piece) {
    std::unique_lock lock(mutex_);
    if (piece.capacity() != 0) {
      piece.clear();
      spares_.push_back(std::move(piece));
    }
    ready_.wait(lock, [&] { return !queue_.empty() || closed_; });
    if (queue_.empty()) return false;
    piece = std::move(queue_.front());
    queue_.pop_front();
    room_.notify_one();
    return true;
  }
  // Hands every piece to `take` until the writer closes. The first
  // exception `take` throws is put in `error` before the writer's next Put
  // is cancelled (so the writer, once cancelled, finds it there), and what
  // still comes is let go.
  template <typename Take>
  void TakeAll(Take take, std::exception_ptr& error) {
    std::string piece;
    while (Get(piece)) {
      if (error) continue;
      try {
        take(piece);
      } catch (...) {
        error = std::current_exception();
        Cancel();
      }
    }
  }
  // The reader stops: the writer's next Put throws Cancelled.
  void Cancel() {
    const std::lock_guard lock(mutex_);
    cancelled_ = true;
    room_.notify_one();
  }

 private:
  std::string Spare() {
    if (spares_.empty()) return {};
    std::string spare = std::move(spares_.back());
    spares_.pop_back();
    return spare;
  }

  const std::size_t depth_;
  std::mutex mutex_;
  std::condition_variable room_, ready_;
  std::deque<std::string> queue_;
  std::vector<std::string> spares_;
  bool closed_ = false, cancelled_ = false;
};

}  // namespace corabind::mail
