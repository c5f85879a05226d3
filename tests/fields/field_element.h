// A small stand-in for the host's element: a tag, attributes as the model
// reports them (flags 0), inner HTML and children.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "control/document.h"
#include "control/text.h"

namespace corabind::fields_test {

class FieldElement : public Element {
 public:
  using Attributes = std::vector<std::pair<std::u16string, Variant>>;

  FieldElement(std::u16string tag, Attributes attributes, std::u16string inner = {},
               std::vector<std::shared_ptr<Element>> children = {})
      : tag_(std::move(tag)),
        attributes_(std::move(attributes)),
        inner_(std::move(inner)),
        children_(std::move(children)) {}

  std::u16string tagName() const override { return tag_; }
  Variant getAttribute(const std::u16string& name, std::int32_t) const override {
    for (const auto& [key, value] : attributes_) {
      if (EqualsIgnoringAsciiCase(key, name)) return value;
    }
    return Null{};
  }
  std::vector<std::shared_ptr<Element>> children() const override { return children_; }
  std::u16string innerHTML() const override { return inner_; }
  std::u16string outerHTML() const override { return u"<" + tag_ + u">"; }

 private:
  std::u16string tag_;
  Attributes attributes_;
  std::u16string inner_;
  std::vector<std::shared_ptr<Element>> children_;
};

inline std::shared_ptr<Element> MakeElement(std::u16string tag, FieldElement::Attributes attributes,
                                            std::u16string inner = {},
                                            std::vector<std::shared_ptr<Element>> children = {}) {
  return std::make_shared<FieldElement>(std::move(tag), std::move(attributes), std::move(inner),
                                        std::move(children));
}

}  // namespace corabind::fields_test
