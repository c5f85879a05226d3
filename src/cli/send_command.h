// `corabind send`: compose a mail (or take one composed before) and hand it
// to an SMTP server.
#pragma once

#include <CLI/CLI.hpp>

namespace corabind::cli {

void AddSendCommand(CLI::App& app, int& exit_status);

}  // namespace corabind::cli
