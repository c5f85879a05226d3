// Names and references as they may appear in a diagnostic: one line of
// bounded length whatever the input held. A file name or a reference comes
// from the mail, so it can carry a line end, an escape sequence that would
// drive the terminal, or fifty megabytes of text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corabind {

// `text` (UTF-8, possibly invalid) with control characters written as \r,
// \n, \t or \xHH, bidirectional overrides as \u{HHHH}, and bytes that are
// not UTF-8 as \xHH. A text longer than `max_bytes` keeps its start and its
// end around "..." and says how long it was.
std::string Printable(std::string_view text, std::size_t max_bytes = 240);

// Each line of `text` (ended by CR LF, LF or CR) made Printable and written
// after `prefix`, one output line per line of text.
std::string PrintableLines(std::string_view text, std::string_view prefix,
                           std::size_t max_bytes = 4096);

}  // namespace corabind
