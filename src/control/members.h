// The members of the dispatch interface _OrvaneControl, written once: name,
// dispatch id, parameters and the call into OrvaneControl. The type
// description lists them and dispatch by name and id reads them, so a new
// member is one row in members.cpp and one member of the class.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "core/variant.h"

namespace corabind {

class OrvaneControl;
class Arguments;  // dispatch.h

enum class ParamType { kString, kBool, kVariant, kElement, kDocument, kCollection };

enum class MemberKind { kMethod, kProperty };

struct ParamInfo {
  std::u16string_view name;
  ParamType type;
  bool optional = false;
  bool by_ref = true;
};

// Calls the member with arguments already checked against its parameters.
using MemberHandler = Variant (*)(OrvaneControl&, const Arguments&);

struct MemberInfo {
  std::int32_t dispid;
  std::u16string_view name;
  MemberKind kind;
  // For a property: the value put by reference. For a method: its arguments.
  std::vector<ParamInfo> params;
  ParamType result;
  // A method's call, or a property's read.
  MemberHandler call = nullptr;
  // A property's put by reference; nullptr for a method.
  MemberHandler put_ref = nullptr;
};

// Every member in interface order.
std::span<const MemberInfo> Members();

}  // namespace corabind
