#include "control/type_library.h"

namespace corabind {

namespace {

using P = ParamInfo;
using T = ParamType;

TypeLibraryInfo Build() {
  TypeLibraryInfo lib{kLibraryName, kLibraryId, kVersionMajor, kVersionMinor, kLocale, {}, {}, {}};
  lib.dispatch = InterfaceInfo{
      kInterfaceName,
      kInterfaceId,
      true,
      true,
      {
          {1,
           u"imageKeys",
           MemberKind::kProperty,
           {P{u"imageKeys", T::kCollection}},
           T::kCollection},
          {2,
           u"imageValues",
           MemberKind::kProperty,
           {P{u"imageValues", T::kCollection}},
           T::kCollection},
          {3, u"LoadFlashTag", MemberKind::kMethod, {}, T::kString},
          {4,
           u"SaveToLocal",
           MemberKind::kMethod,
           {P{u"Source", T::kString}, P{u"filename", T::kString}, P{u"saveas", T::kBool}},
           T::kVariant},
          {5, u"getBaseURL", MemberKind::kMethod, {}, T::kString},
          {6, u"GetLocalHTMLFile", MemberKind::kMethod, {}, T::kString},
          {7,
           u"GetImages",
           MemberKind::kMethod,
           {P{u"html", T::kString}, P{u"body", T::kElement}, P{u"base", T::kString},
            P{u"myDom", T::kDocument}, P{u"getImage", T::kBool}, P{u"debuging", T::kBool, true}},
           T::kString},
          {8, u"GetStyleSub", MemberKind::kMethod, {P{u"images", T::kElement}}, T::kVariant},
          {9, u"GetFlashSub", MemberKind::kMethod, {P{u"images", T::kElement}}, T::kVariant},
          {10, u"GetObjectFlashSub", MemberKind::kMethod, {P{u"images", T::kElement}}, T::kVariant},
          {11, u"GetImagesSub", MemberKind::kMethod, {P{u"images", T::kElement}}, T::kVariant},
          {12,
           u"InsertImageInfo",
           MemberKind::kMethod,
           {P{u"key", T::kString}, P{u"value", T::kString}},
           T::kVariant},
          {13,
           u"ModifyFormField",
           MemberKind::kMethod,
           {P{u"htmlsrc", T::kElement}, P{u"debugging", T::kBool, true}},
           T::kString},
          {14, u"SetFormField", MemberKind::kMethod, {P{u"flag", T::kString}}, T::kString},
      }};
  // The control raises no events; the source interface exists so that hosts
  // which look for one find it.
  lib.events = InterfaceInfo{kEventInterfaceName, kEventInterfaceId, false, false, {}};
  lib.coclass = CoClassInfo{kClassName, kClassId, true, kInterfaceName, kEventInterfaceName};
  return lib;
}

}  // namespace

const TypeLibraryInfo& CorabindTypeLibrary() {
  static const TypeLibraryInfo lib = Build();
  return lib;
}

}  // namespace corabind
