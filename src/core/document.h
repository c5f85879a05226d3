// What the control reads from the host's HTML document model. The control
// never parses HTML and never writes to the document; hosts supply objects
// implementing these interfaces (this platform's is under platform/html).
// Every operation may throw Failure.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/variant.h"

namespace corabind {

class Element {
 public:
  virtual ~Element() = default;

  // Upper case for HTML elements ("INPUT", "IMG").
  virtual std::u16string tagName() const = 0;
  // flags 0: the value as the model interprets it (decoded text; booleans for
  // CHECKED, MULTIPLE and SELECTED; numbers for SIZE and MAXLENGTH).
  // flags 2: the text exactly as written in the source.
  // Null when the attribute is absent. Names match regardless of case.
  virtual Variant getAttribute(const std::u16string& name, std::int32_t flags) const = 0;
  // Child elements only, in document order.
  virtual std::vector<std::shared_ptr<Element>> children() const = 0;
  virtual std::u16string innerHTML() const = 0;
  virtual std::u16string outerHTML() const = 0;
};

class StyleSheet {
 public:
  virtual ~StyleSheet() = default;
  // The sheet's location as written; "" for an embedded style block.
  virtual Variant href() const = 0;
};

class StyleSheetList {
 public:
  virtual ~StyleSheetList() = default;
  virtual std::int32_t length() const = 0;
  // Zero-based.
  virtual std::shared_ptr<StyleSheet> item(std::int32_t index) const = 0;
};

class Document {
 public:
  virtual ~Document() = default;
  virtual std::shared_ptr<StyleSheetList> styleSheets() const = 0;
};

}  // namespace corabind
