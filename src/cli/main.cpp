// The corabind command: the control's jobs for people and for scripts.
#include <CLI/CLI.hpp>
#include <clocale>
#include <iostream>

#include "cli/command.h"
#include "cli/compose_command.h"
#include "cli/interactive_commands.h"
#include "cli/send_command.h"

int main(int argc, char** argv) {
  // Text files are written in the user's code set, as the control always has.
  std::setlocale(LC_ALL, "");

  CLI::App app{
      "corabind: compose MIME mail from HTML with its local resources, build form-field and Flash "
      "markup, save and open local HTML"};
  app.set_version_flag("--version", std::string("corabind ") + CORABIND_VERSION);
  app.require_subcommand(0, 1);

  int status = corabind::cli::kExitOk;
  // One line per subcommand.
  corabind::cli::AddComposeCommand(app, status);
  corabind::cli::AddSendCommand(app, status);
  corabind::cli::AddAutomateCommand(app, status);
  corabind::cli::AddInteractiveCommands(app, status);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return corabind::cli::kExitUsage;
  }
  if (app.get_subcommands().empty()) {
    std::cout << app.help();
    return corabind::cli::kExitUsage;
  }
  return status;
}
