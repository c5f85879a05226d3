// The corabind command: the control's jobs for people and for scripts.
#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/command.h"
#include "cli/interactive_commands.h"

int main(int argc, char** argv) {
  CLI::App app{
      "corabind: compose MIME mail from HTML, build form-field and Flash markup, "
      "save and open local HTML"};
  app.set_version_flag("--version", std::string("corabind ") + CORABIND_VERSION);
  app.require_subcommand(0, 1);
  int exit_status = corabind::cli::kExitOk;
  corabind::cli::AddInteractiveCommands(app, exit_status);
  CLI11_PARSE(app, argc, argv);
  if (argc == 1) std::cout << app.help();
  return exit_status;
}
