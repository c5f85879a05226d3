// `corabind automate`: the control called by name through JSON Lines, one
// request per line on the input, one response per line on the output. One
// process is one loaded library. The protocol is described in
// docs/automation.md.
#pragma once

#include <cstddef>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace corabind::cli {

struct AutomateOptions {
  std::vector<std::string> drives;  // "X=/host/folder"
  std::size_t max_line_bytes = std::size_t{64} << 20;
};

// Serves requests until the input ends. Returns the process exit status.
int RunAutomate(std::istream& in, std::ostream& out, const AutomateOptions& options);

}  // namespace corabind::cli
