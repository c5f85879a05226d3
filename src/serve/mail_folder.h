// The folder of the mail the editor page writes, shared by the calls (an
// accepted open moves it), the page's view of local files and the images
// the page adds. The page reads files the way compose embeds them: beneath
// the folder or an allowed one, through no link, no hard link; it writes
// only new files, into the folder itself.
#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mail/file_probe.h"

namespace corabind::serve {

class MailFolder {
 public:
  // `folder` and each of `allow_roots` must be folders (failure 76 otherwise).
  MailFolder(const std::filesystem::path& folder,
             const std::vector<std::filesystem::path>& allow_roots, bool allow_hard_links);

  std::filesystem::path folder() const;
  void set_folder(const std::filesystem::path& folder);
  const std::vector<std::filesystem::path>& allow_roots() const { return allow_roots_; }

  struct File {
    std::string content_type;
    std::string bytes;
  };
  // The file at `url_path`: a relative URL path, percent-encoded, resolved
  // against the folder. Nothing for any file compose would not embed, a
  // folder, or a path that is not one.
  std::optional<File> Read(std::string_view url_path) const;

  // Writes `bytes` as a new file in the folder, named after `name` made
  // safe, with a number added when that name is taken; never replaces a
  // file and never writes through a link. Returns the file's name.
  // A failure (70, 61, 57) when it cannot be written; nothing is left behind.
  std::string AddFile(std::string_view name, std::string_view bytes) const;

 private:
  mutable std::mutex mutex_;
  std::filesystem::path folder_;
  const std::vector<std::filesystem::path> allow_roots_;
  const bool allow_hard_links_;
  mutable std::mutex typer_mutex_;
  mail::ContentTyper typer_;
};

// `name` as a file name of the folder: what follows its last slash or
// backslash, without control characters or leading dots and spaces,
// "image" when nothing is left, at most 120 bytes (the extension kept).
std::string SafeFileName(std::string_view name);

// %XX for every byte but letters, digits and -._~ (and '/' when
// `keep_slash`).
std::string PercentEncode(std::string_view text, bool keep_slash);

}  // namespace corabind::serve
