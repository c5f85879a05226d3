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

// The helper's limits for an input of `bytes` bytes: CPU seconds and address
// space. Generous for real pages (a 200 MB page parses in about a minute and
// a few GB), tight enough that nothing runs away.
std::uint64_t HelperCpuSeconds(std::size_t bytes);
std::uint64_t HelperMemoryBytes(std::size_t bytes);

// The helper executable: $CORABIND_HTML_HELPER when set, else
// corabind-html-parse next to the module holding this code (the library or
// the program), else in ../libexec/corabind/ from there. Empty if none.
std::string FindParserHelper();

// Parses in the helper. Failure 5 when the helper refuses the markup (too
// deep), fails on it, or exceeds its limits; failure 429 when there is no
// helper to run. `while_parsing`, if given, runs here meanwhile; what it
// throws stops the helper and is thrown on.
Tree ParseInHelper(std::string_view utf8, ParseMode mode,
                   const std::function<void()>& while_parsing = {});

// Parses in this process: what the helper runs, and what a fuzzer drives.
// Unless `release`, Gumbo's memory is left for the process's end.
void ParseToWire(std::string_view utf8, ParseMode mode, WireWriter& out, bool release = true);

}  // namespace corabind::html
