// The resources a style sheet names: url(...) anywhere and the string form
// of @import. Only the references are picked out; the sheet is not otherwise
// understood, so nothing else in it is ever changed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace corabind::mail {

struct CssUrl {
  std::size_t begin, end;  // the URL's characters in the sheet, quotes excluded
  std::string value;       // with CSS escapes undone
  bool import;             // names a style sheet (@import)
};

// Comments and strings are skipped as CSS tokenises them, so a url( inside
// either names nothing.
std::vector<CssUrl> FindCssUrls(std::string_view css);

}  // namespace corabind::mail
