// `corabind compose MAIL.html [-o OUT.eml]`: the mail composition job for a
// person. Parses the file, runs GetImages over it and writes the message.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/command.h"
#include "mail/mail_request.h"
#include "mail/mail_writer.h"

namespace corabind::cli {

struct ComposeOptions {
  std::string mail;    // the HTML file
  std::string output;  // "" for standard output
  mail::MailRequest request;  // the standard MIME message (the default)
  // Exactly what the control's GetImages returns.
  bool get_images_layout = false;
  std::string encoding = "CP949";  // the HTML part is labelled ks_c_5601-1987
  bool keep_html = false;
  bool debug = false;
  std::string input_charset;  // "" reads the <meta> declaration, else UTF-8
  bool list = false;          // name the embedded files on stderr
  bool quiet = false;         // no summary line, no warnings
};

// The standard message for `options` (problems with files are told on
// `err`); what send sends. Throws UsageError, RunError, ComposeError or
// Failure.
mail::Mail ComposeForSending(const ComposeOptions& options, std::ostream& err);

// Adds the options compose and send share to `command`, bound to the
// mail request.
void AddMailOptions(CLI::App& command, ComposeOptions& options);

// Runs compose; diagnostics and message boxes go to `err`.
int RunCompose(const ComposeOptions& options, std::ostream& out, std::ostream& err);

// Adds the compose subcommand to `app`; when it runs, its status is stored
// in `exit_status`.
void AddComposeCommand(CLI::App& app, int& exit_status);

}  // namespace corabind::cli
