#include "control/dispatch.h"

#include <cmath>
#include <limits>

#include "control/orvane_control.h"
#include "core/failure.h"
#include "core/text.h"

namespace corabind {

namespace {

[[noreturn]] void Mismatch(std::u16string_view param) {
  throw Failure(err::kTypeMismatch, u"Type mismatch in argument " + std::u16string(param));
}

[[noreturn]] void WrongCount(const MemberInfo& m) {
  throw Failure(
      err::kWrongArgumentCount,
      u"Wrong number of arguments or invalid property assignment: " + std::u16string(m.name));
}

[[noreturn]] void NotSupported(std::u16string_view member) {
  throw Failure(err::kNotSupported,
                u"Object doesn't support this property or method: " + std::u16string(member));
}

// Booleans keep their 16-bit form so that callers can tell the exact true
// value (-1) from other non-zero values such as 1.
VariantBool ArgBool(const Variant& v, std::u16string_view param) {
  const auto& s = v.storage();
  if (const auto* b = std::get_if<Bool>(&s)) return b->value;
  if (const auto* i = std::get_if<std::int16_t>(&s)) return *i;
  if (v.IsEmpty()) return kFalse;
  if (v.IsNull())
    throw Failure(err::kInvalidUseOfNull,
                  u"Invalid use of Null in argument " + std::u16string(param));
  if (v.IsObject()) Mismatch(param);
  if (const auto* t = std::get_if<std::u16string>(&s)) {
    if (EqualsIgnoringAsciiCase(*t, u"True")) return kTrue;
    if (EqualsIgnoringAsciiCase(*t, u"False")) return kFalse;
  }
  const double d = v.ToNumber();
  const double r = std::nearbyint(d);
  // A number past 16 bits is still a boolean: non-zero, so true where any
  // non-zero value counts, and never the exact true value (-1).
  if (!(r >= std::numeric_limits<std::int16_t>::min() &&
        r <= std::numeric_limits<std::int16_t>::max())) {
    return 1;
  }
  return static_cast<VariantBool>(r);
}

// A method's positional arguments checked against its parameter list.
void CheckCount(const MemberInfo& m, std::size_t given) {
  std::size_t required = 0;
  for (const auto& p : m.params) required += p.optional ? 0 : 1;
  if (given > m.params.size()) WrongCount(m);
  if (given < required) {
    throw Failure(err::kArgumentNotOptional, u"Argument not optional: " +
                                                 std::u16string(m.params[given].name) + u" of " +
                                                 std::u16string(m.name));
  }
}

}  // namespace

void Arguments::Mismatch(std::size_t i) const {
  corabind::Mismatch(member_.params[i].name);
}

std::u16string Arguments::Text(std::size_t i) const {
  if (args_[i].IsObject()) Mismatch(i);
  return args_[i].ToText();
}

VariantBool Arguments::Boolean(std::size_t i) const {
  return i < args_.size() ? ArgBool(args_[i], member_.params[i].name) : kFalse;
}

VariantBool ArgumentAsBool(const Variant& value, std::u16string_view param) {
  return ArgBool(value, param);
}

std::int32_t GetIdOfName(std::u16string_view name) {
  for (const auto& m : Members()) {
    if (EqualsIgnoringAsciiCase(m.name, name)) return m.dispid;
  }
  NotSupported(name);
}

const MemberInfo& MemberById(std::int32_t dispid) {
  for (const auto& m : Members()) {
    if (m.dispid == dispid) return m;
  }
  NotSupported(u"#" + DecimalText(dispid));
}

Variant Invoke(OrvaneControl& c, std::u16string_view name, InvokeKind kind,
               std::span<Variant> args) {
  return Invoke(c, GetIdOfName(name), kind, args);
}

Variant Invoke(OrvaneControl& c, std::int32_t dispid, InvokeKind kind, std::span<Variant> args) {
  const MemberInfo& m = MemberById(dispid);
  const Arguments a(m, args);
  if (m.kind == MemberKind::kProperty) {
    const bool put = kind == InvokeKind::kPropertyPutRef;
    if (args.size() != (put ? 1u : 0u)) WrongCount(m);
    return put ? m.put_ref(c, a) : m.call(c, a);
  }
  if (kind == InvokeKind::kPropertyPutRef) {
    throw Failure(err::kNotSupported,
                  std::u16string(m.name) + u" is a method and cannot be assigned");
  }
  CheckCount(m, args.size());
  return m.call(c, a);
}

}  // namespace corabind
