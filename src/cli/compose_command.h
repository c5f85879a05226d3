// `corabind compose MAIL.html [-o OUT.eml]`: the mail composition job for a
// person. Parses the file, runs GetImages over it and writes the message.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/command.h"

namespace corabind::cli {

struct ComposeOptions {
  std::string mail;                      // the HTML file
  std::string output;                    // "" for standard output
  std::string encoding = "CP949";        // the HTML part is labelled ks_c_5601-1987
  std::vector<std::string> allow_roots;  // folders besides the mail's that may be read
  std::vector<std::string> drives;       // "X=/host/folder"
  bool keep_html = false;
  bool allow_missing = false;
  bool debug = false;
  std::string input_charset;  // "" reads the <meta> declaration, else UTF-8
  bool list = false;          // name the embedded files on stderr
  bool quiet = false;         // no summary line, no warnings
};

// Exit statuses of compose.

// Runs compose; diagnostics and message boxes go to `err`.
int RunCompose(const ComposeOptions& options, std::ostream& out, std::ostream& err);

// Adds the compose subcommand to `app`; when it runs, its status is stored
// in `exit_status`.
void AddComposeCommand(CLI::App& app, int& exit_status);

}  // namespace corabind::cli
