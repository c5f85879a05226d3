// The HTML layer: parsing (through the parser helper) as a document or a
// fragment, the tree wire format read from raw bytes, the charset sniffing
// of files, and serialising and walking whatever comes out (the wire read
// whole and reduced). The first byte picks the road. A failure (number 5)
// is a fine answer; anything else that escapes, or a crash, is a finding.
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/failure.h"
#include "platform/html/charset.h"
#include "platform/html/html_document.h"
#include "platform/html/tree_wire.h"

namespace {

using namespace corabind;

void Walk(const std::shared_ptr<html::HtmlDocument>& doc) {
  (void)doc->styleSheets()->length();
  if (const auto root = doc->root()) (void)root->outerHTML();
  if (const auto body = doc->body()) {
    for (const auto& child : body->children()) {
      (void)child->tagName();
      (void)child->getAttribute(u"SRC", 0);
      (void)child->getAttribute(u"size", 2);
      (void)child->innerHTML();
    }
    // Every element opened is closed, in order.
    std::vector<const html::HtmlElement*> open;
    doc->Walk(*body, {[&](const html::HtmlElement& e) { open.push_back(&e); },
                      [&](const html::HtmlElement& e) {
                        if (open.empty() || open.back() != &e) __builtin_trap();
                        open.pop_back();
                      },
                      [](std::u16string_view) {}});
    if (!open.empty()) __builtin_trap();
  }
  (void)doc->ElementById(u"x");
  (void)doc->CountByTagName(u"img");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  try {
    switch (data[0] % 4) {
      case 0:
        Walk(html::ParseHtml(input));
        break;
      case 1:
        (void)html::ParseElement(input)->outerHTML();
        break;
      case 2: {
        Walk(std::make_shared<html::HtmlDocument>(html::DecodeTree(input)));
        // The reduced reading of the same bytes: every element opened is
        // closed, in order, whether kept or not.
        const html::AttributedPage page{std::string(input)};
        Walk(page.document());
        std::vector<const html::HtmlElement*> open;
        page.WalkContent({[&](const html::HtmlElement& e) { open.push_back(&e); },
                          [&](const html::HtmlElement& e) {
                            if (open.empty() || open.back() != &e) __builtin_trap();
                            open.pop_back();
                          },
                          [](std::u16string_view) {}});
        if (!open.empty()) __builtin_trap();
        break;
      }
      default:
        Walk(html::ParseHtml(html::DecodeHtmlFile(input)));
        break;
    }
  } catch (const Failure&) {
  }
  return 0;
}
