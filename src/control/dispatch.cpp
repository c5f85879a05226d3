#include "control/dispatch.h"

#include <cmath>
#include <limits>

#include "control/orvane_control.h"
#include "core/document.h"
#include "core/failure.h"
#include "core/text.h"

namespace corabind {

namespace {

[[noreturn]] void Mismatch(std::u16string_view param) {
  throw Failure(err::kTypeMismatch, u"Type mismatch in argument " + std::u16string(param));
}

std::u16string ArgText(const Variant& v, const ParamInfo& p) {
  if (v.IsObject()) Mismatch(p.name);
  return v.ToText();
}

// Booleans keep their 16-bit form so that callers can tell the exact true
// value (-1) from other non-zero values such as 1.
VariantBool ArgBool(const Variant& v, const ParamInfo& p) {
  const auto& s = v.storage();
  if (const auto* b = std::get_if<Bool>(&s)) return b->value;
  if (const auto* i = std::get_if<std::int16_t>(&s)) return *i;
  if (v.IsEmpty()) return kFalse;
  if (v.IsNull())
    throw Failure(err::kInvalidUseOfNull,
                  u"Invalid use of Null in argument " + std::u16string(p.name));
  if (v.IsObject()) Mismatch(p.name);
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

// Nothing is accepted here; using it fails later with 91, as it would in
// the member itself.
std::shared_ptr<Element> ArgElement(const Variant& v, const ParamInfo& p) {
  const auto* ref = std::get_if<ObjectRef>(&v.storage());
  if (!ref || (!ref->element && !ref->IsNothing())) Mismatch(p.name);
  return ref->element;
}

std::shared_ptr<Document> ArgDocument(const Variant& v, const ParamInfo& p) {
  const auto* ref = std::get_if<ObjectRef>(&v.storage());
  if (!ref || (!ref->document && !ref->IsNothing())) Mismatch(p.name);
  return ref->document;
}

std::shared_ptr<Collection> ArgCollection(const Variant& v, const ParamInfo& p) {
  const auto* ref = std::get_if<ObjectRef>(&v.storage());
  if (!ref || (!ref->collection && !ref->IsNothing())) Mismatch(p.name);
  return ref->collection;
}

// Positional arguments checked against the member's parameter list.
class Args {
 public:
  Args(const MemberInfo& m, std::span<Variant> args) : m_(m), args_(args) {
    std::size_t required = 0;
    for (const auto& p : m.params) required += p.optional ? 0 : 1;
    if (args.size() > m.params.size()) {
      throw Failure(
          err::kWrongArgumentCount,
          u"Wrong number of arguments or invalid property assignment: " + std::u16string(m.name));
    }
    if (args.size() < required) {
      throw Failure(err::kArgumentNotOptional, u"Argument not optional: " +
                                                   std::u16string(m.params[args.size()].name) +
                                                   u" of " + std::u16string(m.name));
    }
  }
  std::u16string Text(std::size_t i) const { return ArgText(args_[i], m_.params[i]); }
  VariantBool Boolean(std::size_t i) const {
    return i < args_.size() ? ArgBool(args_[i], m_.params[i]) : kFalse;
  }
  std::shared_ptr<Element> Elem(std::size_t i) const { return ArgElement(args_[i], m_.params[i]); }
  std::shared_ptr<Document> Doc(std::size_t i) const { return ArgDocument(args_[i], m_.params[i]); }
  std::shared_ptr<Collection> Coll(std::size_t i) const {
    return ArgCollection(args_[i], m_.params[i]);
  }

 private:
  const MemberInfo& m_;
  std::span<Variant> args_;
};

Variant CallProperty(OrvaneControl& c, const MemberInfo& m, InvokeKind kind,
                     std::span<Variant> args) {
  const bool keys = m.dispid == 1;
  if (kind == InvokeKind::kPropertyPutRef) {
    if (args.size() != 1) {
      throw Failure(
          err::kWrongArgumentCount,
          u"Wrong number of arguments or invalid property assignment: " + std::u16string(m.name));
    }
    auto value = ArgCollection(args[0], m.params[0]);
    keys ? c.putref_imageKeys(std::move(value)) : c.putref_imageValues(std::move(value));
    return {};
  }
  if (!args.empty()) {
    throw Failure(
        err::kWrongArgumentCount,
        u"Wrong number of arguments or invalid property assignment: " + std::u16string(m.name));
  }
  return Variant(keys ? c.imageKeys() : c.imageValues());
}

}  // namespace

VariantBool ArgumentAsBool(const Variant& value, std::u16string_view param) {
  return ArgBool(value, ParamInfo{param, ParamType::kBool});
}

std::int32_t GetIdOfName(std::u16string_view name) {
  for (const auto& m : CorabindTypeLibrary().dispatch.members) {
    if (EqualsIgnoringAsciiCase(m.name, name)) return m.dispid;
  }
  throw Failure(err::kNotSupported,
                u"Object doesn't support this property or method: " + std::u16string(name));
}

const MemberInfo& MemberById(std::int32_t dispid) {
  for (const auto& m : CorabindTypeLibrary().dispatch.members) {
    if (m.dispid == dispid) return m;
  }
  throw Failure(err::kNotSupported,
                u"Object doesn't support this property or method: #" + DecimalText(dispid));
}

Variant Invoke(OrvaneControl& c, std::u16string_view name, InvokeKind kind,
               std::span<Variant> args) {
  return Invoke(c, GetIdOfName(name), kind, args);
}

Variant Invoke(OrvaneControl& c, std::int32_t dispid, InvokeKind kind, std::span<Variant> args) {
  const MemberInfo& m = MemberById(dispid);
  if (m.kind == MemberKind::kProperty) return CallProperty(c, m, kind, args);
  if (kind == InvokeKind::kPropertyPutRef) {
    throw Failure(err::kNotSupported,
                  std::u16string(m.name) + u" is a method and cannot be assigned");
  }
  const Args a(m, args);
  switch (dispid) {
    case 3:
      return c.LoadFlashTag();
    case 4:
      return c.SaveToLocal(a.Text(0), a.Text(1), a.Boolean(2));
    case 5:
      return c.getBaseURL();
    case 6:
      return c.GetLocalHTMLFile();
    case 7:
      return c.GetImages(a.Text(0), a.Elem(1), a.Text(2), a.Doc(3), a.Boolean(4), a.Boolean(5));
    case 8:
      return c.GetStyleSub(a.Elem(0));
    case 9:
      return c.GetFlashSub(a.Elem(0));
    case 10:
      return c.GetObjectFlashSub(a.Elem(0));
    case 11:
      return c.GetImagesSub(a.Elem(0));
    case 12:
      return c.InsertImageInfo(a.Text(0), a.Text(1));
    case 13:
      return c.ModifyFormField(a.Elem(0), a.Boolean(1));
    case 14:
      return c.SetFormField(a.Text(0));
    default:
      break;
  }
  throw Failure(err::kInternal, u"Member without a dispatch entry: " + std::u16string(m.name));
}

}  // namespace corabind
