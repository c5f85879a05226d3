#include "serve/mail_folder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "core/failure.h"
#include "core/printable.h"
#include "core/text.h"
#include "platform/posix/read_policy.h"
#include "platform/posix/unique_fd.h"

namespace corabind::serve {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxNameBytes = 120;
constexpr int kMaxNumbered = 10000;  // photo-1.png ... before giving up
constexpr std::string_view kFallbackName = "image";

fs::path Canonical(const fs::path& folder) {
  std::error_code ec;
  fs::path canonical = fs::canonical(folder, ec);
  if (ec || !fs::is_directory(canonical, ec))
    throw Failure(err::kPathNotFound,
                  u"No such folder: " + FromUtf8(Printable(folder.string(), 200)));
  return canonical;
}

// What libmagic cannot tell from the bytes: a style sheet reads as text,
// and a drawing as XML or text on some systems.
std::optional<std::string> TypeByExtension(const fs::path& file) {
  std::string ext = file.extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".css") return "text/css";
  if (ext == ".svg") return "image/svg+xml";
  return std::nullopt;
}

// Up to `limit` bytes of `text`, not cutting a UTF-8 sequence.
std::string_view Head(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

[[noreturn]] void WriteFailed(int error, const std::string& name) {
  const std::int32_t number = error == ENOSPC || error == EDQUOT ? err::kDiskFull
                              : error == EACCES || error == EPERM || error == EROFS
                                  ? err::kPermissionDenied
                                  : err::kDeviceIo;
  throw Failure(number, u"Cannot write " + FromUtf8(Printable(name, 200)) + u": " +
                            FromUtf8(std::strerror(error)));
}

}  // namespace

MailFolder::MailFolder(const fs::path& folder, const std::vector<fs::path>& allow_roots,
                       bool allow_hard_links)
    : folder_(Canonical(folder)),
      allow_roots_([&] {
        std::vector<fs::path> roots;
        for (const fs::path& root : allow_roots) roots.push_back(Canonical(root));
        return roots;
      }()),
      allow_hard_links_(allow_hard_links) {}

fs::path MailFolder::folder() const {
  std::lock_guard lock(mutex_);
  return folder_;
}

void MailFolder::set_folder(const fs::path& folder) {
  fs::path canonical = Canonical(folder);
  std::lock_guard lock(mutex_);
  folder_ = std::move(canonical);
}

std::optional<MailFolder::File> MailFolder::Read(std::string_view url_path) const {
  const std::optional<std::string> relative = PercentDecode(url_path);
  if (!relative || relative->empty() || relative->front() == '/' ||
      relative->find('\0') != std::string::npos)
    return std::nullopt;
  const fs::path base = folder();
  std::vector<fs::path> roots{base};
  roots.insert(roots.end(), allow_roots_.begin(), allow_roots_.end());
  const ReadPolicy policy = ReadPolicy::ConfinedTo(roots, allow_hard_links_);
  const OpenedFile opened = policy.Open(base / *relative);
  if (opened.problem) return std::nullopt;
  File file;
  if (!ReadWhole(opened.fd.get(), static_cast<std::size_t>(opened.info.st_size), file.bytes))
    return std::nullopt;
  if (auto by_name = TypeByExtension(opened.file)) {
    file.content_type = *by_name;
  } else {
    std::lock_guard lock(typer_mutex_);
    const mail::ContentType type = typer_.TypeOf(file.bytes.data(), file.bytes.size());
    file.content_type = type.type + "/" + type.subtype;
  }
  return file;
}

std::string MailFolder::AddFile(std::string_view name, std::string_view bytes) const {
  const std::string safe = SafeFileName(name);
  const fs::path folder_path = folder();
  const UniqueFd folder(::open(folder_path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!folder.ok()) WriteFailed(errno, folder_path.string());

  const fs::path as_path(safe);
  const std::string stem = as_path.stem().string(), extension = as_path.extension().string();
  for (int n = 0; n < kMaxNumbered; ++n) {
    const std::string candidate = n == 0 ? safe : stem + "-" + std::to_string(n) + extension;
    // O_EXCL: a name taken by anything, a dangling link included, is
    // passed over, never written through.
    UniqueFd out(::openat(folder.get(), candidate.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0644));
    if (!out.ok()) {
      if (errno == EEXIST) continue;
      WriteFailed(errno, candidate);
    }
    std::size_t written = 0;
    while (written < bytes.size()) {
      const ssize_t n = ::write(out.get(), bytes.data() + written, bytes.size() - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        const int error = n < 0 ? errno : ENOSPC;
        ::unlinkat(folder.get(), candidate.c_str(), 0);
        WriteFailed(error, candidate);
      }
      written += static_cast<std::size_t>(n);
    }
    if (out.Close() != 0) {
      const int error = errno;
      ::unlinkat(folder.get(), candidate.c_str(), 0);
      WriteFailed(error, candidate);
    }
    return candidate;
  }
  WriteFailed(EEXIST, safe);
}

std::string SafeFileName(std::string_view name) {
  if (const std::size_t slash = name.find_last_of("/\\"); slash != std::string_view::npos)
    name.remove_prefix(slash + 1);
  std::string out;
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) continue;
    if (out.empty() && (c == '.' || c == ' ')) continue;
    out += c;
  }
  while (!out.empty() && (out.back() == ' ' || out.back() == '.')) out.pop_back();
  if (out.empty()) return std::string(kFallbackName);
  if (out.size() > kMaxNameBytes) {
    const std::string extension = fs::path(out).extension().string();
    const std::size_t keep = extension.size() < kMaxNameBytes / 2 ? extension.size() : 0;
    out = std::string(Head(out, kMaxNameBytes - keep)) + (keep ? extension : "");
  }
  return out;
}

std::string PercentEncode(std::string_view text, bool keep_slash) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (alnum || c == '-' || c == '.' || c == '_' || c == '~' || (keep_slash && c == '/')) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

std::optional<std::string> PercentDecode(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

}  // namespace corabind::serve
