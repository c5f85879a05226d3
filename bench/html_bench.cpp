// Parse and walk a generated ~10 MB document; reports bytes/second.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/html/html_document.h"

namespace {

// The parser helper of this build, unless the caller chose another.
const int kHelperSet = ::setenv("CORABIND_HTML_HELPER", CORABIND_HTML_HELPER_PATH, 0);

std::string GenerateDocument(std::size_t target_bytes) {
  std::string html =
      "<!DOCTYPE html><html><head><title>bench</title>"
      "<link rel=stylesheet href=\"a.css\"><style>p{color:red}</style></head><body>";
  for (int i = 0; html.size() < target_bytes; ++i) {
    const std::string n = std::to_string(i);
    html += "<div class=\"row r" + n + "\" id=\"d" + n + "\"><p>Item " + n +
            " &amp; text with <b>bold</b> and <a href=\"page" + n +
            ".html?a=1&amp;b=2\">a link</a><img src=\"img" + n +
            ".gif\" alt=\"\"></p><table><tr><td background=\"bg.gif\">cell<td>cell</table>"
            "<form><input type=text name=f" +
            n +
            " size=20 maxlength=40 checked>"
            "<select multiple><option selected>one<option>two</select></form></div>\n";
  }
  return html + "</body></html>";
}

// Visits every element the way the resource collectors do: children, tag
// name and two attribute reads each.
std::size_t Walk(const std::shared_ptr<corabind::Element>& root) {
  std::size_t count = 0;
  std::vector<std::shared_ptr<corabind::Element>> stack{root};
  while (!stack.empty()) {
    auto e = std::move(stack.back());
    stack.pop_back();
    ++count;
    benchmark::DoNotOptimize(e->tagName());
    benchmark::DoNotOptimize(e->getAttribute(u"SRC", 0));
    benchmark::DoNotOptimize(e->getAttribute(u"SRC", 2));
    auto children = e->children();
    for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(*it);
  }
  return count;
}

void BM_ParseHtml(benchmark::State& state) {
  const std::string html = GenerateDocument(10u << 20);
  for (auto _ : state) benchmark::DoNotOptimize(corabind::html::ParseHtml(html));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * html.size()));
}
BENCHMARK(BM_ParseHtml)->Unit(benchmark::kMillisecond);

void BM_ParseAndWalkHtml(benchmark::State& state) {
  const std::string html = GenerateDocument(10u << 20);
  std::size_t elements = 0;
  for (auto _ : state) {
    const auto doc = corabind::html::ParseHtml(html);
    elements = Walk(doc->root());
    benchmark::DoNotOptimize(doc->body()->outerHTML());
  }
  state.counters["elements"] = static_cast<double>(elements);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * html.size()));
}
BENCHMARK(BM_ParseAndWalkHtml)->Unit(benchmark::kMillisecond);

}  // namespace
