// The automate request handler: any bytes as request lines must get one
// response each and leave the process serving. Requests that would write
// files (a save dialog's answer) are skipped, so a run cannot touch the disk.
#include <cstdint>
#include <sstream>
#include <string>

#include "cli/automate.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  if (input.find("save") != std::string::npos || input.find("\\u") != std::string::npos) return 0;
  std::istringstream in(input);
  std::ostringstream out;
  corabind::cli::AutomateOptions options;
  options.max_line_bytes = 1 << 16;
  corabind::cli::RunAutomate(in, out, options);
  return 0;
}
