// The automation variant: the value type of every argument, result and
// attribute that crosses the dispatch interface.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>

namespace corabind {

class Element;
class Document;
class StyleSheet;
class Collection;

// 16-bit automation boolean: true is all bits set.
using VariantBool = std::int16_t;
inline constexpr VariantBool kTrue = -1;
inline constexpr VariantBool kFalse = 0;
constexpr VariantBool ToVariantBool(bool b) {
  return b ? kTrue : kFalse;
}

struct Empty {
  bool operator==(const Empty&) const = default;
};
struct Null {
  bool operator==(const Null&) const = default;
};
struct Bool {
  VariantBool value = kFalse;
  bool operator==(const Bool&) const = default;
};
// An object reference; all alternatives empty means "Nothing".
struct ObjectRef {
  std::shared_ptr<Element> element;
  std::shared_ptr<Document> document;
  std::shared_ptr<StyleSheet> style_sheet;
  std::shared_ptr<Collection> collection;

  bool IsNothing() const { return !element && !document && !style_sheet && !collection; }
  bool operator==(const ObjectRef&) const = default;  // identity
};

class Variant {
 public:
  using Storage = std::variant<Empty, Null, Bool, std::int16_t, std::int32_t, double,
                               std::u16string, ObjectRef>;

  Variant() = default;
  Variant(Empty) {}
  Variant(Null v) : value_(v) {}
  Variant(Bool v) : value_(v) {}
  Variant(std::int16_t v) : value_(v) {}
  Variant(std::int32_t v) : value_(v) {}
  Variant(double v) : value_(v) {}
  Variant(std::u16string v) : value_(std::move(v)) {}
  Variant(const char16_t* v) : value_(std::u16string(v)) {}
  Variant(ObjectRef v) : value_(std::move(v)) {}
  Variant(std::shared_ptr<Element> e);
  Variant(std::shared_ptr<Document> d);
  Variant(std::shared_ptr<StyleSheet> s);
  Variant(std::shared_ptr<Collection> c);

  static Variant Boolean(bool b) { return Variant(Bool{ToVariantBool(b)}); }
  static Variant Nothing() { return Variant(ObjectRef{}); }

  const Storage& storage() const { return value_; }
  bool IsEmpty() const { return std::holds_alternative<Empty>(value_); }
  bool IsNull() const { return std::holds_alternative<Null>(value_); }
  bool IsText() const { return std::holds_alternative<std::u16string>(value_); }
  bool IsObject() const { return std::holds_alternative<ObjectRef>(value_); }
  bool IsNumeric() const;  // boolean, integers and double

  // Conversion to text as a script host does it: Empty is "", booleans are
  // "True"/"False", numbers their decimal text. Null is failure 94; an object
  // is failure 13.
  std::u16string ToText() const;
  // Conversion to a number: booleans, numbers, and text that reads as a
  // number. Anything else (Null included) is a failure.
  double ToNumber() const;
  // "value = True": only the exact true value (numerically -1) counts; Null
  // and non-numeric values compare unequal.
  bool EqualsTrue() const;
  // Numeric comparisons; false when the value is Null. Text that does not
  // read as a number is failure 13, as the comparison cannot be made.
  bool NumberNotEquals(double other) const;
  bool NumberLess(double other) const;
  // Object accessors: failure 91 when the reference is Nothing, 13 when the
  // value holds something else.
  std::shared_ptr<Element> ToElement() const;
  std::shared_ptr<Document> ToDocument() const;
  std::shared_ptr<Collection> ToCollection() const;
  // Collection reference or Nothing (nullptr); failure 13 otherwise.
  std::shared_ptr<Collection> ToCollectionOrNothing() const;

  bool operator==(const Variant&) const = default;

 private:
  Storage value_;
};

// Text of a double as the control prints numbers: whole numbers below 1e15 in
// plain digits, others with up to 15 significant digits ("1.5", "1E+20").
std::u16string NumberText(double value);

}  // namespace corabind
