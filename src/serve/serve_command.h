// `corabind serve`: the control for a browser page, over HTTP on the
// loopback address, with the bundled mail editor at "/".
#pragma once

#include <CLI/CLI.hpp>

namespace corabind::serve {

void AddServeCommand(CLI::App& app, int& exit_status);

}  // namespace corabind::serve
