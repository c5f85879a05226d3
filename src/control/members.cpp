#include "control/members.h"

#include "control/dispatch.h"
#include "control/orvane_control.h"

namespace corabind {

namespace {

using P = ParamInfo;
using T = ParamType;
using K = MemberKind;
using A = const Arguments&;
using C = OrvaneControl&;

std::vector<MemberInfo> Build() {
  return {
      {1,
       u"imageKeys",
       K::kProperty,
       {P{u"imageKeys", T::kCollection}},
       T::kCollection,
       [](C c, A) { return Variant(c.imageKeys()); },
       [](C c, A a) {
         c.putref_imageKeys(a.Object<Collection>(0));
         return Variant();
       }},
      {2,
       u"imageValues",
       K::kProperty,
       {P{u"imageValues", T::kCollection}},
       T::kCollection,
       [](C c, A) { return Variant(c.imageValues()); },
       [](C c, A a) {
         c.putref_imageValues(a.Object<Collection>(0));
         return Variant();
       }},
      {3,
       u"LoadFlashTag",
       K::kMethod,
       {},
       T::kString,
       [](C c, A) { return Variant(c.LoadFlashTag()); }},
      {4,
       u"SaveToLocal",
       K::kMethod,
       {P{u"Source", T::kString}, P{u"filename", T::kString}, P{u"saveas", T::kBool}},
       T::kVariant,
       [](C c, A a) { return c.SaveToLocal(a.Text(0), a.Text(1), a.Boolean(2)); }},
      {5,
       u"getBaseURL",
       K::kMethod,
       {},
       T::kString,
       [](C c, A) { return Variant(c.getBaseURL()); }},
      {6,
       u"GetLocalHTMLFile",
       K::kMethod,
       {},
       T::kString,
       [](C c, A) { return Variant(c.GetLocalHTMLFile()); }},
      {7,
       u"GetImages",
       K::kMethod,
       {P{u"html", T::kString}, P{u"body", T::kElement}, P{u"base", T::kString},
        P{u"myDom", T::kDocument}, P{u"getImage", T::kBool},
        // "debuging" (sic): hosts pass it by this name; deliberate.
        P{u"debuging", T::kBool, true}},
       T::kString,
       [](C c, A a) {
         return Variant(c.GetImages(a.Text(0), a.Object<Element>(1), a.Text(2),
                                    a.Object<Document>(3), a.Boolean(4), a.Boolean(5)));
       }},
      {8,
       u"GetStyleSub",
       K::kMethod,
       {P{u"images", T::kElement}},
       T::kVariant,
       [](C c, A a) { return c.GetStyleSub(a.Object<Element>(0)); }},
      {9,
       u"GetFlashSub",
       K::kMethod,
       {P{u"images", T::kElement}},
       T::kVariant,
       [](C c, A a) { return c.GetFlashSub(a.Object<Element>(0)); }},
      {10,
       u"GetObjectFlashSub",
       K::kMethod,
       {P{u"images", T::kElement}},
       T::kVariant,
       [](C c, A a) { return c.GetObjectFlashSub(a.Object<Element>(0)); }},
      {11,
       u"GetImagesSub",
       K::kMethod,
       {P{u"images", T::kElement}},
       T::kVariant,
       [](C c, A a) { return c.GetImagesSub(a.Object<Element>(0)); }},
      {12,
       u"InsertImageInfo",
       K::kMethod,
       {P{u"key", T::kString}, P{u"value", T::kString}},
       T::kVariant,
       [](C c, A a) { return c.InsertImageInfo(a.Text(0), a.Text(1)); }},
      {13,
       u"ModifyFormField",
       K::kMethod,
       {P{u"htmlsrc", T::kElement}, P{u"debugging", T::kBool, true}},
       T::kString,
       [](C c, A a) { return Variant(c.ModifyFormField(a.Object<Element>(0), a.Boolean(1))); }},
      {14,
       u"SetFormField",
       K::kMethod,
       {P{u"flag", T::kString}},
       T::kString,
       [](C c, A a) { return Variant(c.SetFormField(a.Text(0))); }},
  };
}

}  // namespace

std::span<const MemberInfo> Members() {
  static const std::vector<MemberInfo> members = Build();
  return members;
}

}  // namespace corabind
