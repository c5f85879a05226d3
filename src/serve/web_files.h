// The files `corabind serve` hands to the browser (the editor page, its
// script and style, corabind.js), built into the binary from src/serve/web.
#pragma once

#include <span>
#include <string_view>

namespace corabind::serve {

struct WebFile {
  std::string_view url;  // "/" or "/name"
  std::string_view content_type;
  std::string_view body;
};

std::span<const WebFile> BundledWebFiles();

}  // namespace corabind::serve
