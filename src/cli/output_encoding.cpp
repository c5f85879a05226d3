#include "cli/output_encoding.h"

#include "platform/posix/code_set.h"

namespace corabind::cli {

namespace {

bool IsAscii(char16_t c) {
  return c < 0x80;
}

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

EncodedMessage EncodeMessage(std::u16string_view message, const std::string& charset) {
  const CodeSet code_set(charset);
  if (!KeepsAsciiRuns(code_set)) {
    auto whole = code_set.TryEncode(message);
    return {std::move(whole.bytes), whole.unrepresentable};
  }
  EncodedMessage out;
  out.bytes.reserve(message.size() + message.size() / 8);
  std::size_t i = 0;
  while (i < message.size()) {
    std::size_t j = i;
    while (j < message.size() && IsAscii(message[j])) ++j;
    const std::size_t before = out.bytes.size();
    out.bytes.resize(before + (j - i));
    for (std::size_t k = i; k < j; ++k) out.bytes[before + k - i] = static_cast<char>(message[k]);
    i = j;
    while (j < message.size() && !IsAscii(message[j])) ++j;
    if (j == i) continue;
    const auto run = code_set.TryEncode(message.substr(i, j - i));
    if (run.unrepresentable) return {{}, i + *run.unrepresentable};
    out.bytes += run.bytes;
    i = j;
  }
  return out;
}

}  // namespace corabind::cli
