// The OBJECT/embed markup that puts a Flash movie into a mail: the player
// control for hosts that have it, the plug-in element for the others.
#pragma once

#include <string>

namespace corabind {

// Scheme and host of the Flash player vendor's servers: the one that serves
// the player's installer cabinet (the OBJECT's codeBase) and the one with
// the plug-in download page (the embed's pluginspage).
inline constexpr char16_t kFlashInstallerHost[] = u"http://download.macromedia.com";
inline constexpr char16_t kFlashPluginPageHost[] = u"http://www.macromedia.com";

struct FlashMovie {
  std::u16string file;
  std::u16string quality;
  std::u16string width;   // "" writes no width attribute
  std::u16string height;  // "" writes no height attribute
  bool loop = true;
  bool play = true;
};

// The values go into the markup as typed, except that a double quote
// becomes &quot; so that it cannot end the attribute it stands in.
std::u16string BuildFlashMarkup(const FlashMovie& movie);

}  // namespace corabind
