// A long page cut into pieces must parse into the very tree one parse
// builds. The input is parsed both ways, with pieces a few hundred bytes long
// so that short inputs are cut too; any difference is a finding. A failure
// (number 5) on either side is a fine answer.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/failure.h"
#include "platform/html/parser_helper.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace corabind;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string whole, pieces;
  try {
    whole = html::ParseWireInHelper(input, html::ParseMode::kDocument, {}, 0);
    pieces = html::ParseWireInHelper(input, html::ParseMode::kDocument, {}, 200);
  } catch (const Failure&) {
    return 0;
  }
  if (whole != pieces) __builtin_trap();
  return 0;
}
