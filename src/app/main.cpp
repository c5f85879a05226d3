// The corabind command: the control's jobs for people and for scripts.
#include <CLI/CLI.hpp>
#include <clocale>
#include <cstring>
#include <iostream>
#include <map>

#include "cli/command.h"
#include "cli/compose_command.h"
#include "cli/interactive_commands.h"
#include "cli/send_command.h"
#include "serve/serve_command.h"

namespace {

// One worked example per command, shown at the end of its --help.
const std::map<std::string, std::string> kExamples = {
    {"compose",
     "  corabind compose examples/newsletter/newsletter.html -o newsletter.eml \\\n"
     "      --from 'Harbour Lane Gazette <gazette@example.org>' --to kim@example.com "
     "--subject 'Spring issue'\n"
     "  corabind compose --input-charset latin1 --list old.html -o old.eml\n"
     "  corabind compose news.html --from news@example.com --to lee@example.org \\\n"
     "      --attach report.pdf --list-unsubscribe https://example.com/u?id=42 \\\n"
     "      --dkim-key news.key --dkim-selector mail2026 -o news.eml\n\n"
     "Exit status: 0 written; 1 a file could not be embedded, MAIL could not be read or "
     "decoded, or a character could not be encoded (nothing written); 2 usage."},
    {"send",
     "  CORABIND_SMTP_PASSWORD=... corabind send mail.html --smtp smtp://mail.example.com:587 "
     "--user kim \\\n      --from 'Kim <kim@example.com>' --to lee@example.org --subject Hello\n"
     "  corabind send --eml mail.eml --smtp smtps://mail.example.com --from kim@example.com "
     "--to lee@example.org\n\n"
     "Exit status: 0 the server accepted the message; 1 it could not be composed or the server "
     "refused it (its reply is quoted); 2 usage."},
    {"automate",
     "  corabind automate --reference   # the members and dialogs, in Markdown\n"
     "  printf '%s\\n' '{\"id\":1,\"op\":\"describe\"}' | corabind automate"},
    {"field",
     "  corabind field text\n"
     "  echo '[{\"form\":\"TextBoxF\",\"steps\":[{\"type\":\"Text1\",\"text\":\"user\"},"
     "{\"click\":\"Command1\"}]}]' \\\n    | corabind field TEXT --ui-script -"},
    {"edit-field", "  corabind edit-field '<input type=password name=pw maxlength=8>'"},
    {"flash", "  corabind flash > movie.html"},
    {"save", "  corabind save page.htm\n  sed s/draft/final/ draft.htm | corabind save -"},
    {"open", "  corabind open > page.htm"},
    {"screenshots", "  corabind screenshots docs/screenshots"},
    {"serve",
     "  corabind serve --open --folder ~/mail\n"
     "  corabind serve --no-display --port 8080   # pages answer the dialogs with ui scripts\n\n"
     "Exit status: 0 stopped by POST /shutdown or a signal; 1 it could not listen or start; "
     "2 usage."},
};

std::string CommandList(const CLI::App& app) {
  std::string names;
  for (const CLI::App* sub : app.get_subcommands({})) {
    names += (names.empty() ? "" : ", ") + sub->get_name();
  }
  return names;
}

}  // namespace

int main(int argc, char** argv) {
  // Text files are written in the user's code set, as the control always has.
  std::setlocale(LC_ALL, "");
  using corabind::cli::kExitUsage;

  CLI::App app{
      "corabind: compose MIME mail from HTML with its local resources, build form-field and Flash "
      "markup, save and open local HTML"};
  app.name("corabind");
  app.set_version_flag("--version", std::string("corabind ") + CORABIND_VERSION);
  app.require_subcommand(0, 1);
  app.footer("Run 'corabind COMMAND --help' for a command's options and an example.");

  int status = corabind::cli::kExitOk;
  // One line per subcommand.
  corabind::cli::AddComposeCommand(app, status);
  corabind::cli::AddSendCommand(app, status);
  corabind::cli::AddAutomateCommand(app, status);
  corabind::cli::AddInteractiveCommands(app, status);
  corabind::serve::AddServeCommand(app, status);
  for (CLI::App* sub : app.get_subcommands({})) {
    const auto example = kExamples.find(sub->get_name());
    if (example == kExamples.end()) continue;
    // The dialog commands end alike; a script tells a cancel by the status.
    const bool dialog = sub->get_name() != "compose" && sub->get_name() != "send" &&
                        sub->get_name() != "automate" && sub->get_name() != "screenshots" &&
                        sub->get_name() != "serve";
    sub->footer("Example:\n" + example->second +
                (dialog ? "\n\nExit status: 0 done, its result printed; 1 the user cancelled or "
                          "closed the window (nothing printed), or the call failed; 2 usage."
                        : ""));
  }

  // Usage problems go to standard error, with the program's name first.
  if (argc < 2) {
    std::cerr << "corabind: no command given\n" << app.help();
    return kExitUsage;
  }
  if (argv[1][0] != '-') {
    bool known = false;
    for (const CLI::App* sub : app.get_subcommands({})) known |= sub->get_name() == argv[1];
    if (!known) {
      std::cerr << "corabind: unknown command '" << argv[1]
                << "'; the commands are: " << CommandList(app) << " (corabind --help tells more)\n";
      return kExitUsage;
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::string command = "corabind";
    for (const CLI::App* sub : app.get_subcommands({}))
      if (sub->count() > 0) command += " " + sub->get_name();
    std::cerr << command << ": " << e.what() << "\nRun '" << command
              << " --help' for the options and an example.\n";
    return kExitUsage;
  }
  return status;
}
