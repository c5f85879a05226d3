// The MAIL that `corabind compose` reads: a regular file of bounded size, or
// standard input, decoded to UTF-8 without losing a byte. Whatever cannot be
// read faithfully is refused with a message that says why and what to do.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

namespace corabind::automation {

// The largest mail read: HTML text, its parts are files of their own. A
// larger input is refused before anything is read.
inline constexpr std::uintmax_t kMaxMailBytes = std::uintmax_t{64} << 20;

// Why the mail cannot be taken; `usage` when the command line is at fault
// (an unknown --input-charset).
struct MailInputError : std::runtime_error {
  MailInputError(const std::string& what, bool usage_error = false)
      : std::runtime_error(what), usage(usage_error) {}
  bool usage;
};

struct MailInput {
  std::string name;              // for messages: the path as given, or "standard input"
  std::filesystem::path folder;  // what relative references are read against (canonical)
  std::string utf8;              // the text, without a byte order mark
  std::string charset;           // what it was decoded from, as iconv names it
  bool empty = false;
  // The file read, so that the output is never written over it.
  std::optional<std::pair<dev_t, ino_t>> identity;
};

// Reads `path` ("-" is standard input, with the working folder as base). The
// charset is the byte order mark's, else `input_charset` when given, else the
// <meta> declaration's, else UTF-8. MailInputError for a folder, a device or
// pipe, a file over `max_bytes`, or bytes that are not valid in the charset
// (naming the line and --input-charset).
MailInput ReadMailInput(const std::string& path, const std::string& input_charset,
                        std::uintmax_t max_bytes = kMaxMailBytes);

// MailInputError when `output` is the file the mail was read from: the same
// path, a symbolic link to it or a hard link of it.
void RefuseOutputOverInput(const MailInput& input, const std::string& output);

}  // namespace corabind::automation
