// The commands a person runs to use the control's dialogs: field,
// edit-field, flash, save, open, and screenshots of every dialog.
#pragma once

#include <CLI/CLI.hpp>

namespace corabind::cli {

// Adds the subcommands; when one runs it stores its exit status.
void AddInteractiveCommands(CLI::App& app, int& exit_status);

}  // namespace corabind::cli
