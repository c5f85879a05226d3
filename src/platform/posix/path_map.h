// Maps the control's Windows-style paths onto this host's file system.
//
//   Z:\home\u\a.htm   -> /home/u/a.htm      (Z: is the host root by default)
//   \tmp\a.gif        -> /tmp/a.gif         (rooted without a drive: on Z:)
//   img\a.gif         -> <working dir>/img/a.gif
//   C:\x.gif          -> <folder mapped to C:>/x.gif, or no file when C: is unmapped
//
// and back: a host path handed to the control (from a file dialog, say)
// becomes Z:\home\u\a.htm. Drive letters match regardless of case. Both "\"
// and "/" separate components of a control path. Host names are UTF-8; a
// byte that is not part of valid UTF-8 travels through the control as a lone
// surrogate (U+DC80 to U+DCFF) and comes back as the same byte. docs/paths.md
// has the full rules.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace corabind {

class PathMap {
 public:
  // Z: mapped to "/", relative paths against the process's working folder.
  PathMap();

  // Maps a drive letter (A-Z, either case) to a host folder; a relative
  // folder is made absolute against the working folder now. Failure 5 for
  // anything that is not a letter, or an empty folder. Mapping Z: elsewhere
  // is allowed.
  void MapDrive(char16_t letter, std::filesystem::path host_folder);
  // Parses "X=/host/folder" as given on the command line; failure 5 naming
  // the text when it is malformed.
  void MapDriveSpec(const std::string& mapping);
  // Forgets a drive, so that it names no file. Failure 5 for a non-letter.
  void UnmapDrive(char16_t letter);
  // The host folder of a drive, nullopt when it is not mapped.
  std::optional<std::filesystem::path> DriveFolder(char16_t letter) const;

  // The host path a control path names; nullopt when it names no file (an
  // unmapped drive, a UNC or device path, an empty path, a NUL character).
  // ".." above a drive's root stays at the root, as it does on Windows;
  // other components are joined as they are.
  std::optional<std::filesystem::path> ToHost(std::u16string_view control_path) const;
  // The control path of a host path (made absolute first): on the drive
  // whose folder holds it most specifically (ties go to the earlier letter).
  // Failure 52 when no mapped drive holds it or a name in it contains a
  // backslash, which no control path can carry.
  std::u16string ToControl(const std::filesystem::path& host_path) const;

 private:
  std::map<char16_t, std::filesystem::path> drives_;  // upper-case letter -> absolute folder
};

// Host file-name bytes to UTF-16 and back, losslessly: valid UTF-8 is
// decoded, any other byte B becomes the lone surrogate U+DC00+B.
std::u16string HostNameToControl(std::string_view bytes);
std::string ControlNameToHost(std::u16string_view name);

}  // namespace corabind
