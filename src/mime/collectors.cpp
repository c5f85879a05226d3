// The four resource collectors. Each visits an element and its descendants
// depth-first in document order, an element's own references before those of
// its children. Documents can nest far deeper than the machine stack allows,
// so the walks keep their own stack of pending children instead of calling
// themselves per element.
#include <optional>
#include <vector>

#include "core/document.h"
#include "core/failure.h"
#include "core/text.h"
#include "mime/mime.h"
#include "mime/reference_rules.h"
#include "mime/resolve.h"

namespace corabind {

namespace {

using ElementPtr = std::shared_ptr<Element>;
using Children = std::vector<ElementPtr>;

// A call on a missing element fails as a script host's call on Nothing does.
const Element& Use(const ElementPtr& element) {
  if (!element) throw ObjectNotSet();
  return *element;
}

void VisitOne(ControlData& control, const Element& element, const ReferenceRule& rule) {
  if (const auto match = MatchRule(element, rule))
    ResolveImageInfo(control, match->src, match->key);
}

// A failure anywhere ends the whole walk and reaches the caller; what was
// registered before it stays.
void Walk(ControlData& control, const ElementPtr& root, const ReferenceRule& target) {
  struct Pending {
    Children children;
    std::size_t next = 0;
  };
  std::vector<Pending> stack;
  auto visit = [&](const ElementPtr& element) {
    const Element& e = Use(element);
    Children children = e.children();
    VisitOne(control, e, target);
    if (!children.empty()) stack.push_back({std::move(children), 0});
  };
  visit(root);
  while (!stack.empty()) {
    Pending& top = stack.back();
    if (top.next == top.children.size()) {
      stack.pop_back();
      continue;
    }
    const ElementPtr child = top.children[top.next++];
    visit(child);
  }
}

// The steps of one element's visit in GetImagesSub, in order. A failed step
// is reported and the visit resumes with the following one.
enum class Step { kCount, kCheck0, kResolve0, kCheck1, kResolve1, kChildren };

struct ImageFrame {
  explicit ImageFrame(ElementPtr e) : element(std::move(e)) {}
  ElementPtr element;
  Step step = Step::kCount;
  Children children;
  std::size_t next = 0;
};

class ImageWalk {
 public:
  explicit ImageWalk(ControlData& control) : control_(control) {}

  void Run(const ElementPtr& root) {
    stack_.emplace_back(root);
    while (!stack_.empty()) {
      try {
        Advance();
      } catch (const std::exception& e) {
        Handle(AsFailure(e));
      }
    }
  }

 private:
  void Advance() {
    ImageFrame& frame = stack_.back();
    switch (frame.step) {
      case Step::kCount:
        // Should listing the children fail, nothing more can be learnt from
        // this element: the visit ends after the report.
        frame.step = Step::kChildren;
        frame.children = Use(frame.element).children();
        frame.step = Step::kCheck0;
        return;
      case Step::kCheck0:
      case Step::kCheck1: {
        const int slot = frame.step == Step::kCheck0 ? 0 : 1;
        // Should the check itself fail, the resolve step still follows it.
        frame.step = slot == 0 ? Step::kResolve0 : Step::kResolve1;
        const Variant value = Use(frame.element).getAttribute(control_.imageAttributes()[slot], 0);
        if (value.IsNull() || value.ToText().empty()) {
          frame.step = slot == 0 ? Step::kCheck1 : Step::kChildren;
        }
        return;
      }
      case Step::kResolve0:
      case Step::kResolve1: {
        const int slot = frame.step == Step::kResolve0 ? 0 : 1;
        frame.step = slot == 0 ? Step::kCheck1 : Step::kChildren;
        const Element& e = Use(frame.element);
        const std::u16string& name = control_.imageAttributes()[slot];
        const auto src = UrlAttribute(e, name, 0);
        if (!src) return;
        const auto key = UrlAttribute(e, name, 2);
        if (!key) return;
        ResolveImageInfo(control_, *src, *key);
        return;
      }
      case Step::kChildren:
        if (frame.next == frame.children.size()) {
          stack_.pop_back();
          return;
        }
        {
          ElementPtr child = frame.children[frame.next++];
          stack_.emplace_back(std::move(child));  // invalidates `frame`
        }
        return;
    }
  }

  // The element on top reports the failure and goes on with its next step.
  // When the report itself fails (its markup cannot be read, no message box
  // can be shown), that element's visit is over and the failure passes to the
  // element that visited it, which reports it in turn and goes on with its
  // next child; past the root it leaves the walk.
  void Handle(Failure failure) {
    while (!stack_.empty()) {
      try {
        Report(stack_.back().element, failure);
        return;
      } catch (const std::exception& next) {
        failure = AsFailure(next);
        stack_.pop_back();
      }
    }
    throw failure;
  }

  void Report(const ElementPtr& element, const Failure& failure) {
    std::u16string text = u"Image Information retrieving error.\r\nHTML: ";
    text += Use(element).outerHTML();
    text += u"\r\n";
    text += FormatUnexpectedError(failure);
    control_.library().desktop().MessageBox(text);
  }

  ControlData& control_;
  std::vector<ImageFrame> stack_;
};

}  // namespace

Variant mime::GetImagesSub(ControlData& control, const std::shared_ptr<Element>& images) {
  ImageWalk(control).Run(images);
  return {};
}

Variant mime::GetFlashSub(ControlData& control, const std::shared_ptr<Element>& images) {
  Walk(control, images, kFlashEmbedRule);
  return {};
}

Variant mime::GetStyleSub(ControlData& control, const std::shared_ptr<Element>& images) {
  Walk(control, images, kStyleLinkRule);
  return {};
}

Variant mime::GetObjectFlashSub(ControlData& control, const std::shared_ptr<Element>& images) {
  Walk(control, images, kObjectMovieRule);
  return {};
}

}  // namespace corabind
