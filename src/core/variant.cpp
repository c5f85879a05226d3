#include "core/variant.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include "core/collection.h"
#include "core/document.h"
#include "core/failure.h"
#include "core/text.h"

namespace corabind {

namespace {

template <class... F>
struct Overload : F... {
  using F::operator()...;
};
template <class... F>
Overload(F...) -> Overload<F...>;

// Reads the whole of `text` (surrounding blanks allowed) as a decimal number.
bool ParseNumber(const std::u16string& text, double& out) {
  std::string ascii;
  ascii.reserve(text.size());
  for (char16_t c : text) {
    if (c > 0x7F) return false;
    ascii.push_back(static_cast<char>(c));
  }
  const auto first = ascii.find_first_not_of(" \t");
  if (first == std::string::npos) return false;
  const auto last = ascii.find_last_not_of(" \t");
  std::string_view s(ascii.data() + first, last - first + 1);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && ptr == s.data() + s.size() && std::isfinite(out);
}

[[noreturn]] void TypeMismatch() {
  throw Failure(err::kTypeMismatch, u"Type mismatch");
}
[[noreturn]] void NullUse() {
  throw Failure(err::kInvalidUseOfNull, u"Invalid use of Null");
}
[[noreturn]] void NotSet() {
  throw ObjectNotSet();
}

}  // namespace

bool Variant::IsNumeric() const {
  return std::holds_alternative<Bool>(value_) || std::holds_alternative<std::int16_t>(value_) ||
         std::holds_alternative<std::int32_t>(value_) || std::holds_alternative<double>(value_);
}

std::u16string NumberText(double value) {
  if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 1e15) {
    return DecimalText(static_cast<std::int64_t>(value));
  }
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15G", value);
  std::string s(buf);
  // %G keeps trailing zeros of the mantissa away already; tidy the exponent
  // to the "E+20" form.
  const auto e = s.find('E');
  if (e != std::string::npos) {
    std::string mant = s.substr(0, e), exp = s.substr(e + 1);
    const char sign = exp[0];
    exp = exp.substr(1);
    while (exp.size() > 1 && exp[0] == '0') exp.erase(0, 1);
    s = mant + "E" + sign + exp;
  }
  return FromUtf8(s);
}

std::u16string Variant::ToText() const {
  return std::visit(
      Overload{[](const Empty&) { return std::u16string(); },
               [](const Null&) -> std::u16string { NullUse(); },
               [](const Bool& b) { return std::u16string(b.value ? u"True" : u"False"); },
               [](std::int16_t v) { return DecimalText(v); },
               [](std::int32_t v) { return DecimalText(v); },
               [](double v) { return NumberText(v); }, [](const std::u16string& s) { return s; },
               [](const ObjectRef&) -> std::u16string { TypeMismatch(); }},
      value_);
}

double Variant::ToNumber() const {
  return std::visit(
      Overload{[](const Empty&) { return 0.0; }, [](const Null&) -> double { NullUse(); },
               [](const Bool& b) { return static_cast<double>(b.value); },
               [](std::int16_t v) { return static_cast<double>(v); },
               [](std::int32_t v) { return static_cast<double>(v); }, [](double v) { return v; },
               [](const std::u16string& s) {
                 double d = 0;
                 if (!ParseNumber(s, d)) TypeMismatch();
                 return d;
               },
               [](const ObjectRef&) -> double { TypeMismatch(); }},
      value_);
}

bool Variant::EqualsTrue() const {
  if (IsNull() || IsObject()) return false;
  if (IsText()) {
    double d = 0;
    return ParseNumber(std::get<std::u16string>(value_), d) && d == -1.0;
  }
  return ToNumber() == -1.0;
}

bool Variant::NumberNotEquals(double other) const {
  return !IsNull() && ToNumber() != other;
}

bool Variant::NumberLess(double other) const {
  return !IsNull() && ToNumber() < other;
}

template <class T>
std::shared_ptr<T> Variant::ObjectOrNothing() const {
  const auto* ref = std::get_if<ObjectRef>(&value_);
  if (!ref || !ref->IsNothingOr<T>()) TypeMismatch();
  return ref->Get<T>();
}
template std::shared_ptr<Element> Variant::ObjectOrNothing<Element>() const;
template std::shared_ptr<Document> Variant::ObjectOrNothing<Document>() const;
template std::shared_ptr<StyleSheet> Variant::ObjectOrNothing<StyleSheet>() const;
template std::shared_ptr<Collection> Variant::ObjectOrNothing<Collection>() const;

std::shared_ptr<Element> Variant::ToElement() const {
  auto e = ObjectOrNothing<Element>();
  if (!e) NotSet();
  return e;
}

std::shared_ptr<Document> Variant::ToDocument() const {
  auto d = ObjectOrNothing<Document>();
  if (!d) NotSet();
  return d;
}

std::shared_ptr<Collection> Variant::ToCollection() const {
  auto c = ToCollectionOrNothing();
  if (!c) NotSet();
  return c;
}

std::shared_ptr<Collection> Variant::ToCollectionOrNothing() const {
  return ObjectOrNothing<Collection>();
}

}  // namespace corabind
