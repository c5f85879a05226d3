// What `corabind compose` tells the user about the files of a message: why
// one could not be embedded (as the mail refers to it, with the host path
// tried and what to do), which ones went in, and the one-line summary. All
// of it comes from what the control reports: the keys and values GetImages
// registered.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

#include "core/collection.h"
#include "platform/posix/base64_file_encoder_posix.h"
#include "platform/posix/path_map.h"

namespace corabind::automation {

struct UnembeddedFile {
  std::u16string control_path;
  std::optional<std::filesystem::path> host;  // nullopt: the path names no host file
  ReadProblem problem;
};

// The reference the mail made for `control_path` (the first key whose value
// it is); "" when none did.
std::u16string ReferenceOf(const Collection& keys, const Collection& values,
                           const std::u16string& control_path);

// One line, without the prefix: "REF: not found (tried HOST)" and a hint for
// a rooted reference, an unmapped drive or a refused folder.
std::string DescribeUnembedded(const UnembeddedFile& file, const std::u16string& reference);

// One line per embedded file: its reference, the host file and its size
// (or that it is missing and its part empty).
void ListParts(std::ostream& err, const Collection& keys, const Collection& values,
               const PathMap& paths);

// "corabind: composed OUT: N parts (the HTML and N-1 files), B bytes", with
// "D data: image(s)" among the parts, "the plain text" and "A
// attachment(s)" before the bytes when there are.
void Summarise(std::ostream& err, const std::string& where, const Collection& keys,
               std::uintmax_t bytes, bool text = false, std::size_t attachments = 0,
               std::size_t data_images = 0);

}  // namespace corabind::automation
