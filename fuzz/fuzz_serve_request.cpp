// The request reader of `corabind serve`: whatever bytes a client sends, it
// keeps no more than its limits, and it reads the same requests whether the
// bytes come at once, a byte at a time or in pieces of any size.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "serve/request_reader.h"

namespace {

constexpr std::size_t kMaxHead = 512;
constexpr std::size_t kMaxBody = 2048;

// What the reader made of `bytes` given `piece` bytes at a time.
std::vector<std::string> ReadAll(std::string_view bytes, std::size_t piece) {
  using Step = corabind::serve::RequestReader::Step;
  corabind::serve::RequestReader reader(kMaxHead, kMaxBody);
  std::vector<std::string> seen;
  for (std::size_t at = 0;;) {
    const std::string_view next = bytes.substr(at, piece);
    at += next.size();
    Step step = reader.Read(next);
    for (;;) {
      if (step == Step::kHead) {
        const auto& head = reader.head();
        seen.push_back("head " + head.method + " " + head.target + " " +
                       std::to_string(head.headers.size()));
        reader.Continue();
      } else if (step == Step::kDone) {
        if (reader.body().size() > kMaxBody) std::abort();
        seen.push_back("body " + reader.body());
        reader.Next();
      } else {
        break;
      }
      step = reader.Read({});
    }
    if (step == Step::kError) {
      seen.push_back("error " + std::to_string(reader.error_status()));
      return seen;
    }
    if (next.empty()) return seen;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = 1 + data[0] % 64;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::vector<std::string> whole = ReadAll(bytes, bytes.size() + 1);
  if (ReadAll(bytes, 1) != whole || ReadAll(bytes, piece) != whole) std::abort();
  return 0;
}
