// A library on the headless desktop with one control, a stand-in for the
// host's element, and short names for what the user does in a dialog.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "control/orvane_control.h"
#include "core/document.h"
#include "core/library.h"
#include "core/text.h"
#include "platform/headless/headless_desktop.h"
#include "platform/html/html_document.h"
#include "platform/posix/path_map.h"

namespace corabind::fields_test {

// A tag, attributes as the model reports them (flags 0; given as name, value,
// name, value, ...), inner HTML and children.
struct FieldElement : Element {
  std::u16string tag, inner;
  std::vector<Variant> attributes;
  std::vector<std::shared_ptr<Element>> kids;
  std::u16string tagName() const override { return tag; }
  Variant getAttribute(const std::u16string& name, std::int32_t) const override {
    for (std::size_t i = 0; i + 1 < attributes.size(); i += 2) {
      if (EqualsIgnoringAsciiCase(attributes[i].ToText(), name)) return attributes[i + 1];
    }
    return Null{};
  }
  std::vector<std::shared_ptr<Element>> children() const override { return kids; }
  std::u16string innerHTML() const override { return inner; }
  std::u16string outerHTML() const override { return u"<" + tag + u">"; }
};

inline std::shared_ptr<Element> Elem(std::u16string tag, std::vector<Variant> attributes = {},
                                     std::u16string inner = {},
                                     std::vector<std::shared_ptr<Element>> kids = {}) {
  auto e = std::make_shared<FieldElement>();
  e->tag = std::move(tag), e->attributes = std::move(attributes);
  e->inner = std::move(inner), e->kids = std::move(kids);
  return e;
}

const Variant kYes = Variant::Boolean(true), kNo = Variant::Boolean(false);
const std::u16string kPrevious = u"<previous tag>";

inline std::vector<std::u16string> Split(std::u16string_view text, char16_t separator) {
  std::vector<std::u16string> out{{}};
  for (char16_t c : text) {
    if (c == separator) {
      out.emplace_back();
    } else {
      out.back().push_back(c);
    }
  }
  return out;
}

using S = UiStep;
inline UiStep T(std::u16string control, std::u16string text) {
  return S::Type(std::move(control), std::move(text));
}
// OK and Cancel of the single-tag dialogs and the item dialog, and the
// buttons of the select list dialog.
const UiStep kOk = S::Click(u"Command1"), kCancel = S::Click(u"Command2"), kClose = S::Close();
const UiStep kAdd = S::Click(u"Command1"), kUpdate = S::Click(u"Command2"),
             kDelete = S::Click(u"Command3"), kUp = S::Click(u"Command4"),
             kDown = S::Click(u"Command5"), kListOk = S::Click(u"Command6"),
             kListCancel = S::Click(u"Command7");

// The steps in `form`, then those in each item dialog it opens, in turn.
using Forms = std::vector<std::vector<UiStep>>;
inline std::vector<UiEntry> Script(const std::u16string& form, const Forms& forms) {
  std::vector<UiEntry> out;
  for (const auto& steps : forms)
    out.emplace_back(FormScript{out.empty() ? form : u"ListBoxSub", steps});
  return out;
}

inline std::string LoadedText(const LoadedValue& value) {
  if (const auto* s = std::get_if<std::u16string>(&value)) return ToUtf8(*s);
  if (const auto* b = std::get_if<bool>(&value)) return *b ? "true" : "false";
  if (const auto* i = std::get_if<std::int64_t>(&value)) return std::to_string(*i);
  const auto& all = std::get<std::vector<std::u16string>>(value);
  std::string lines;
  for (std::size_t i = 0; i < all.size(); ++i) lines += (i ? "~" : "") + ToUtf8(all[i]);
  return "[" + lines + "]";
}

class FieldsTest : public ::testing::Test {
 protected:
  PathMap paths_;
  std::shared_ptr<HeadlessDesktop> desktop_ = std::make_shared<HeadlessDesktop>(paths_);
  Library library_{Services{desktop_, nullptr, nullptr}};
  OrvaneControl control_{library_};

  // `expected` as "Text1=abc|Option1=true|Check1=0|List1=[line~line]": what
  // the named controls held right after the load step.
  static void ExpectLoaded(const FormEvent& shown, std::u16string_view expected) {
    std::string all = "|";
    for (const auto& c : shown.loaded) all += ToUtf8(c.name) + "=" + LoadedText(c.value) + "|";
    for (const std::u16string& e : Split(expected, u'|')) {
      if (!e.empty()) {
        EXPECT_NE(all.find("|" + ToUtf8(e) + "|"), all.npos) << ToUtf8(e) << " in " << all;
      }
    }
  }

  // One dialog run per row, each from `kPrevious` in the result: a new field
  // of `flag`, or an edit of `edited`.
  struct Run {
    std::shared_ptr<Element> edited;
    Forms steps;
    std::u16string expected, loaded = {};
  };
  // Markup a dialog writes, read by this platform's HTML model and edited
  // without changes, comes back character for character.
  static Run Again(const std::u16string& markup, const UiStep& ok = kOk) {
    return {html::ParseElement(markup), {{ok}}, markup};
  }
  void RunDialog(const std::u16string& form, const std::u16string& flag,
                 const std::vector<Run>& runs) {
    for (const Run& r : runs) {
      SCOPED_TRACE(ToUtf8(form + u" " + flag + u": " + r.expected));
      desktop_->ClearEvents();
      library_.state().FieldTagResult = kPrevious;
      desktop_->Push(Script(form, r.steps));
      const std::u16string result =
          r.edited ? control_.ModifyFormField(r.edited) : control_.SetFormField(flag);
      EXPECT_EQ(ToUtf8(result), ToUtf8(r.expected));
      EXPECT_TRUE(desktop_->ScriptDone());
      EXPECT_EQ(library_.state().IsModify, kFalse);
      EXPECT_EQ(library_.state().IsItemModify, kFalse);
      ExpectLoaded(desktop_->LastShown(form), r.loaded);
      desktop_->ClearScript();
    }
  }
};

}  // namespace corabind::fields_test
