// Gumbo asserts on some markup (Debian's build keeps its assertions), and an
// assertion aborts the whole process. So untrusted markup is parsed in a
// helper process, corabind-html-parse, which hands the tree back in the wire
// format of tree_wire.h: an abort, a runaway parse or an exhausted memory
// limit there is failure 5 here, and the host process goes on.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/html/html_tree.h"
#include "platform/html/tree_wire.h"

namespace corabind::html {

enum class ParseMode { kDocument, kFragment };

// Whether this build runs under the address sanitizer, which reserves
// terabytes of shadow memory up front: the helper then sets no address-space
// limit, and memory figures say nothing of the program's own use.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitized = true;
#else
inline constexpr bool kAddressSanitized = false;
#endif
#else
inline constexpr bool kAddressSanitized = false;
#endif

// How the helper ends, besides 0 for a whole tree written.
inline constexpr int kHelperRefused = 3;      // standard output says why
inline constexpr int kHelperOutOfMemory = 4;  // its address space ran out
inline constexpr int kHelperCannotWrite = 5;  // standard output failed
inline constexpr int kHelperOverBudget = 6;   // Gumbo asked for more than TreeLimits::bytes
inline constexpr int kHelperOrphaned = 7;     // its parent was gone before it began

// The helper's limits for an input of `bytes` bytes: CPU seconds, generous
// for real pages (a 200 MB page parses in about a minute), and address
// space: the input, TreeLimits' bytes and room for the program itself, a
// backstop should anything but Gumbo's counted blocks run away.
std::uint64_t HelperCpuSeconds(std::size_t bytes);
std::uint64_t HelperMemoryBytes(std::size_t bytes);

// The largest tree made from an input of `bytes` bytes. Gumbo reopens every
// unclosed formatting element (<b class=x>, <font ...>) in each new
// paragraph, so 25 KB of such markup make two million nodes; these caps keep
// both the helper and the process that reads its tree under 256 MiB for any
// page up to 1 MiB.
//  - nodes: elements, texts and comments together; 65,536 plus one per
//    input byte, at most 4,000,000. Real markup spends two bytes or more on
//    each node it writes ("<p>", "x</p>"), so a real page stays well within
//    this, reopened formatting elements included.
//  - bytes: 32 MiB plus 96 per input byte, both for Gumbo's own blocks
//    while it parses and for the tree as this process holds it once read
//    back (a real page takes less than half of that).
struct TreeLimits {
  std::uint64_t nodes;
  std::uint64_t bytes;
  static TreeLimits For(std::size_t input_bytes);
};
// The failure text for a tree past `limits.bytes`.
std::u16string TreeTooLargeText(std::size_t input_bytes);

// The helper executable: $CORABIND_HTML_HELPER when set, else
// corabind-html-parse next to the module holding this code (the library or
// the program), else in ../libexec/corabind/ from there. Empty if none.
std::string FindParserHelper();

// Parses in the helper. Failure 5 when the helper refuses the markup (too
// deep, a tree past TreeLimits), fails on it, or exceeds its limits; failure
// 429 when there is no helper to run. `while_parsing`, if given, runs here
// meanwhile; what it throws stops the helper and is thrown on. The helper
// ends with the thread that called this.
//
// A document longer than two `piece_bytes` is cut where page_pieces.h allows
// and its pieces parsed by several helpers at once (0: never cut).
inline constexpr std::size_t kPieceBytes = std::size_t{1} << 20;
Tree ParseInHelper(std::string_view utf8, ParseMode mode,
                   const std::function<void()>& while_parsing = {},
                   std::size_t piece_bytes = kPieceBytes);
// The same parse, the tree left in the wire format (tree_wire.h): for a
// reader that keeps only part of it, the bytes cost far less than the tree.
std::string ParseWireInHelper(std::string_view utf8, ParseMode mode,
                              const std::function<void()>& while_parsing = {},
                              std::size_t piece_bytes = kPieceBytes);

// Parses in this process: what the helper runs, and what a fuzzer drives.
// Unless `release`, Gumbo's memory is left for the process's end. Gumbo past
// TreeLimits::bytes calls `over_budget` (see GumboParse); a tree past the
// limits otherwise is failure 5.
void ParseToWire(std::string_view utf8, ParseMode mode, WireWriter& out, bool release = true,
                 void (*over_budget)() = nullptr);

}  // namespace corabind::html
