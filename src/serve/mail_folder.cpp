#include "serve/mail_folder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "core/failure.h"
#include "core/printable.h"
#include "core/text.h"
#include "platform/posix/atomic_output.h"
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
  const std::optional<std::string> relative = PercentUnescaped(url_path, true);
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
    if (!WriteWhole(out.get(), bytes) || out.Close() != 0) {
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
  // A URL's unreserved characters (RFC 3986), and '/' between a path's names.
  static constexpr std::string_view kKeep =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~/";
  return PercentEscaped(text, keep_slash ? kKeep : kKeep.substr(0, kKeep.size() - 1));
}

}  // namespace corabind::serve
