// `corabind screenshots DIR`: every dialog, filled with sample values, drawn
// by the Qt desktop's renderer under the offscreen platform and saved as PNG.
#pragma once

#include <CLI/CLI.hpp>

namespace corabind::cli {

void AddScreenshotsCommand(CLI::App& app, int& exit_status);

}  // namespace corabind::cli
