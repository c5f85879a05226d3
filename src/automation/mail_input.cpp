#include "automation/mail_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/printable.h"
#include "core/text.h"
#include "platform/html/charset.h"
#include "platform/posix/iconv_handle.h"
#include "platform/posix/unique_fd.h"

namespace corabind::automation {

namespace fs = std::filesystem;

namespace {

std::string TooLarge(const std::string& name, std::uintmax_t max_bytes) {
  return name + " is larger than " + std::to_string(max_bytes) +
         " bytes, the most a mail may have; nothing written";
}

// Reads to the end, refusing more than `max_bytes`.
std::string ReadBounded(int fd, const std::string& name, std::uintmax_t max_bytes) {
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw MailInputError("cannot read " + name + ": " + std::strerror(errno));
    if (n == 0) return bytes;
    if (bytes.size() + static_cast<std::size_t>(n) > max_bytes)
      throw MailInputError(TooLarge(name, max_bytes));
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
}

std::string ReadFile(const std::string& path, const std::string& name, std::uintmax_t max_bytes,
                     MailInput& input) {
  // Opened without blocking, so a FIFO with no writer is refused below
  // instead of waiting for ever.
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) throw MailInputError("cannot read " + name + ": " + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0)
    throw MailInputError("cannot read " + name + ": " + std::strerror(errno));
  if (S_ISDIR(st.st_mode))
    throw MailInputError(name + " is a folder; MAIL is the HTML file of the mail");
  if (!S_ISREG(st.st_mode)) {
    throw MailInputError(name +
                         " is not a regular file (a device, pipe or socket); give a file, or - "
                         "to read standard input");
  }
  if (static_cast<std::uintmax_t>(st.st_size) > max_bytes)
    throw MailInputError(TooLarge(name, max_bytes));
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
  input.identity = std::make_pair(st.st_dev, st.st_ino);
  return ReadBounded(fd.get(), name, max_bytes);
}

// The bytes in `charset` as UTF-8; the offset of the first byte that is not
// valid there, if any.
std::string Decode(std::string_view bytes, const std::string& charset,
                   std::optional<std::size_t>& bad) {
  // UTF-8 is only checked, at many times the speed of converting it.
  if (NamesUtf8(charset)) {
    bad = FindInvalidUtf8(bytes);
    return bad ? std::string(bytes.substr(0, *bad)) : std::string(bytes);
  }
  const Iconv cd("UTF-8", charset);
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  char buffer[16384];
  char* in = const_cast<char*>(bytes.data());  // iconv does not write through it
  std::size_t in_left = bytes.size();
  for (bool flushing = false;;) {
    char* dst = buffer;
    std::size_t dst_left = sizeof buffer;
    const std::size_t r = flushing ? iconv(cd.get(), nullptr, nullptr, &dst, &dst_left)
                                   : iconv(cd.get(), &in, &in_left, &dst, &dst_left);
    out.append(buffer, static_cast<std::size_t>(dst - buffer));
    if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
      bad = bytes.size() - in_left;
      return out;
    }
    if (r != static_cast<std::size_t>(-1) && in_left == 0) {
      if (flushing) return out;
      flushing = true;
    }
  }
}

// The line of byte `offset`, counting line feeds in code units of `unit` bytes.
std::size_t LineOf(std::string_view bytes, std::size_t offset, std::size_t unit, bool big_endian) {
  std::size_t line = 1;
  for (std::size_t i = 0; i + unit <= offset; i += unit) {
    const bool feed = unit == 1    ? bytes[i] == '\n'
                      : big_endian ? bytes[i] == 0 && bytes[i + 1] == '\n'
                                   : bytes[i] == '\n' && bytes[i + 1] == 0;
    if (feed) ++line;
  }
  return line;
}

bool KnownCharset(const std::string& charset) {
  return Iconv("UTF-8", charset).ok();
}

}  // namespace

MailInput ReadMailInput(const std::string& path, const std::string& input_charset,
                        std::uintmax_t max_bytes) {
  MailInput input;
  if (!input_charset.empty() && !KnownCharset(input_charset)) {
    throw MailInputError(
        "--input-charset " + Printable(input_charset) + ": not a charset iconv knows", true);
  }
  std::string bytes;
  std::error_code ec;
  if (path == "-") {
    input.name = "standard input";
    bytes = ReadBounded(STDIN_FILENO, input.name, max_bytes);
    input.folder = fs::current_path(ec);
  } else {
    input.name = Printable(path);
    bytes = ReadFile(path, input.name, max_bytes, input);
    input.folder = fs::absolute(path, ec).parent_path();
  }
  if (!ec) input.folder = fs::canonical(input.folder, ec);
  if (ec) throw MailInputError("cannot find the folder of " + input.name + ": " + ec.message());
  input.empty = bytes.empty();

  // A byte order mark cannot be wrong; a <meta> can, so the command line
  // may overrule it.
  std::string_view text = bytes;
  std::string why;
  if (text.starts_with("\xEF\xBB\xBF")) {
    input.charset = "UTF-8";
    text.remove_prefix(3);
    why = ", as its byte order mark says";
  } else if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
    input.charset = text[0] == '\xFF' ? "UTF-16LE" : "UTF-16BE";
    text.remove_prefix(2);
    why = ", as its byte order mark says";
  } else if (!input_charset.empty()) {
    input.charset = input_charset;
    why = " (--input-charset)";
  } else if (html::DeclaresCharset(bytes)) {
    input.charset = html::DetectCharset(bytes);
    why = ", as its <meta> declares; --input-charset NAME reads it in another charset";
  } else {
    input.charset = "UTF-8";
    why =
        "; name the charset it is written in with --input-charset NAME (for example "
        "--input-charset latin1)";
  }

  std::optional<std::size_t> bad;
  input.utf8 = Decode(text, input.charset, bad);
  if (bad) {
    const bool utf16 = input.charset.starts_with("UTF-16");
    const std::size_t line = LineOf(text, *bad, utf16 ? 2 : 1, input.charset == "UTF-16BE");
    throw MailInputError(input.name + " is not valid " + Printable(input.charset) + " at line " +
                         std::to_string(line) + why + "; nothing written");
  }
  return input;
}

void RefuseOutputOverInput(const MailInput& input, const std::string& output) {
  if (!input.identity || output.empty() || output == "-") return;
  struct stat st {};
  if (::stat(output.c_str(), &st) != 0) return;  // a new file cannot be the mail
  if (st.st_dev == input.identity->first && st.st_ino == input.identity->second) {
    throw MailInputError("the output " + Printable(output) + " is the mail " + input.name +
                             " itself; nothing written (give another -o file)",
                         true);
  }
}

}  // namespace corabind::automation
