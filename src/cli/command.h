// How the corabind subcommands plug into the command line: each adds its
// subcommand to the app and, when it runs, stores its exit status.
#pragma once

#include <CLI/CLI.hpp>

namespace corabind::cli {

// Exit statuses shared by every subcommand.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the job failed (message on stderr)
inline constexpr int kExitUsage = 2;    // the command line was wrong

void AddAutomateCommand(CLI::App& app, int& exit_status);

}  // namespace corabind::cli
