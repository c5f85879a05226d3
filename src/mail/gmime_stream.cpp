#include "mail/gmime_stream.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/failure.h"
#include "core/text.h"

namespace corabind::mail {

namespace {

// Marks a placeholder: no other byte of a message GMime writes with base64
// and quoted-printable bodies and encoded headers can be a control character.
constexpr char kMark = '\x01';

// What a stream does; GMime calls reach it through the C structure below.
class Io {
 public:
  virtual ~Io() = default;
  virtual ssize_t Read(char*, std::size_t) { return -1; }
  virtual ssize_t Write(const char*, std::size_t) { return -1; }
  virtual bool Eos() const { return false; }
  virtual int Reset() { return -1; }
  virtual int Flush() { return 0; }
};

struct IoStream {
  GMimeStream parent;
  Io* io;
};
struct IoStreamClass {
  GMimeStreamClass parent_class;
};

Io& IoOf(GMimeStream* stream) {
  return *reinterpret_cast<IoStream*>(stream)->io;
}

void Finalize(GObject* object) {
  delete reinterpret_cast<IoStream*>(object)->io;
  G_OBJECT_CLASS(g_type_class_peek(GMIME_TYPE_STREAM))->finalize(object);
}

void ClassInit(gpointer klass, gpointer) {
  G_OBJECT_CLASS(klass)->finalize = Finalize;
  auto* s = static_cast<GMimeStreamClass*>(klass);
  s->read = [](GMimeStream* stream, char* buf, std::size_t len) -> ssize_t {
    const ssize_t n = IoOf(stream).Read(buf, len);
    if (n > 0) stream->position += n;
    return n;
  };
  s->write = [](GMimeStream* stream, const char* buf, std::size_t len) -> ssize_t {
    const ssize_t n = IoOf(stream).Write(buf, len);
    if (n > 0) stream->position += n;
    return n;
  };
  s->flush = [](GMimeStream* stream) { return IoOf(stream).Flush(); };
  s->close = [](GMimeStream*) { return 0; };
  s->eos = [](GMimeStream* stream) -> gboolean { return IoOf(stream).Eos() ? TRUE : FALSE; };
  s->reset = [](GMimeStream* stream) { return IoOf(stream).Reset(); };
  s->seek = [](GMimeStream*, gint64, GMimeSeekWhence) -> gint64 { return -1; };
  s->tell = [](GMimeStream* stream) -> gint64 { return stream->position; };
  s->length = [](GMimeStream*) -> gint64 { return -1; };
  s->substream = [](GMimeStream*, gint64, gint64) -> GMimeStream* { return nullptr; };
}

GType IoStreamType() {
  static const GType type =
      g_type_register_static_simple(GMIME_TYPE_STREAM, "CorabindIoStream", sizeof(IoStreamClass),
                                    ClassInit, sizeof(IoStream), nullptr, GTypeFlags(0));
  return type;
}

GMimeStream* Wrap(std::unique_ptr<Io> io) {
  auto* stream = static_cast<IoStream*>(g_object_new(IoStreamType(), nullptr));
  stream->io = io.release();
  g_mime_stream_construct(&stream->parent, 0, -1);
  return &stream->parent;
}

class View : public Io {
 public:
  explicit View(std::string_view bytes) : bytes_(bytes) {}
  ssize_t Read(char* buf, std::size_t len) override {
    const std::size_t n = std::min(len, bytes_.size() - at_);
    std::memcpy(buf, bytes_.data() + at_, n);
    at_ += n;
    return static_cast<ssize_t>(n);
  }
  bool Eos() const override { return at_ == bytes_.size(); }
  int Reset() override {
    at_ = 0;
    return 0;
  }

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
};

class Pieces : public Io {
 public:
  explicit Pieces(const std::vector<std::string_view>& pieces) : pieces_(pieces) {}
  ssize_t Read(char* buf, std::size_t len) override {
    std::size_t n = 0;
    while (n < len && piece_ < pieces_.size()) {
      const std::string_view piece = pieces_[piece_];
      while (n < len && at_ < piece.size()) {
        const char c = piece[at_++];
        if (c == '\n' && after_cr_) {
          after_cr_ = false;
          continue;
        }
        after_cr_ = c == '\r';
        buf[n++] = after_cr_ ? '\n' : c;
      }
      if (at_ == piece.size()) {
        ++piece_;
        at_ = 0;
      }
    }
    return static_cast<ssize_t>(n);
  }
  bool Eos() const override { return piece_ == pieces_.size(); }
  int Reset() override {
    piece_ = at_ = 0;
    after_cr_ = false;
    return 0;
  }

 private:
  const std::vector<std::string_view>& pieces_;
  std::size_t piece_ = 0, at_ = 0;
  bool after_cr_ = false;  // a CR was read as LF: an LF right after it is dropped
};

// Collects the message into large pieces, each LF turned into CR LF, and
// puts each file's base64 where its placeholder stands.
class Sink : public Io {
 public:
  Sink(std::function<void(std::string&)> sink, std::function<OpenedFile(std::size_t)> open_file,
       std::exception_ptr* error)
      : sink_(std::move(sink)), open_file_(std::move(open_file)), error_(error) {
    buffer_.reserve(kRoom);
  }
  ssize_t Write(const char* buf, std::size_t len) override {
    try {
      const std::size_t before = buffer_.size();
      AppendWithCrLf(buffer_, std::string_view(buf, len));
      if (open_at_ != std::string::npos) {
        Splice(open_at_);
      } else if (std::memchr(buffer_.data() + before, kMark, buffer_.size() - before) != nullptr) {
        Splice(before);
      }
      if (buffer_.size() >= kPiece && open_at_ == std::string::npos) Emit();
      return static_cast<ssize_t>(len);
    } catch (...) {
      if (error_ && !*error_) *error_ = std::current_exception();
      return -1;
    }
  }
  int Flush() override {
    try {
      Emit();
      return 0;
    } catch (...) {
      if (error_ && !*error_) *error_ = std::current_exception();
      return -1;
    }
  }

 private:
  static constexpr std::size_t kPiece = 1 << 18;
  static constexpr std::size_t kLineBytes = 57;  // a line of base64 holds 57 bytes
  static constexpr std::size_t kChunk = kLineBytes * 4096;
  // A piece goes once it reaches kPiece, so it never holds more than that
  // and one encoded chunk.
  static constexpr std::size_t kRoom = kPiece + 2 * kChunk;

  static void AppendWithCrLf(std::string& out, std::string_view text) {
    while (!text.empty()) {
      const auto lf = text.find('\n');
      out.append(text.substr(0, lf));
      if (lf == std::string_view::npos) break;
      out += "\r\n";
      text.remove_prefix(lf + 1);
    }
  }

  void Emit() {
    if (!buffer_.empty()) sink_(buffer_);
    buffer_.clear();
    buffer_.reserve(kRoom);
  }

  // Replaces every complete placeholder from `from` on by its file; the
  // buffer before `from` holds none. Pieces go out only whole, so a small
  // file's part does not make a piece of its own.
  void Splice(std::size_t from) {
    open_at_ = std::string::npos;
    std::size_t at;
    while ((at = buffer_.find(kMark, from)) != std::string::npos) {
      const std::size_t end = buffer_.find(kMark, at + 1);
      if (end == std::string::npos) {
        open_at_ = at;  // the rest of it comes with the next write
        return;
      }
      const std::size_t index = std::stoul(buffer_.substr(at + 1, end - at - 1));
      const std::string after = buffer_.substr(end + 1);
      buffer_.resize(at);
      EncodeFile(open_file_(index));
      from = buffer_.size();
      buffer_ += after;
    }
  }

  // GMime's base64 of the file, in lines ending CR LF, read from the
  // descriptor that was checked.
  void EncodeFile(const OpenedFile& file) {
    const std::filesystem::path& path = file.file;
    const int fd = file.fd.get();
    raw_.resize(kChunk);
    for (;;) {
      std::size_t have = 0;
      bool end = false;
      while (have < kChunk) {
        const ssize_t n = ::read(fd, raw_.data() + have, kChunk - have);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail(path);
        if (n == 0) {
          end = true;
          break;
        }
        have += static_cast<std::size_t>(n);
      }
      EncodeLines(raw_.data(), have);
      if (end) break;
      if (buffer_.size() >= kPiece) Emit();
    }
  }

  // The base64 of `n` bytes that begin a line. Every chunk but a file's
  // last is whole lines, so each encodes apart and the pieces join into
  // exactly what one pass would give.
  void EncodeLines(const unsigned char* data, std::size_t n) {
    encoded_.resize(GMIME_BASE64_ENCODE_LEN(n));
    int state = 0;
    guint32 save = 0;
    const std::size_t length =
        g_mime_encoding_base64_encode_close(data, n, encoded_.data(), &state, &save);
    AppendWithCrLf(buffer_,
                   std::string_view(reinterpret_cast<const char*>(encoded_.data()), length));
  }

  [[noreturn]] static void Fail(const std::filesystem::path& path) {
    throw Failure(err::kDeviceIo,
                  FromUtf8("cannot read " + path.string() + ": " + std::strerror(errno)));
  }

  std::function<void(std::string&)> sink_;
  std::function<OpenedFile(std::size_t)> open_file_;
  std::exception_ptr* error_;
  std::string buffer_;
  std::size_t open_at_ = std::string::npos;  // a placeholder whose end is still to come
  // Kept from file to file, so that no chunk costs an allocation.
  std::vector<unsigned char> raw_, encoded_;
};

}  // namespace

GMimeStream* NewFilePlaceholder(std::size_t index) {
  const std::string text = kMark + std::to_string(index) + kMark;
  return g_mime_stream_mem_new_with_buffer(text.data(), text.size());
}

GMimeStream* NewViewStream(std::string_view bytes) {
  return Wrap(std::make_unique<View>(bytes));
}

GMimeStream* NewPiecesStream(const std::vector<std::string_view>& pieces) {
  return Wrap(std::make_unique<Pieces>(pieces));
}

GMimeStream* NewSinkStream(const std::function<void(std::string&)>& sink,
                           const std::function<OpenedFile(std::size_t)>& open_file,
                           std::exception_ptr* error) {
  return Wrap(std::make_unique<Sink>(sink, open_file, error));
}

}  // namespace corabind::mail
