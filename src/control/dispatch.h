// Late-bound calls into OrvaneControl: the dispatch interface _OrvaneControl
// as a script host uses it. Names are looked up without regard to case;
// arguments arrive as variants, by reference, and are coerced to the types
// the member declares; omitted optional booleans read as false.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "control/members.h"
#include "control/type_library.h"
#include "core/variant.h"

namespace corabind {

class OrvaneControl;

enum class InvokeKind { kMethod, kPropertyGet, kPropertyPutRef };

// The positional arguments of one call, read as the member's parameters
// declare them. Reading one that cannot be coerced is failure 13 (94 for
// Null given as a boolean, 6 for a boolean out of range).
class Arguments {
 public:
  Arguments(const MemberInfo& member, std::span<Variant> args) : member_(member), args_(args) {}

  std::u16string Text(std::size_t i) const;
  // An omitted optional boolean reads as false.
  VariantBool Boolean(std::size_t i) const;
  // Nothing reads as nullptr: using it fails later with 91, as it would in
  // the member itself.
  template <class T>
  std::shared_ptr<T> Object(std::size_t i) const {
    const auto* ref = std::get_if<ObjectRef>(&args_[i].storage());
    if (!ref || !ref->IsNothingOr<T>()) Mismatch(i);
    return ref->Get<T>();
  }

 private:
  [[noreturn]] void Mismatch(std::size_t i) const;
  const MemberInfo& member_;
  std::span<Variant> args_;
};

// How a boolean argument arrives: its 16-bit form is kept, so -1 (exact
// true) and other non-zero values such as 1 stay apart.
VariantBool ArgumentAsBool(const Variant& value, std::u16string_view param = u"");

// The member's dispatch id; failure 438 when the interface has no such name.
std::int32_t GetIdOfName(std::u16string_view name);
const MemberInfo& MemberById(std::int32_t dispid);

// Calls the member. `args` are the positional arguments in interface order
// (for a property put, the value). Failure 449 when a required argument is
// missing, 450 for too many, 13 or 94 when an argument cannot be coerced.
Variant Invoke(OrvaneControl& control, std::int32_t dispid, InvokeKind kind,
               std::span<Variant> args);
Variant Invoke(OrvaneControl& control, std::u16string_view name, InvokeKind kind,
               std::span<Variant> args);

}  // namespace corabind
