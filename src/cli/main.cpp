// The corabind command: the control's jobs for people and for scripts.
#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/compose_command.h"
#include "cli/interactive_commands.h"

int main(int argc, char** argv) {
  CLI::App app{
      "corabind: compose MIME mail from HTML, build form-field and Flash markup, "
      "save and open local HTML"};
  app.set_version_flag("--version", std::string("corabind ") + CORABIND_VERSION);
  app.require_subcommand(0, 1);
  int status = 0;
  corabind::cli::AddComposeCommand(app, status);
  corabind::cli::AddInteractiveCommands(app, status);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // Help and version print and succeed; every other parse error is a usage error.
    return app.exit(e) == 0 ? 0 : 2;
  }
  if (argc == 1) std::cout << app.help();
  return status;
}
