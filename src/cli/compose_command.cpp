#include "cli/compose_command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <iostream>
#include <sstream>
#include <utility>

#include "automation/compose_report.h"
#include "automation/mail_composer.h"
#include "automation/mail_input.h"
#include "cli/output_encoding.h"
#include "control/orvane_control.h"
#include "core/collection.h"
#include "core/failure.h"
#include "core/printable.h"
#include "core/text.h"
#include "mail/get_images_layout.h"
#include "mail/mail_writer.h"
#include "mime/message_layout.h"
#include "platform/html/html_document.h"
#include "platform/posix/atomic_output.h"
#include "platform/posix/base64_file_encoder_posix.h"
#include "platform/posix/code_set.h"
#include "platform/posix/path_map.h"

namespace corabind::cli {

namespace fs = std::filesystem;
using automation::ListParts;
using automation::MailInput;
using automation::MailInputError;
using automation::ReadMailInput;
using automation::ReferenceOf;
using automation::RefuseOutputOverInput;
using automation::Summarise;

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

using automation::ComposeError;
using automation::Problems;
using automation::Source;

std::unique_ptr<Source> Read(const ComposeOptions& options, std::ostream& err) {
  MailInput input;
  try {
    input = ReadMailInput(options.mail, options.input_charset);
    RefuseOutputOverInput(input, options.output);
  } catch (const MailInputError& e) {
    if (e.usage) throw UsageError{e.what()};
    throw RunError{e.what()};
  }
  return automation::Prepare(std::move(input), options.request,
                             options.get_images_layout ? automation::PageModel::kWhole
                                                       : automation::PageModel::kForMessage,
                             {err, options.quiet});
}

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

// The signed message, written in one pass while it is hashed; its
// signature goes in front. To a file, room is left for the signature (its
// length is known once the header fields are) and it is filled in at the
// end; to standard output, the message waits in an unnamed temporary file.
std::uintmax_t DeliverSigned(const ComposeOptions& options, std::ostream& out,
                             const mail::Mail& message) {
  if (options.output.empty() || options.output == "-") {
    const std::uintmax_t written = automation::WriteMessage(message, [&](std::string_view bytes) {
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    });
    out.flush();
    if (!out) throw RunError{"cannot write the message to standard output"};
    return written;
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
  Problems problems(options.request.allow_missing, {err, options.quiet});
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
    if (options.request.allow_missing && options.quiet) continue;
    err << "corabind: " << (options.request.allow_missing ? "warning" : "error") << ": "
        << Printable(ToUtf8(key)) << ": left out: the reference holds a control character\n";
  }
  if (left_out != 0 && !options.request.allow_missing) {
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
      throw UsageError{"--encoding " + Printable(options.encoding) + ": " +
                       Printable(failure.what())};
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
  if (!options.get_images_layout) automation::CheckRequest(options.request);
  std::unique_ptr<Source> source = Read(options, err);
  if (options.get_images_layout) {
    ComposeGetImagesLayout(options, *source, out, err);
  } else {
    mail::Mail message = automation::ComposeMessage(options.request, *source, {err, options.quiet});
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

mail::Mail ComposeForSending(const ComposeOptions& options, std::ostream& err) {
  automation::CheckRequest(options.request);
  return automation::ComposeMessage(options.request, *Read(options, err), {err, options.quiet});
}

int RunCompose(const ComposeOptions& options, std::ostream& out, std::ostream& err) {
  return RunCommand(
      "compose", err, [&] { return Compose(options, out, err); }, options.mail);
}

namespace {

// An option given once per value (`--to a --to b`): each takes exactly one,
// so a value never swallows the MAIL argument after it.
void AddRepeatable(CLI::App& command, const std::string& name, std::vector<std::string>& values,
                   const std::string& help) {
  command.add_option(name, values, help)
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

}  // namespace

void AddMailOptions(CLI::App& command, ComposeOptions& options) {
  mail::MailRequest& request = options.request;
  command.add_option("--from", request.from, "The From address (\"Name <user@host>\")");
  AddRepeatable(command, "--to", request.to, "A To address or list of addresses (repeatable)");
  AddRepeatable(command, "--cc", request.cc, "A Cc address or list of addresses (repeatable)");
  AddRepeatable(command, "--bcc", request.bcc,
                "A blind copy address or list (repeatable): in the envelope only, never in "
                "the message");
  AddRepeatable(command, "--reply-to", request.reply_to, "The Reply-To address or list");
  AddRepeatable(command, "--list-unsubscribe", request.list_unsubscribe,
                "A mailto: or https: URL for List-Unsubscribe (repeatable; an https: one also "
                "offers one-click unsubscribing)");
  command.add_option("--subject", request.subject, "The Subject (UTF-8)");
  CLI::Option* text =
      command.add_option("--text", request.text,
                         "The plain-text alternative, a UTF-8 file (default: made from the HTML)");
  command.add_flag("--no-text", request.no_text, "No plain-text alternative: the HTML alone")
      ->excludes(text);
  AddRepeatable(command, "--attach", request.attach,
                "Attach this file (repeatable); any regular file the user can read, typed by "
                "its bytes");
  command.add_option("--charset", request.charset,
                     "IANA charset the HTML part is written in (default utf-8), e.g. euc-kr");
  command.add_flag("--keep-data-uris", request.keep_data_uris,
                   "Leave data: images in the HTML (by default each becomes a part the HTML "
                   "names by cid:, since many mail programs block data: images)");
  AddRepeatable(command, "--allow-root", request.allow_roots,
                "Also embed files from this folder and below (repeatable)");
  AddRepeatable(command, "--drive", request.drives,
                "Map a drive letter of the mail's paths to a folder: X=/some/folder "
                "(repeatable)");
  command.add_option("--input-charset", options.input_charset,
                     "Charset of MAIL when it has no byte order mark, as iconv names it "
                     "(overrules a <meta> declaration; default: the <meta> one, else UTF-8)");
  command.add_flag("--allow-hard-links", request.allow_hard_links,
                   "Embed files that have more than one name (hard links), whose other names "
                   "may lie outside the folders that may be embedded");
  command.add_flag("--allow-missing", request.allow_missing,
                   "Write the message even when files are missing or refused (their "
                   "references stay as written)");
  CLI::Option* key = command.add_option(
      "--dkim-key", request.dkim.key_file,
      "Sign the message (DKIM, rsa-sha256) with this RSA private key in PEM form");
  command
      .add_option("--dkim-selector", request.dkim.selector,
                  "The selector the public key is published under "
                  "(SELECTOR._domainkey.DOMAIN); needed with --dkim-key")
      ->needs(key);
  key->needs(command.get_option("--dkim-selector"));
  command
      .add_option("--dkim-domain", request.dkim.domain,
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
