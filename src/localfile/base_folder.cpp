#include "localfile/base_folder.h"

namespace corabind {

std::u16string FolderWithTrailingBackslash(const std::u16string& path) {
  const auto last = path.rfind(u'\\');
  if (last == std::u16string::npos) return {};
  return path.substr(0, last + 1);
}

}  // namespace corabind
