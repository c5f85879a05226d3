#include "cli/compose_command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "cli/cid_rewrite.h"
#include "cli/compose_report.h"
#include "cli/mail_input.h"
#include "cli/output_encoding.h"
#include "cli/printable.h"
#include "control/orvane_control.h"
#include "core/collection.h"
#include "core/failure.h"
#include "core/text.h"
#include "mime/message_layout.h"
#include "platform/html/charset.h"
#include "platform/html/html_document.h"
#include "platform/posix/atomic_output.h"
#include "platform/posix/base64_file_encoder_posix.h"
#include "platform/posix/code_set.h"
#include "platform/posix/path_map.h"

namespace corabind::cli {

namespace fs = std::filesystem;

namespace {

// Message boxes of a command-line run: written to standard error.
class StreamDesktop : public Desktop {
 public:
  explicit StreamDesktop(std::ostream* err) : err_(err) {}
  void ShowModal(Form&) override { Unavailable(); }
  void MessageBox(const std::u16string& text) override {
    if (err_) *err_ << PrintableLines(ToUtf8(text), "corabind: message: ");
  }
  void ShowOpen(FileDialog&) override { Unavailable(); }
  void ShowSave(FileDialog&) override { Unavailable(); }

 private:
  [[noreturn]] static void Unavailable() {
    throw Failure(err::kNotSupported, u"compose shows no dialogs");
  }
  std::ostream* err_;
};

// Reads nothing: the first pass only needs to learn which references become
// parts.
class NullEncoderFactory : public Base64FileEncoderFactory {
  class Null : public Base64FileEncoder {
   public:
    bool EncodeFile(const std::u16string&, FileRead, Base64Lines) override { return false; }
    const std::u16string& EncodedText() const override { return text_; }
    void Clear() override {}

   private:
    std::u16string text_;
  };

 public:
  std::unique_ptr<Base64FileEncoder> Create() override { return std::make_unique<Null>(); }
};

struct UsageError {
  std::string text;
};
struct RunError {
  std::string text;
};

// Mail lines end in CR LF (RFC 5322); a file saved with LF or CR alone is
// brought into line. Done on the UTF-8 text, half the size of its UTF-16.
std::string WithCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      out += "\r\n";
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += c;
    }
  }
  return out;
}

// The control path of a folder, ending in a backslash.
std::u16string FolderBase(const PathMap& paths, const fs::path& folder) {
  std::u16string base = paths.ToControl(folder);
  if (base.empty() || base.back() != u'\\') base += u'\\';
  return base;
}

int Compose(const ComposeOptions& options, std::ostream& out, std::ostream& err) {
  MailInput input;
  try {
    input = ReadMailInput(options.mail, options.input_charset);
    RefuseOutputOverInput(input, options.output);
  } catch (const MailInputError& e) {
    if (e.usage) throw UsageError{e.what()};
    throw RunError{e.what()};
  }
  if (input.empty && !options.quiet)
    err << "corabind: warning: " << input.name << " is empty; the HTML part is empty\n";
  // Each stage of the text is dropped as soon as the next one is made: a
  // large page is held at most twice, never five times.
  std::string utf8 = std::exchange(input.utf8, {});
  std::shared_ptr<html::HtmlDocument> document = html::ParseHtml(utf8);

  auto paths = std::make_shared<PathMap>();
  for (const std::string& drive : options.drives) {
    try {
      paths->MapDriveSpec(drive);
    } catch (const Failure& failure) {
      throw UsageError{"--drive " + drive + ": " + failure.what()};
    }
  }
  std::error_code ec;
  const fs::path folder = input.folder;
  std::vector<fs::path> roots{folder};
  for (const std::string& root : options.allow_roots) {
    if (!fs::is_directory(root, ec)) throw UsageError{"--allow-root " + root + ": no such folder"};
    roots.emplace_back(root);
  }

  // Every file that could not or may not be embedded, told once after the
  // run, when the reference the mail made for it is known.
  std::vector<UnembeddedFile> problems;
  std::unordered_set<std::u16string> seen;
  auto observe = [&](const std::u16string& path, const std::optional<fs::path>& host,
                     ReadProblem problem) {
    if (seen.insert(path).second) problems.push_back({path, host, problem});
  };

  const std::u16string base = FolderBase(*paths, folder);
  std::shared_ptr<Element> body = document->body();
  const VariantBool debug = options.debug ? kTrue : kFalse;

  if (!options.keep_html) {
    // A silent first pass learns which references become parts; the keys
    // are the same in the real pass, which reads the same document.
    Library scout_library(Services{std::make_shared<StreamDesktop>(nullptr), nullptr,
                                   std::make_shared<NullEncoderFactory>()});
    OrvaneControl scout(scout_library);
    scout.GetImages(u"", body, base, document, kFalse, kFalse);
    const auto keys = scout.imageKeys();
    utf8 = RewriteToCid(*document, utf8,
                        [&](const std::u16string& key) { return keys->ContainsText(key); });
  }
  std::u16string html = FromUtf8(WithCrLf(std::exchange(utf8, {})));

  Library library(Services{std::make_shared<StreamDesktop>(&err), nullptr,
                           std::make_shared<PosixBase64FileEncoderFactory>(
                               ResolveThrough(paths), ReadPolicy::ConfinedTo(roots), observe)});
  OrvaneControl control(library);
  const std::u16string message = control.GetImages(html, body, base, document, kFalse, debug);
  // The message holds the HTML now; the tree and the text can go.
  const std::size_t html_size = html.size();
  html = std::u16string();
  body.reset();
  document.reset();

  // The reference behind each path, looked up once: a search per problem
  // took minutes for a page with tens of thousands of missing files.
  std::unordered_map<std::u16string, std::u16string> reference_of;
  {
    const auto& k = control.imageKeys()->items();
    const auto& v = control.imageValues()->items();
    for (std::size_t i = 0; i < v.size() && i < k.size(); ++i) {
      if (v[i].IsText() && k[i].IsText()) reference_of.emplace(v[i].ToText(), k[i].ToText());
    }
  }
  for (const UnembeddedFile& problem : problems) {
    if (options.allow_missing && options.quiet) break;
    const auto found = reference_of.find(problem.control_path);
    err << "corabind: " << (options.allow_missing ? "warning" : "error") << ": "
        << DescribeUnembedded(problem, found == reference_of.end() ? u"" : found->second) << '\n';
  }
  // A reference or file name holding a control character gets no part
  // (GetImages will not write one into a header): a file not embedded too.
  std::size_t left_out = 0;
  const auto has_control = [](std::u16string_view text) {
    return std::any_of(text.begin(), text.end(), [](char16_t c) { return c < 0x20 || c == 0x7F; });
  };
  const Collection& keys = *control.imageKeys();
  const Collection& values = *control.imageValues();
  for (std::int32_t k = 1; k <= keys.Count() && k <= values.Count(); ++k) {
    if (keys.Item(k).IsObject() || values.Item(k).IsObject()) continue;
    const std::u16string key = keys.Item(k).ToText(), value = values.Item(k).ToText();
    if (!has_control(key) &&
        !has_control(std::u16string_view(value).substr(value.rfind(u'\\') + 1)))
      continue;
    ++left_out;
    if (options.allow_missing && options.quiet) continue;
    err << "corabind: " << (options.allow_missing ? "warning" : "error") << ": "
        << Printable(ToUtf8(key))
        << ": left out: the reference or its file name holds a control character\n";
  }
  if (problems.size() + left_out != 0 && !options.allow_missing) {
    throw RunError{std::to_string(problems.size() + left_out) +
                   " file(s) could not be embedded; nothing written (--allow-missing writes "
                   "the message with empty parts)"};
  }

  // Every byte is checked before any is written where a write cannot be
  // taken back (standard output); a file is only renamed into place whole.
  const auto encode = [&](const std::function<void(std::string_view)>& sink) {
    std::optional<std::size_t> bad;
    try {
      bad = EncodeMessage(message, options.encoding, sink);
    } catch (const Failure& failure) {
      throw UsageError{"--encoding " + options.encoding + ": " + failure.what()};
    }
    if (!bad) return;
    const std::size_t at = *bad;
    const std::size_t html_begin = kMessageHeader.size();  // the HTML follows the header
    std::ostringstream where;
    if (at >= html_begin && at < html_begin + html_size) {
      const auto line = 1 + std::count(message.begin() + static_cast<std::ptrdiff_t>(html_begin),
                                       message.begin() + static_cast<std::ptrdiff_t>(at), u'\n');
      where << input.name << ", line " << line;
    } else {
      const auto line =
          1 + std::count(message.begin(), message.begin() + static_cast<std::ptrdiff_t>(at), u'\n');
      where << "line " << line << " of the message (a part's name or Content-ID)";
    }
    throw RunError{ToUtf8(CharacterName(message, at)) + " at " + where.str() +
                   " cannot be written in " + options.encoding +
                   "; nothing written (--encoding utf-8 keeps every character)"};
  };

  std::uintmax_t written = 0;
  if (options.output.empty() || options.output == "-") {
    encode([](std::string_view) {});
    encode([&](std::string_view bytes) {
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      written += bytes.size();
    });
    out.flush();
    if (!out) throw RunError{"cannot write the message to standard output"};
  } else {
    // Replaced whole or not at all, with the umask or the old file's mode,
    // through a symbolic link (see platform/posix/atomic_output.h).
    try {
      AtomicOutput file(options.output, FromUtf8(options.output));
      encode([&](std::string_view bytes) {
        file.Write(bytes);
        written += bytes.size();
      });
      file.Commit();
    } catch (const Failure& failure) {
      throw RunError{failure.what()};
    }
  }
  if (options.list) ListParts(err, *control.imageKeys(), *control.imageValues(), *paths);
  if (!options.quiet) {
    const bool to_stdout = options.output.empty() || options.output == "-";
    Summarise(err, to_stdout ? "standard output" : Printable(options.output), *control.imageKeys(),
              written);
  }
  return kExitOk;
}

}  // namespace

int RunCompose(const ComposeOptions& options, std::ostream& out, std::ostream& err) {
  try {
    return Compose(options, out, err);
  } catch (const UsageError& e) {
    err << "corabind compose: " << e.text << '\n';
    return kExitUsage;
  } catch (const RunError& e) {
    err << "corabind compose: " << e.text << '\n';
  } catch (const Failure& failure) {
    err << "corabind compose: " << Printable(options.mail) << ": " << Printable(failure.what())
        << '\n';
  } catch (const std::exception& e) {
    err << "corabind compose: " << e.what() << '\n';
  }
  return kExitFailure;
}

void AddComposeCommand(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<ComposeOptions>();
  CLI::App* compose =
      app.add_subcommand("compose",
                         "Compose a multipart/related MIME message from an HTML mail and the local "
                         "images, style sheets and Flash movies it refers to");
  compose
      ->add_option("MAIL", options->mail,
                   "The HTML file of the mail (a regular file of at most 64 MiB), or - for "
                   "standard input with the working folder as base")
      ->required();
  compose->add_option("-o,--output", options->output,
                      "Write the message here (replaced whole) instead of standard output");
  compose->add_option("--encoding", options->encoding,
                      "Charset of the written message, as iconv names it (default CP949, which "
                      "the HTML part's ks_c_5601-1987 label means)");
  compose
      ->add_option("--allow-root", options->allow_roots,
                   "Also embed files from this folder and below (repeatable)")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  compose
      ->add_option("--drive", options->drives,
                   "Map a drive letter of the mail's paths to a folder: X=/some/folder "
                   "(repeatable)")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  compose->add_flag("--keep-html", options->keep_html,
                    "Hand the HTML over verbatim instead of pointing references at cid: parts");
  compose->add_flag("--allow-missing", options->allow_missing,
                    "Write the message even when files are missing or refused (their parts are "
                    "empty)");
  compose->add_option("--input-charset", options->input_charset,
                      "Charset of MAIL when it has no byte order mark, as iconv names it "
                      "(overrules a <meta> declaration; default: the <meta> one, else UTF-8)");
  compose->add_flag("--list", options->list,
                    "Name every embedded file, its host path and size on standard error");
  compose->add_flag("-q,--quiet", options->quiet,
                    "Print nothing on success: no summary line, no warnings");
  compose->add_flag("--debug", options->debug, "Trace every step (message boxes go to stderr)");
  compose->callback(
      [options, &exit_status] { exit_status = RunCompose(*options, std::cout, std::cerr); });
}

}  // namespace corabind::cli
