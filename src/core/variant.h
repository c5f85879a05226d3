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
// An object reference: Nothing, or exactly one live object of one kind. A
// null pointer given for any kind makes Nothing.
class ObjectRef {
 public:
  ObjectRef() = default;  // Nothing
  explicit ObjectRef(std::shared_ptr<Element> e) { Keep(std::move(e)); }
  explicit ObjectRef(std::shared_ptr<Document> d) { Keep(std::move(d)); }
  explicit ObjectRef(std::shared_ptr<StyleSheet> s) { Keep(std::move(s)); }
  explicit ObjectRef(std::shared_ptr<Collection> c) { Keep(std::move(c)); }

  bool IsNothing() const { return std::holds_alternative<std::monostate>(target_); }
  template <class T>
  bool Holds() const {
    return std::holds_alternative<std::shared_ptr<T>>(target_);
  }
  template <class T>
  bool IsNothingOr() const {
    return IsNothing() || Holds<T>();
  }
  // The object when it is of kind T; nullptr otherwise (Nothing included).
  template <class T>
  std::shared_ptr<T> Get() const {
    const auto* p = std::get_if<std::shared_ptr<T>>(&target_);
    return p ? *p : nullptr;
  }
  bool operator==(const ObjectRef&) const = default;  // identity

 private:
  template <class T>
  void Keep(std::shared_ptr<T> p) {
    if (p) target_ = std::move(p);
  }
  std::variant<std::monostate, std::shared_ptr<Element>, std::shared_ptr<Document>,
               std::shared_ptr<StyleSheet>, std::shared_ptr<Collection>>
      target_;
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
  Variant(std::shared_ptr<Element> e) : value_(ObjectRef(std::move(e))) {}
  Variant(std::shared_ptr<Document> d) : value_(ObjectRef(std::move(d))) {}
  Variant(std::shared_ptr<StyleSheet> s) : value_(ObjectRef(std::move(s))) {}
  Variant(std::shared_ptr<Collection> c) : value_(ObjectRef(std::move(c))) {}

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
  // A reference to an object of kind T, or Nothing (nullptr); failure 13
  // otherwise. T is Element, Document, StyleSheet or Collection.
  template <class T>
  std::shared_ptr<T> ObjectOrNothing() const;

  bool operator==(const Variant&) const = default;

 private:
  Storage value_;
};

// Text of a double as the control prints numbers: whole numbers below 1e15 in
// plain digits, others with up to 15 significant digits ("1.5", "1E+20").
std::u16string NumberText(double value);

}  // namespace corabind
