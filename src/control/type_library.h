// The type description of the library: what a script host learns about the
// control before calling it. Identifiers are fixed for good: pages that
// create the control by them must keep working across builds.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "control/members.h"

namespace corabind {

inline constexpr std::u16string_view kLibraryName = u"Corabind";
inline constexpr std::u16string_view kLibraryId = u"{771a5a60-59a8-4a41-9e99-1e42eefb16d5}";
inline constexpr std::u16string_view kClassName = u"OrvaneControl";
inline constexpr std::u16string_view kClassId = u"{c2ca12a6-c3f6-4869-b91c-e4281dc3a531}";
inline constexpr std::u16string_view kInterfaceName = u"_OrvaneControl";
inline constexpr std::u16string_view kInterfaceId = u"{84b65827-234e-4df0-9a0d-19d643ec31bc}";
inline constexpr std::u16string_view kEventInterfaceName = u"__OrvaneControl";
inline constexpr std::u16string_view kEventInterfaceId = u"{359a036b-c27d-4cc8-8899-44a37627c0fe}";
inline constexpr std::u16string_view kProgId = u"Corabind.OrvaneControl";
inline constexpr std::uint16_t kVersionMajor = 1;
inline constexpr std::uint16_t kVersionMinor = 0;
inline constexpr std::uint32_t kLocale = 1033;

struct InterfaceInfo {
  std::u16string_view name;
  std::u16string_view id;
  bool dual = false;
  bool hidden = false;
  std::span<const MemberInfo> members;
};

struct CoClassInfo {
  std::u16string_view name;
  std::u16string_view id;
  bool control = true;
  std::u16string_view default_interface;  // by name
  std::u16string_view event_interface;
};

struct TypeLibraryInfo {
  std::u16string_view name;
  std::u16string_view id;
  std::uint16_t major, minor;
  std::uint32_t locale;
  InterfaceInfo dispatch;
  InterfaceInfo events;
  CoClassInfo coclass;
};

const TypeLibraryInfo& CorabindTypeLibrary();

}  // namespace corabind
