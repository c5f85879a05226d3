#include "platform/html/nesting_scan.h"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "platform/html/markup_cursor.h"

namespace corabind::html {
namespace {

class Scanner {
 public:
  Scanner(std::string_view s, std::size_t limit) : cursor_(s), limit_(limit) {}

  std::size_t Run() {
    while (max_ <= limit_) {
      const MarkupCursor::Tag tag = cursor_.Next(foreign_ > 0);
      if (tag.kind == MarkupCursor::Kind::kEnd) break;
      if (tag.kind == MarkupCursor::Kind::kStartTag) {
        StartTag(tag);
      } else {
        EndTag(tag.name);
      }
    }
    return max_;
  }

 private:
  void StartTag(const MarkupCursor::Tag& tag) {
    const std::string& name = tag.name;
    if (IsVoidElement(name)) return;
    if (tag.self_closing && foreign_ > 0) return;  // "/>" closes foreign elements only
    if (ClosesItsOwnKind(name) && open_[name] > 0) return;
    if (name == "plaintext") {
      cursor_.SkipToEnd();
    } else if (foreign_ == 0 && IsRawTextElement(name)) {
      cursor_.SkipRawText(name);
      return;  // the element closes at its end tag
    }
    ++open_[name];
    if (name == "svg" || name == "math") ++foreign_;
    max_ = std::max(max_, ++depth_);
  }

  void EndTag(const std::string& name) {
    auto it = open_.find(name);
    if (it == open_.end() || it->second == 0) return;
    --it->second;
    --depth_;
    if ((name == "svg" || name == "math") && foreign_ > 0) --foreign_;
  }

  MarkupCursor cursor_;
  std::size_t limit_;
  std::size_t depth_ = 0;
  std::size_t max_ = 0;
  std::size_t foreign_ = 0;
  std::unordered_map<std::string, std::size_t> open_;
};

}  // namespace

std::size_t EstimateNestingDepth(std::string_view html, std::size_t limit) {
  return Scanner(html, limit).Run();
}

}  // namespace corabind::html
