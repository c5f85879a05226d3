#include "mail/gmime_stream.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "core/failure.h"
#include "core/text.h"

namespace corabind::mail {

namespace {

// What a stream does; GMime calls reach it through the C structure below.
class Io {
 public:
  virtual ~Io() = default;
  virtual ssize_t Read(char*, std::size_t) { return -1; }
  virtual ssize_t Write(const char*, std::size_t) { return -1; }
  virtual bool Eos() const { return false; }
  virtual int Reset() { return -1; }
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
  s->flush = [](GMimeStream*) { return 0; };
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

class LazyFile : public Io {
 public:
  LazyFile(std::filesystem::path path, std::exception_ptr* error)
      : path_(std::move(path)), error_(error) {}
  ~LazyFile() override { Close(); }

  ssize_t Read(char* buf, std::size_t len) override {
    if (done_) return 0;
    if (fd_ < 0) {
      fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd_ < 0) return Fail();
    }
    ssize_t n;
    do n = ::read(fd_, buf, len);
    while (n < 0 && errno == EINTR);
    if (n < 0) return Fail();
    if (n == 0) {
      Close();
      done_ = true;
    }
    return n;
  }
  bool Eos() const override { return done_; }
  int Reset() override {
    Close();
    done_ = false;
    return 0;
  }

 private:
  ssize_t Fail() {
    const int error = errno;
    Close();
    if (error_ && !*error_) {
      *error_ = std::make_exception_ptr(Failure(
          err::kDeviceIo, FromUtf8("cannot read " + path_.string() + ": " + std::strerror(error))));
    }
    return -1;
  }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  std::filesystem::path path_;
  std::exception_ptr* error_;
  int fd_ = -1;
  bool done_ = false;
};

class Sink : public Io {
 public:
  Sink(std::function<void(std::string_view)> sink, std::exception_ptr* error)
      : sink_(std::move(sink)), error_(error) {}
  ssize_t Write(const char* buf, std::size_t len) override {
    try {
      sink_(std::string_view(buf, len));
      return static_cast<ssize_t>(len);
    } catch (...) {
      if (error_ && !*error_) *error_ = std::current_exception();
      return -1;
    }
  }

 private:
  std::function<void(std::string_view)> sink_;
  std::exception_ptr* error_;
};

}  // namespace

GMimeStream* NewLazyFileStream(const std::filesystem::path& path, std::exception_ptr* error) {
  return Wrap(std::make_unique<LazyFile>(path, error));
}

GMimeStream* NewSinkStream(const std::function<void(std::string_view)>& sink,
                           std::exception_ptr* error) {
  return Wrap(std::make_unique<Sink>(sink, error));
}

}  // namespace corabind::mail
