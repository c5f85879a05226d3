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
#include <unordered_set>
#include <utility>

#include "cli/compose_report.h"
#include "cli/mail_input.h"
#include "cli/output_encoding.h"
#include "control/orvane_control.h"
#include "core/collection.h"
#include "core/failure.h"
#include "core/printable.h"
#include "core/text.h"
#include "mail/address.h"
#include "mail/file_probe.h"
#include "mail/get_images_layout.h"
#include "mail/mail_writer.h"
#include "mime/message_layout.h"
#include "platform/html/charset.h"
#include "platform/html/html_document.h"
#include "platform/posix/atomic_output.h"
#include "platform/posix/base64_file_encoder_posix.h"
#include "platform/posix/code_set.h"
#include "platform/posix/path_map.h"
#include "platform/posix/unique_fd.h"

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

// The control path of a folder, ending in a backslash.
std::u16string FolderBase(const PathMap& paths, const fs::path& folder) {
  std::u16string base = paths.ToControl(folder);
  if (base.empty() || base.back() != u'\\') base += u'\\';
  return base;
}

// The mail read and parsed once, with everything the writers need to find
// its files.
struct Source {
  MailInput input;
  std::shared_ptr<html::HtmlDocument> document;
  std::shared_ptr<PathMap> paths;
  ReadPolicy policy = ReadPolicy::Unconfined();  // the mail's folder and any --allow-root
  std::shared_ptr<mail::ProbeQueue> probed_ahead;
  mail::Page page;
};

// The walk over the parsed page that the plain-text alternative reads.
mail::ContentWalk ContentOf(const html::HtmlDocument& document) {
  return [&document](mail::ContentVisitor& visitor) {
    const auto from = document.body() ? document.body() : document.root();
    if (!from) return;
    document.Walk(*from, {[&](const html::HtmlElement& e) { visitor.Open(e.localName(), e); },
                          [&](const html::HtmlElement& e) { visitor.Close(e.localName()); },
                          [&](std::u16string_view text) { visitor.Text(text); }});
  };
}

// The plain-text alternative given with --text: UTF-8, of at most the size
// a mail may have.
std::string ReadGivenText(const std::string& path) {
  MailInput text;
  try {
    text = ReadMailInput(path, "UTF-8");
  } catch (const MailInputError& e) {
    throw UsageError{"--text: " + std::string(e.what())};
  }
  return text.utf8;
}

// `given`, when set, is the mail already as text (from `corabind serve`).
std::unique_ptr<Source> Read(const ComposeOptions& options, std::ostream& err,
                             const MailInput* given = nullptr) {
  auto source = std::make_unique<Source>();
  try {
    source->input = given ? *given : ReadMailInput(options.mail, options.input_charset);
    if (!given) RefuseOutputOverInput(source->input, options.output);
  } catch (const MailInputError& e) {
    if (e.usage) throw UsageError{e.what()};
    throw RunError{e.what()};
  }
  const MailInput& input = source->input;
  if (input.empty && !options.quiet)
    err << "corabind: warning: " << input.name << " is empty; the HTML part is empty\n";

  source->paths = std::make_shared<PathMap>();
  for (const std::string& drive : options.drives) {
    try {
      source->paths->MapDriveSpec(drive);
    } catch (const Failure& failure) {
      throw UsageError{"--drive " + Printable(drive) + ": " + Printable(failure.what())};
    }
  }
  std::error_code ec;
  const fs::path folder = input.folder;
  std::vector<fs::path> roots{folder};
  for (const std::string& root : options.allow_roots) {
    if (!fs::is_directory(root, ec)) throw UsageError{"--allow-root " + Printable(root) + ": no such folder"};
    roots.emplace_back(root);
  }
  source->policy = ReadPolicy::ConfinedTo(roots, options.allow_hard_links);
  mail::Page& page = source->page;
  page.base = FolderBase(*source->paths, folder);
  // The parser takes a while over a long page: the files it seems to name
  // are looked at meanwhile.
  if (!options.get_images_layout) {
    source->probed_ahead = mail::ProbeLikelyFiles(
        input.utf8, page.base, ResolveThrough(source->paths), source->policy, mail::SpareCores());
  }
  source->document = html::ParseHtml(input.utf8);
  page.utf8 = input.utf8;
  page.root = source->document->root();
  page.body = source->document->body();
  page.document = source->document;
  const auto convert = [](std::optional<html::SourceRange> r) -> std::optional<mail::SourceRange> {
    if (!r) return std::nullopt;
    return mail::SourceRange{r->begin, r->end};
  };
  page.locate.attribute = [convert](const Element& e, std::u16string_view name) {
    return convert(html::AttributeSource(e, name));
  };
  page.locate.text = [convert](const Element& e) { return convert(html::TextSource(e)); };
  page.content = ContentOf(*source->document);
  return source;
}

// Every file that could not or may not be embedded, told once after the
// run, when the reference the mail made for it is known; the caller refuses
// to go on while any is left, unless told to.
class Problems {
 public:
  Problems(const ComposeOptions& options, std::ostream& err) : options_(options), err_(err) {}

  ReadObserver Observer() {
    return [this](const std::u16string& path, const std::optional<fs::path>& host,
                  ReadProblem problem) {
      if (seen_.insert(path).second) problems_.push_back({path, host, problem});
    };
  }

  // `reference_of` gives the reference the mail made for a control path.
  void Tell(const std::function<std::u16string(const std::u16string&)>& reference_of,
            const char* left_out) const {
    for (const UnembeddedFile& problem : problems_) {
      if (options_.allow_missing && options_.quiet) break;
      err_ << "corabind: " << (options_.allow_missing ? "warning" : "error") << ": "
           << DescribeUnembedded(problem, reference_of(problem.control_path)) << '\n';
    }
    if (problems_.empty() || options_.allow_missing) return;
    throw RunError{std::to_string(problems_.size()) +
                   " file(s) could not be embedded; nothing written (--allow-missing writes "
                   "the message " +
                   left_out + ")"};
  }

 private:
  const ComposeOptions& options_;
  std::ostream& err_;
  std::vector<UnembeddedFile> problems_;
  std::unordered_set<std::u16string> seen_;
};

// Writes through `write` to standard output or, whole or not at all, to the
// output file.
std::uintmax_t Deliver(
    const ComposeOptions& options, std::ostream& out,
    const std::function<void(const std::function<void(std::string_view)>&)>& write) {
  std::uintmax_t written = 0;
  if (options.output.empty() || options.output == "-") {
    write([&](std::string_view bytes) {
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
      write([&](std::string_view bytes) {
        file.Write(bytes);
        written += bytes.size();
      });
      file.Commit();
    } catch (const Failure& failure) {
      throw RunError{failure.what()};
    }
  }
  return written;
}

std::string Destination(const ComposeOptions& options) {
  const bool to_stdout = options.output.empty() || options.output == "-";
  return to_stdout ? "standard output" : Printable(options.output);
}

// Writes every byte to `fd`; RunError naming `shown` on failure.
void WriteAll(int fd, std::string_view bytes, const std::string& shown) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw RunError{"cannot write " + shown + ": " + std::strerror(n < 0 ? errno : EIO)};
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

// The signed message, written in one pass while it is hashed; its
// signature goes in front. To a file, room is left for the signature (its
// length is known once the header fields are) and it is filled in at the
// end; to standard output, the message waits in an unnamed temporary file.
std::uintmax_t DeliverSigned(const ComposeOptions& options, std::ostream& out,
                             const mail::Mail& message) {
  if (options.output.empty() || options.output == "-") {
    UniqueFd scratch = ScratchFile(fs::temp_directory_path());
    const std::string shown = "a temporary file";
    if (!scratch.ok()) throw RunError{"cannot make " + shown + ": " + std::strerror(errno)};
    mail::DkimSigner signer(*message.dkim());
    std::uint64_t size = 0;
    message.Write([&](std::string_view bytes) {
      signer.Feed(bytes);
      WriteAll(scratch.get(), bytes, shown);
      size += bytes.size();
    });
    const std::string signature = signer.Finish();
    out.write(signature.data(), static_cast<std::streamsize>(signature.size()));
    std::string buffer(std::size_t{1} << 20, '\0');
    for (off_t at = 0; static_cast<std::uint64_t>(at) < size;) {
      const ssize_t n = ::pread(scratch.get(), buffer.data(), buffer.size(), at);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0)
        throw RunError{"cannot read " + shown + ": " + std::strerror(n < 0 ? errno : EIO)};
      out.write(buffer.data(), n);
      at += n;
    }
    out.flush();
    if (!out) throw RunError{"cannot write the message to standard output"};
    return signature.size() + size;
  }
  // Should the signature come out longer or shorter than its room (it
  // never has), the message is written again with the room it needs.
  std::optional<std::size_t> room;
  for (int pass = 0;; ++pass) {
    try {
      AtomicOutput file(options.output, FromUtf8(options.output));
      mail::DkimSigner signer(*message.dkim());
      std::string head;  // the message until its header fields are whole
      bool reserved = false;
      std::uintmax_t written = 0;
      message.Write([&](std::string_view bytes) {
        signer.Feed(bytes);
        written += bytes.size();
        if (reserved) return file.Write(bytes);
        head += bytes;
        const auto end = head.find("\r\n\r\n");
        if (end == std::string::npos) return;
        if (!room) room = signer.ExpectedLength(std::string_view(head).substr(0, end + 2));
        file.Reserve(*room);
        reserved = true;
        file.Write(head);
        head = std::string();
      });
      const std::string signature = signer.Finish();
      if (!reserved) {  // a message of header fields alone
        file.Reserve(signature.size());
        file.Write(head);
      } else if (signature.size() != room) {
        if (pass == 0) {
          room = signature.size();
          continue;
        }
        throw RunError{"the DKIM signature could not be placed; nothing written"};
      }
      file.Fill(signature);
      file.Commit();
      return signature.size() + written;
    } catch (const Failure& failure) {
      throw RunError{failure.what()};
    }
  }
}

// Today's layout, exactly as the control's GetImages writes it.
void ComposeGetImagesLayout(const ComposeOptions& options, const Source& source, std::ostream& out,
                            std::ostream& err) {
  Problems problems(options, err);
  Library library(Services{std::make_shared<StreamDesktop>(&err), nullptr,
                           std::make_shared<PosixBase64FileEncoderFactory>(
                               ResolveThrough(source.paths), source.policy, problems.Observer())});
  OrvaneControl control(library);
  std::size_t html_size = 0;
  const std::u16string message =
      mail::GetImagesLayout(control, source.page, options.keep_html, options.debug, &html_size);
  problems.Tell(
      [&](const std::u16string& path) {
        return ReferenceOf(*control.imageKeys(), *control.imageValues(), path);
      },
      "with empty parts");
  // A reference holding a control character gets no part (GetImages will
  // not write one into a Content-ID): a file not embedded too. A file
  // name's control characters are written %HH instead.
  const auto has_control = [](std::u16string_view text) {
    return std::any_of(text.begin(), text.end(), [](char16_t c) { return c < 0x20 || c == 0x7F; });
  };
  std::size_t left_out = 0;
  const Collection& keys = *control.imageKeys();
  const Collection& values = *control.imageValues();
  for (std::int32_t k = 1; k <= keys.Count() && k <= values.Count(); ++k) {
    if (keys.Item(k).IsObject() || values.Item(k).IsObject()) continue;
    const std::u16string key = keys.Item(k).ToText();
    if (!has_control(key)) continue;
    ++left_out;
    if (options.allow_missing && options.quiet) continue;
    err << "corabind: " << (options.allow_missing ? "warning" : "error") << ": "
        << Printable(ToUtf8(key)) << ": left out: the reference holds a control character\n";
  }
  if (left_out != 0 && !options.allow_missing) {
    throw RunError{std::to_string(left_out) +
                   " file(s) could not be embedded; nothing written (--allow-missing writes "
                   "the message without them)"};
  }

  // Every byte is checked before any is written where a write cannot be
  // taken back (standard output); a file is only renamed into place whole.
  const auto encode = [&](const std::function<void(std::string_view)>& sink) {
    std::optional<std::size_t> bad;
    try {
      bad = EncodeMessage(message, options.encoding, sink);
    } catch (const Failure& failure) {
      throw UsageError{"--encoding " + Printable(options.encoding) + ": " + Printable(failure.what())};
    }
    if (!bad) return;
    const std::size_t at = *bad;
    const std::size_t html_begin = kMessageHeader.size();  // the HTML follows the header
    std::ostringstream where;
    if (at >= html_begin && at < html_begin + html_size) {
      const auto line = 1 + std::count(message.begin() + static_cast<std::ptrdiff_t>(html_begin),
                                       message.begin() + static_cast<std::ptrdiff_t>(at), u'\n');
      where << source.input.name << ", line " << line;
    } else {
      const auto line =
          1 + std::count(message.begin(), message.begin() + static_cast<std::ptrdiff_t>(at), u'\n');
      where << "line " << line << " of the message (a part's name or Content-ID)";
    }
    throw RunError{ToUtf8(CharacterName(message, at)) + " at " + where.str() +
                   " cannot be written in " + Printable(options.encoding) +
                   "; nothing written (--encoding utf-8 keeps every character)"};
  };
  if (options.output.empty() || options.output == "-") encode([](std::string_view) {});
  const std::uintmax_t written = Deliver(options, out, encode);
  if (options.list) ListParts(err, *control.imageKeys(), *control.imageValues(), *source.paths);
  if (!options.quiet) Summarise(err, Destination(options), *control.imageKeys(), written);
}

mail::Mail ComposeStandard(const ComposeOptions& options, const Source& source, std::ostream& err) {
  Problems problems(options, err);
  mail::MailOptions mail_options;
  mail_options.from = options.from;
  mail_options.to = options.to;
  mail_options.cc = options.cc;
  mail_options.bcc = options.bcc;
  mail_options.reply_to = options.reply_to;
  mail_options.list_unsubscribe = options.list_unsubscribe;
  mail_options.subject = options.subject;
  if (options.no_text) {
    mail_options.text = mail::TextAlternative::kNone;
  } else if (!options.text.empty()) {
    mail_options.text = mail::TextAlternative::kGiven;
    mail_options.given_text = ReadGivenText(options.text);
  }
  for (const std::string& file : options.attach) mail_options.attachments.emplace_back(file);
  mail_options.charset = options.charset;
  mail_options.keep_data_uris = options.keep_data_uris;
  mail_options.resolve = ResolveThrough(source.paths);
  mail_options.policy = source.policy;
  mail_options.observer = problems.Observer();
  mail_options.probed_ahead = source.probed_ahead;
  mail_options.dkim = LoadDkimKey(options, err);
  try {
    mail::Mail message = mail::ComposeMail(source.page, mail_options);
    problems.Tell([&](const std::u16string& path) { return message.ReferenceOf(path); },
                  "with those references left as written");
    return message;
  } catch (const Failure& failure) {
    if (failure.number() == err::kInvalidCall) throw UsageError{failure.what()};
    throw;
  }
}

// The run is about to end: its page and message are left to the operating
// system, which takes the memory back at once, rather than freed piece by
// piece (a fifth of a second for a page of 10,000 images), as compilers
// leave their syntax trees. Only this one-shot command does it; serve and
// send compose again and again and free as they go.
void LeaveToExit(std::unique_ptr<Source> source, mail::Mail message) {
  struct Kept {
    std::unique_ptr<Source> source;
    mail::Mail message;
  };
  static auto* const kept = new std::vector<Kept>();  // never freed, on purpose
  kept->push_back({std::move(source), std::move(message)});
}

int Compose(const ComposeOptions& options, std::ostream& out, std::ostream& err) {
  CheckEnvelope(options);
  std::unique_ptr<Source> source = Read(options, err);
  if (options.get_images_layout) {
    ComposeGetImagesLayout(options, *source, out, err);
  } else {
    mail::Mail message = ComposeStandard(options, *source, err);
    const std::uintmax_t written =
        message.dkim() ? DeliverSigned(options, out, message)
                       : Deliver(options, out, [&](const auto& sink) { message.Write(sink); });
    if (options.list || !options.quiet) {
      // The files as the control lists them: references and their paths.
      Collection references, paths;
      for (const auto& [reference, path] : message.embedded()) {
        references.Add(Variant(reference));
        paths.Add(Variant(path));
      }
      if (options.list) ListParts(err, references, paths, *source->paths);
      if (!options.quiet) {
        Summarise(err, Destination(options), references, written, message.has_text(),
                  message.attachments(), message.parts() - message.embedded().size());
      }
    }
    LeaveToExit(std::move(source), std::move(message));
  }
  return kExitOk;
}

}  // namespace

void CheckEnvelope(const ComposeOptions& options) {
  try {
    if (!options.from.empty()) mail::ParseAddressList("--from", options.from);
    for (const std::string& to : options.to) mail::ParseAddressList("--to", to);
    for (const std::string& cc : options.cc) mail::ParseAddressList("--cc", cc);
    for (const std::string& bcc : options.bcc) mail::ParseAddressList("--bcc", bcc);
    for (const std::string& reply : options.reply_to) mail::ParseAddressList("--reply-to", reply);
    mail::CheckHeaderText("--subject", options.subject);
  } catch (const Failure& failure) {
    throw UsageError{failure.what()};
  }
}

mail::Mail ComposeForSending(const ComposeOptions& options, std::ostream& err) {
  CheckEnvelope(options);
  return ComposeStandard(options, *Read(options, err), err);
}

mail::Mail ComposeTextForSending(const ComposeOptions& options, const std::string& utf8,
                                 const std::string& folder, std::ostream& err) {
  MailInput input;
  input.name = options.mail;
  input.utf8 = utf8;
  input.empty = utf8.empty();
  std::error_code ec;
  input.folder = fs::canonical(folder, ec);
  if (ec || !fs::is_directory(input.folder)) throw UsageError{"no such folder: " + Printable(folder)};
  return ComposeStandard(options, *Read(options, err, &input), err);
}

int RunCompose(const ComposeOptions& options, std::ostream& out, std::ostream& err) {
  return RunCommand(
      "compose", err, [&] { return Compose(options, out, err); }, options.mail);
}

std::shared_ptr<const mail::DkimKey> LoadDkimKey(const ComposeOptions& options, std::ostream& err) {
  if (!options.dkim.on()) return nullptr;
  std::shared_ptr<const mail::DkimKey> key;
  try {
    key = mail::DkimKey::Load(options.dkim, options.from);
  } catch (const Failure& failure) {
    if (failure.number() == err::kInvalidCall) throw UsageError{failure.what()};
    throw RunError{Printable(failure.what())};
  }
  if (key->readable_by_others() && !options.quiet) {
    err << "corabind: warning: " << Printable(options.dkim.key_file)
        << " may be read by other users; a signing key should be private (chmod 600)\n";
  }
  return key;
}

void AddMailOptions(CLI::App& command, ComposeOptions& options) {
  command.add_option("--from", options.from, "The From address (\"Name <user@host>\")");
  command.add_option("--to", options.to, "A To address or list of addresses (repeatable)")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  command.add_option("--cc", options.cc, "A Cc address or list of addresses (repeatable)")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  command
      .add_option("--bcc", options.bcc,
                  "A blind copy address or list (repeatable): in the envelope only, never in "
                  "the message")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  command.add_option("--reply-to", options.reply_to, "The Reply-To address or list")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  command
      .add_option("--list-unsubscribe", options.list_unsubscribe,
                  "A mailto: or https: URL for List-Unsubscribe (repeatable; an https: one also "
                  "offers one-click unsubscribing)")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  command.add_option("--subject", options.subject, "The Subject (UTF-8)");
  CLI::Option* text =
      command.add_option("--text", options.text,
                         "The plain-text alternative, a UTF-8 file (default: made from the HTML)");
  command.add_flag("--no-text", options.no_text, "No plain-text alternative: the HTML alone")
      ->excludes(text);
  command
      .add_option("--attach", options.attach,
                  "Attach this file (repeatable); any regular file the user can read, typed by "
                  "its bytes")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  command.add_option("--charset", options.charset,
                     "IANA charset the HTML part is written in (default utf-8), e.g. euc-kr");
  command.add_flag("--keep-data-uris", options.keep_data_uris,
                   "Leave data: images in the HTML (by default each becomes a part the HTML "
                   "names by cid:, since many mail programs block data: images)");
  command
      .add_option("--allow-root", options.allow_roots,
                  "Also embed files from this folder and below (repeatable)")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  command
      .add_option("--drive", options.drives,
                  "Map a drive letter of the mail's paths to a folder: X=/some/folder "
                  "(repeatable)")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  command.add_option("--input-charset", options.input_charset,
                     "Charset of MAIL when it has no byte order mark, as iconv names it "
                     "(overrules a <meta> declaration; default: the <meta> one, else UTF-8)");
  command.add_flag("--allow-hard-links", options.allow_hard_links,
                   "Embed files that have more than one name (hard links), whose other names "
                   "may lie outside the folders that may be embedded");
  command.add_flag("--allow-missing", options.allow_missing,
                   "Write the message even when files are missing or refused (their "
                   "references stay as written)");
  CLI::Option* key = command.add_option(
      "--dkim-key", options.dkim.key_file,
      "Sign the message (DKIM, rsa-sha256) with this RSA private key in PEM form");
  command
      .add_option("--dkim-selector", options.dkim.selector,
                  "The selector the public key is published under "
                  "(SELECTOR._domainkey.DOMAIN); needed with --dkim-key")
      ->needs(key);
  key->needs(command.get_option("--dkim-selector"));
  command
      .add_option("--dkim-domain", options.dkim.domain,
                  "The domain that signs (d=); default: the From address's domain")
      ->needs(key);
}

void AddComposeCommand(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<ComposeOptions>();
  CLI::App* compose = app.add_subcommand(
      "compose",
      "Compose a standard MIME message from an HTML mail and the local images, style sheets and "
      "Flash movies it refers to, with a plain-text alternative and any attachments");
  compose
      ->add_option("MAIL", options->mail,
                   "The HTML file of the mail (a regular file of at most 64 MiB), or - for "
                   "standard input with the working folder as base")
      ->required();
  compose->add_option("-o,--output", options->output,
                      "Write the message here (replaced whole) instead of standard output");
  AddMailOptions(*compose, *options);
  CLI::Option* layout = compose->add_flag(
      "--get-images-layout", options->get_images_layout,
      "Write exactly what the control's GetImages returns (its fixed layout, for programs that "
      "rely on it) instead of standard MIME");
  for (const char* standard_only :
       {"--from", "--to", "--cc", "--bcc", "--reply-to", "--list-unsubscribe", "--subject",
        "--text", "--no-text", "--attach", "--charset", "--dkim-key"}) {
    layout->excludes(compose->get_option(standard_only));
  }
  compose
      ->add_option("--encoding", options->encoding,
                   "With --get-images-layout: charset of the written message, as iconv names it "
                   "(default CP949, which the HTML part's ks_c_5601-1987 label means)")
      ->needs(layout);
  compose
      ->add_flag("--keep-html", options->keep_html,
                 "With --get-images-layout: hand the HTML over verbatim instead of pointing "
                 "references at cid: parts")
      ->needs(layout);
  compose
      ->add_flag("--debug", options->debug,
                 "With --get-images-layout: trace every step (message boxes go to stderr)")
      ->needs(layout);
  compose->add_flag("--list", options->list,
                    "Name every embedded file, its host path and size on standard error");
  compose->add_flag("-q,--quiet", options->quiet,
                    "Print nothing on success: no summary line, no warnings");
  compose->callback(
      [options, &exit_status] { exit_status = RunCompose(*options, std::cout, std::cerr); });
}

}  // namespace corabind::cli
