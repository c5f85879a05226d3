// How `serve --open` hands the editor's address to the browser without the
// secret in any command line (which every local user can read in /proc): a
// small page only this user can read, which sends the browser on to the
// address. The opener is given the page's file:// URL.
#pragma once

#include <optional>
#include <string>

namespace corabind::serve {

class LaunchPage {
 public:
  // Writes the page leading to `url` in $XDG_RUNTIME_DIR, or in a folder of
  // our own (0700) under the user's cache or the temporary folder. Throws
  // Failure when neither can be written.
  explicit LaunchPage(const std::string& url);
  ~LaunchPage();  // removes the page, and the folder made for it
  LaunchPage(const LaunchPage&) = delete;
  LaunchPage& operator=(const LaunchPage&) = delete;

  const std::string& path() const { return path_; }
  std::string file_url() const;

 private:
  std::string path_;
  std::optional<std::string> folder_;  // made for the page, removed with it
};

// Runs `$BROWSER` (when set) or xdg-open on `target`, without waiting for
// it. Returns false when it cannot be started.
bool StartOpener(const std::string& target);

}  // namespace corabind::serve
