#include "cli/output_encoding.h"

#include <algorithm>

#include "platform/posix/code_set.h"

namespace corabind::cli {

namespace {

// True when every ASCII character encodes as its own byte and a character
// outside ASCII encodes the same wherever it stands (no shift states).
bool KeepsAsciiRuns(const CodeSet& code_set) {
  std::u16string ascii;
  std::string bytes;
  for (char16_t c = 1; c < 0x80; ++c) {
    ascii += c;
    bytes += static_cast<char>(c);
  }
  const auto probe = code_set.TryEncode(ascii);
  if (probe.unrepresentable || probe.bytes != bytes) return false;
  for (const char16_t c : {u'\uAC00', u'\u00E9', u'\u4E00', u'\u0416'}) {
    const auto alone = code_set.TryEncode(std::u16string(1, c));
    if (alone.unrepresentable) continue;
    const auto between = code_set.TryEncode(u"a" + std::u16string(1, c) + u"a");
    return !between.unrepresentable && between.bytes == "a" + alone.bytes + "a";
  }
  return true;
}

}  // namespace

std::optional<std::size_t> EncodeMessage(std::u16string_view message, const std::string& charset,
                                         const std::function<void(std::string_view)>& sink) {
  const CodeSet code_set(charset);
  if (!KeepsAsciiRuns(code_set)) {
    auto whole = code_set.TryEncode(message);
    if (!whole.unrepresentable) sink(whole.bytes);
    return whole.unrepresentable;
  }
  constexpr std::size_t kChunk = 1 << 20;
  std::string chunk;
  chunk.reserve(kChunk);
  std::size_t i = 0;
  while (i < message.size()) {
    if (message[i] < 0x80) {
      const std::size_t stop = std::min(message.size(), i + (kChunk - chunk.size()));
      while (i < stop && message[i] < 0x80) chunk.push_back(static_cast<char>(message[i++]));
    } else {
      std::size_t j = i;
      while (j < message.size() && message[j] >= 0x80) ++j;
      const auto run = code_set.TryEncode(message.substr(i, j - i));
      if (run.unrepresentable) {
        sink(chunk);
        return i + *run.unrepresentable;
      }
      chunk += run.bytes;
      i = j;
    }
    if (chunk.size() >= kChunk) {
      sink(chunk);
      chunk.clear();
    }
  }
  sink(chunk);
  return std::nullopt;
}

}  // namespace corabind::cli
