#include "platform/posix/path_map.h"

#include <system_error>
#include <vector>

#include "core/failure.h"
#include "core/text.h"

namespace corabind {
namespace fs = std::filesystem;

namespace {

bool IsSeparator(char16_t c) {
  return c == u'\\' || c == u'/';
}
bool IsLetter(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}
char16_t UpperLetter(char16_t c) {
  return c >= u'a' ? static_cast<char16_t>(c - 32) : c;
}

char16_t CheckedLetter(char16_t letter) {
  if (!IsLetter(letter)) {
    throw Failure(err::kInvalidCall, u"A drive is named by a letter from A to Z, not \"" +
                                         std::u16string(1, letter) + u"\"");
  }
  return UpperLetter(letter);
}

// The names along an absolute host path: no root, no empty or "." parts.
std::vector<std::string> Names(const fs::path& path) {
  std::vector<std::string> names;
  for (const fs::path& part : path.relative_path()) {
    const std::string& name = part.native();
    if (!name.empty() && name != ".") names.push_back(name);
  }
  return names;
}

std::optional<fs::path> WorkingFolder() {
  std::error_code error;
  fs::path folder = fs::current_path(error);
  if (error) return std::nullopt;
  return folder;
}

// Length of a valid UTF-8 sequence at the start of `bytes`, 0 when none.
std::size_t Utf8SequenceLength(std::string_view bytes) {
  const auto b0 = static_cast<unsigned char>(bytes[0]);
  if (b0 < 0x80) return 1;
  std::size_t length = 0;
  unsigned char lo = 0x80, hi = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;  // no surrogates: they carry the escaped bytes
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (bytes.size() < length) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const auto b = static_cast<unsigned char>(bytes[k]);
    if (b < lo || b > hi) return 0;
    lo = 0x80;
    hi = 0xBF;
  }
  return length;
}

}  // namespace

std::u16string HostNameToControl(std::string_view bytes) {
  std::u16string out;
  while (!bytes.empty()) {
    const std::size_t length = Utf8SequenceLength(bytes);
    if (length == 0) {
      out.push_back(static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(bytes[0])));
      bytes.remove_prefix(1);
    } else {
      out += FromUtf8(bytes.substr(0, length));
      bytes.remove_prefix(length);
    }
  }
  return out;
}

std::string ControlNameToHost(std::u16string_view name) {
  std::string out;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && !(name[i] >= 0xDC80 && name[i] <= 0xDCFF &&
                             (i == 0 || !(name[i - 1] >= 0xD800 && name[i - 1] <= 0xDBFF)))) {
      continue;
    }
    out += ToUtf8(name.substr(start, i - start));
    if (i < name.size()) out.push_back(static_cast<char>(name[i] - 0xDC00));
    start = i + 1;
  }
  return out;
}

PathMap::PathMap() {
  drives_[u'Z'] = "/";
}

void PathMap::MapDrive(char16_t letter, fs::path host_folder) {
  const char16_t drive = CheckedLetter(letter);
  if (host_folder.empty()) {
    throw Failure(err::kInvalidCall,
                  u"Drive " + std::u16string(1, drive) + u": needs a host folder");
  }
  if (host_folder.is_relative()) {
    const auto working = WorkingFolder();
    if (!working) throw Failure(err::kPathNotFound, u"The working folder is gone");
    host_folder = *working / host_folder;
  }
  drives_[drive] = std::move(host_folder);
}

void PathMap::MapDriveSpec(const std::string& mapping) {
  if (mapping.size() < 3 || mapping[1] != '=' ||
      !IsLetter(static_cast<unsigned char>(mapping[0]))) {
    throw Failure(err::kInvalidCall, u"A drive mapping is written X=/host/folder, not \"" +
                                         HostNameToControl(mapping) + u"\"");
  }
  MapDrive(static_cast<char16_t>(mapping[0]), fs::path(mapping.substr(2)));
}

void PathMap::UnmapDrive(char16_t letter) {
  drives_.erase(CheckedLetter(letter));
}

std::optional<fs::path> PathMap::DriveFolder(char16_t letter) const {
  if (!IsLetter(letter)) return std::nullopt;
  const auto found = drives_.find(UpperLetter(letter));
  if (found == drives_.end()) return std::nullopt;
  return found->second;
}

std::optional<fs::path> PathMap::ToHost(std::u16string_view path) const {
  if (path.empty() || path.find(u'\0') != std::u16string_view::npos) return std::nullopt;
  // \\server\share, \\?\... and \\.\device name nothing on this host.
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) return std::nullopt;

  std::optional<fs::path> base;
  bool on_drive = true;  // ".." cannot climb above a drive's root
  if (path.size() >= 2 && IsLetter(path[0]) && path[1] == u':') {
    // "C:x" (relative to the drive's current folder on Windows) has no
    // current folder here: it is taken from the drive's root.
    base = DriveFolder(path[0]);
    path.remove_prefix(2);
  } else if (IsSeparator(path[0])) {
    base = DriveFolder(u'Z');
  } else {
    base = WorkingFolder();
    on_drive = false;
  }
  if (!base) return std::nullopt;

  fs::path host = std::move(*base);
  std::size_t depth = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && !IsSeparator(path[i])) continue;
    const std::u16string_view name = path.substr(start, i - start);
    start = i + 1;
    if (name.empty() || name == u".") continue;
    if (name == u"..") {
      if (on_drive && depth == 0) continue;
      if (depth > 0) --depth;
    } else {
      ++depth;
    }
    host /= ControlNameToHost(name);
  }
  // A trailing separator insists on a folder, as it does on Windows.
  if (!path.empty() && IsSeparator(path.back()) && depth > 0) host /= "";
  return host;
}

std::u16string PathMap::ToControl(const fs::path& host_path) const {
  fs::path absolute = host_path;
  if (absolute.is_relative()) {
    const auto working = WorkingFolder();
    if (!working) throw Failure(err::kBadFileName, u"The working folder is gone");
    absolute = *working / absolute;
  }
  const std::vector<std::string> names = Names(absolute);

  const std::pair<const char16_t, fs::path>* best = nullptr;
  std::size_t best_length = 0;
  for (const auto& drive : drives_) {
    const std::vector<std::string> prefix = Names(drive.second);
    if (prefix.size() > names.size() || (best && prefix.size() <= best_length)) continue;
    if (std::equal(prefix.begin(), prefix.end(), names.begin())) {
      best = &drive;
      best_length = prefix.size();
    }
  }
  if (!best) {
    throw Failure(err::kBadFileName, u"No drive is mapped to a folder holding " +
                                         HostNameToControl(absolute.native()));
  }

  std::u16string control{best->first, u':'};
  for (std::size_t i = best_length; i < names.size(); ++i) {
    const std::u16string name = HostNameToControl(names[i]);
    if (name.find(u'\\') != std::u16string::npos) {
      throw Failure(err::kBadFileName,
                    u"The host name \"" + name +
                        u"\" contains a backslash, which a control path cannot carry");
    }
    control += u'\\';
    control += name;
  }
  if (best_length == names.size()) control += u'\\';
  return control;
}

}  // namespace corabind
