// Maps the control's Windows-style paths onto this host's file system.
//
//   Z:\home\u\a.htm   -> /home/u/a.htm      (Z: is the host root by default)
//   \tmp\a.gif        -> /tmp/a.gif         (rooted without a drive: on Z:)
//   img\a.gif         -> <working dir>/img/a.gif
//   C:\x.gif          -> <folder mapped to C:>/x.gif, or no file when C: is unmapped
//
// and back: a host path handed to the control (from a file dialog, say)
// becomes Z:\home\u\a.htm. Drive letters match regardless of case.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace corabind {

class PathMap {
 public:
  // Z: mapped to "/", relative paths against the process's working folder.
  PathMap();

  // Maps a drive letter (A-Z, either case) to a host folder. Failure 5 for
  // anything that is not a letter. Mapping Z: elsewhere is allowed.
  void MapDrive(char16_t letter, std::filesystem::path host_folder);
  // Parses "X=/host/folder" as given on the command line; failure 5 naming
  // the text when it is malformed.
  void MapDriveSpec(const std::string& spec);

  // The host path a control path names; nullopt when it names no file (an
  // unmapped drive, a UNC path, an empty path).
  std::optional<std::filesystem::path> ToHost(std::u16string_view control_path) const;
  // The control path of a host path (made absolute first): on the drive
  // whose folder holds it most specifically, else on Z:.
  std::u16string ToControl(const std::filesystem::path& host_path) const;

 private:
  std::map<char16_t, std::filesystem::path> drives_;
};

}  // namespace corabind
