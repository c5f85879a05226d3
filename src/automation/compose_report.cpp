#include "automation/compose_report.h"

#include "core/printable.h"
#include "core/text.h"

namespace corabind::automation {

namespace fs = std::filesystem;

namespace {

std::string Host(const fs::path& path) {
  return Printable(path.string());
}

bool IsLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

}  // namespace

std::u16string ReferenceOf(const Collection& keys, const Collection& values,
                           const std::u16string& control_path) {
  const auto& v = values.items();
  const auto& k = keys.items();
  for (std::size_t i = 0; i < v.size() && i < k.size(); ++i) {
    if (v[i].IsText() && v[i].ToText() == control_path && k[i].IsText()) return k[i].ToText();
  }
  return {};
}

std::string DescribeUnembedded(const UnembeddedFile& file, const std::u16string& reference) {
  const std::u16string& shown = reference.empty() ? file.control_path : reference;
  std::string line = Printable(ToUtf8(shown)) + ": ";
  switch (file.problem) {
    case ReadProblem::kNotFound:
      line += "not found";
      break;
    case ReadProblem::kUnreadable:
      line += "cannot be read";
      break;
    case ReadProblem::kRefused:
      line += "outside the folders that may be embedded";
      break;
    case ReadProblem::kHardLink:
      // Its other names may be anywhere on the same disk, outside the
      // allowed folders too, and only a search of the disk would tell.
      line += "refused: it is a hard link (a file with more than one name)";
      break;
    case ReadProblem::kMalformed:
      return line +
             "a data: URL that cannot be decoded (its media type, base64 or percent-escapes)";
    case ReadProblem::kUnplaced:
      return line +
             "its url() in a style attribute is written with character references, or twice; "
             "write it once and plainly to embed it";
  }
  const std::u16string& path = file.control_path;
  const bool drive = path.size() >= 2 && IsLetter(path[0]) && path[1] == u':';
  if (file.host) {
    line += " (" + std::string(file.problem == ReadProblem::kNotFound ? "tried " : "") +
            Host(*file.host) + ")";
  } else if (drive) {
    const std::string letter(1, static_cast<char>(AsciiUpper(path.substr(0, 1))[0]));
    line += ": drive " + letter + ": is not mapped to a host folder; map it with --drive " +
            letter + "=/host/folder";
    return line;
  } else {
    line += ": the path names no host file";
  }
  if (file.problem == ReadProblem::kRefused) {
    line += "; --allow-root FOLDER allows more";
  } else if (file.problem == ReadProblem::kHardLink) {
    line += "; --allow-hard-links embeds such files";
  } else if (file.problem == ReadProblem::kNotFound && !reference.empty() &&
             (reference[0] == u'/' || reference[0] == u'\\') &&
             !(reference.size() > 1 && (reference[1] == u'/' || reference[1] == u'\\'))) {
    // The control reads a rooted reference from the mail's folder.
    line += "; a reference starting with / is read from the mail's folder; write Z:" +
            Printable(ToUtf8(reference)) + " to read it from the host root";
  }
  return line;
}

void ListParts(std::ostream& err, const Collection& keys, const Collection& values,
               const PathMap& paths) {
  const auto& k = keys.items();
  const auto& v = values.items();
  for (std::size_t i = 0; i < k.size() && i < v.size(); ++i) {
    const std::u16string path = v[i].ToText();
    const std::optional<fs::path> host = paths.ToHost(path);
    std::error_code ec;
    const std::uintmax_t size = host ? fs::file_size(*host, ec) : 0;
    err << "corabind: embeds " << Printable(ToUtf8(k[i].ToText())) << " <- "
        << (host ? Host(*host) : Printable(ToUtf8(path)));
    if (host && !ec) {
      err << " (" << size << " bytes)\n";
    } else {
      err << " (missing: the part is empty)\n";
    }
  }
}

void Summarise(std::ostream& err, const std::string& where, const Collection& keys,
               std::uintmax_t bytes, bool text, std::size_t attachments, std::size_t data_images) {
  const std::size_t files = static_cast<std::size_t>(keys.Count());
  const std::size_t parts = files + data_images + 1;
  err << "corabind: composed " << where << ": " << parts << " part" << (parts > 1 ? "s" : "")
      << " (the HTML" << (data_images ? ", " : " and ") << files << " file"
      << (files == 1 ? "" : "s");
  if (data_images) {
    err << " and " << data_images << " data: image" << (data_images == 1 ? "" : "s");
  }
  err << "), ";
  if (text) err << "the plain text, ";
  if (attachments) err << attachments << " attachment" << (attachments == 1 ? "" : "s") << ", ";
  err << bytes << " bytes\n";
}

}  // namespace corabind::automation
