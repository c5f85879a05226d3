// `corabind compose MAIL.html [-o OUT.eml]`: the mail composition job for a
// person. Parses the file, runs GetImages over it and writes the message.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/command.h"
#include "mail/mail_writer.h"

namespace corabind::cli {

struct ComposeOptions {
  std::string mail;    // the HTML file
  std::string output;  // "" for standard output
  // Standard MIME (the default).
  std::string from, subject;
  std::vector<std::string> to, cc;
  std::vector<std::string> bcc;  // the envelope only
  std::vector<std::string> reply_to, list_unsubscribe;
  std::string text;      // a file holding the plain-text alternative; "" makes it
  bool no_text = false;  // no plain-text alternative at all
  std::vector<std::string> attach;
  std::string charset = "utf-8";  // of the HTML part
  bool keep_data_uris = false;    // data: URLs stay in the HTML, not made parts
  mail::DkimOptions dkim;         // signs the message when a key is given
  // Exactly what the control's GetImages returns.
  bool get_images_layout = false;
  std::string encoding = "CP949";        // the HTML part is labelled ks_c_5601-1987
  std::vector<std::string> allow_roots;  // folders besides the mail's that may be read
  std::vector<std::string> drives;       // "X=/host/folder"
  bool keep_html = false;
  bool allow_missing = false;
  bool allow_hard_links = false;  // embed files with more than one name
  bool debug = false;
  std::string input_charset;  // "" reads the <meta> declaration, else UTF-8
  bool list = false;          // name the embedded files on stderr
  bool quiet = false;         // no summary line, no warnings
};

// Refuses (UsageError naming the option and the value) an address or
// subject the mail would refuse, before anything is read, written or sent.
void CheckEnvelope(const ComposeOptions& options);

// The standard message for `options` (problems with files are told on
// `err`); what send sends. Throws UsageError, RunError or Failure.
mail::Mail ComposeForSending(const ComposeOptions& options, std::ostream& err);

// The same for a mail held as UTF-8 text, its relative references read
// from `folder` (`options.mail` only names it in messages); what serve
// composes and sends.
mail::Mail ComposeTextForSending(const ComposeOptions& options, const std::string& utf8,
                                 const std::string& folder, std::ostream& err);

// The DKIM key `options` name, read and tried (null when none is given);
// throws UsageError or RunError naming the file. Warns on `err` of a key
// that other users may read.
std::shared_ptr<const mail::DkimKey> LoadDkimKey(const ComposeOptions& options, std::ostream& err);

// Adds the options compose and send share to `command`.
void AddMailOptions(CLI::App& command, ComposeOptions& options);

// Runs compose; diagnostics and message boxes go to `err`.
int RunCompose(const ComposeOptions& options, std::ostream& out, std::ostream& err);

// Adds the compose subcommand to `app`; when it runs, its status is stored
// in `exit_status`.
void AddComposeCommand(CLI::App& app, int& exit_status);

}  // namespace corabind::cli
