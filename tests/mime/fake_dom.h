// A small in-memory document for the collector and message tests. Any read
// can be made to fail, to check how each caller isolates failures.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "control/orvane_control.h"
#include "core/base64_file_encoder.h"
#include "core/desktop.h"
#include "core/document.h"
#include "core/failure.h"
#include "core/library.h"
#include "core/text.h"

namespace corabind::testing {

inline Failure Broken(const std::u16string& what) {
  return Failure(1001, u"broken " + what);
}

struct FakeElement : Element {
  std::u16string tag;
  std::map<std::u16string, Variant> attrs, written;  // flags 0; flags 2 where it differs
  std::vector<std::shared_ptr<Element>> kids;
  // Attribute names, "children", "outerHTML"; "!NAME" runs out of memory.
  std::set<std::u16string> broken;

  std::u16string tagName() const override { return tag; }
  Variant getAttribute(const std::u16string& name, std::int32_t flags) const override {
    if (broken.count(name)) throw Broken(name);
    if (broken.count(u"!" + name)) throw std::bad_alloc();
    if (flags == 2 && written.count(name)) return written.at(name);
    return attrs.count(name) ? attrs.at(name) : Variant(Null{});
  }
  std::vector<std::shared_ptr<Element>> children() const override {
    if (broken.count(u"children")) throw Broken(u"children");
    return kids;
  }
  std::u16string innerHTML() const override { return {}; }
  std::u16string outerHTML() const override {
    if (broken.count(u"outerHTML")) throw Broken(u"outerHTML");
    return u"<" + tag + u">";
  }
};
using ElementPtr = std::shared_ptr<FakeElement>;

inline ElementPtr El(std::u16string tag, std::map<std::u16string, Variant> attrs = {},
                     std::vector<std::shared_ptr<Element>> kids = {},
                     std::set<std::u16string> broken = {}) {
  auto e = std::make_shared<FakeElement>();
  e->tag = std::move(tag), e->attrs = std::move(attrs), e->kids = std::move(kids);
  e->broken = std::move(broken);
  return e;
}
inline ElementPtr Written(ElementPtr e, const std::u16string& name, Variant as_written) {
  e->written[name] = std::move(as_written);
  return e;
}
inline ElementPtr Img(std::u16string src) {
  return El(u"IMG", {{u"SRC", src}});
}
inline ElementPtr Css(std::u16string href) {
  return El(u"LINK", {{u"REL", u"stylesheet"}, {u"HREF", href}});
}
inline ElementPtr Flash(std::u16string src) {
  return El(u"EMBED", {{u"TYPE", u"application/x-shockwave-flash"}, {u"SRC", src}});
}
inline const std::u16string kFlashClsid = u"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000";
inline ElementPtr Movie(std::u16string movie) {
  return El(u"OBJECT", {{u"CLASSID", kFlashClsid}, {u"MOVIE", movie}});
}

// A style sheet whose href is `href`, or one that fails when read.
struct FakeSheet : StyleSheet {
  explicit FakeSheet(Variant h, bool f = false) : href_(std::move(h)), fail(f) {}
  Variant href() const override { return fail ? throw Broken(u"href") : href_; }
  Variant href_;
  bool fail;
};

struct FakeDocument : Document, StyleSheetList {
  std::vector<std::shared_ptr<StyleSheet>> sheets;
  bool fail_sheets = false;
  std::shared_ptr<StyleSheetList> styleSheets() const override {
    if (fail_sheets) throw Broken(u"styleSheets");
    return {std::shared_ptr<const FakeDocument>(), const_cast<FakeDocument*>(this)};
  }
  std::int32_t length() const override { return static_cast<std::int32_t>(sheets.size()); }
  std::shared_ptr<StyleSheet> item(std::int32_t i) const override { return sheets.at(i); }
};

// Records message boxes; nothing else is expected of it here.
struct RecordingDesktop : Desktop {
  std::vector<std::string> boxes;
  bool fail = false;
  void ShowModal(Form&) override { throw Broken(u"form"); }
  void MessageBox(const std::u16string& text) override {
    if (fail) throw Broken(u"message box");
    boxes.push_back(ToUtf8(text));
  }
  void ShowOpen(FileDialog&) override { throw Broken(u"open"); }
  void ShowSave(FileDialog&) override { throw Broken(u"save"); }
};

// Encodes the files it knows as "<" + path + ">", and records every call.
struct FakeEncoderFactory : Base64FileEncoderFactory {
  std::set<std::u16string> files;
  bool fail_create = false;
  int created = 0;
  std::vector<std::u16string> log;

  struct Encoder : Base64FileEncoder {
    explicit Encoder(FakeEncoderFactory& owner) : owner(owner) {}
    bool EncodeFile(const std::u16string& path, FileRead read, Base64Lines lines) override {
      owner.log.push_back(u"encode " + path + (read == FileRead::kText ? u" T" : u" F") +
                          (lines == Base64Lines::kBrokenAt76 ? u"T" : u"F"));
      if (!owner.files.count(path)) return false;  // keeps the last text: Clear must clear
      text = u"<" + path + u">";
      return true;
    }
    const std::u16string& EncodedText() const override { return text; }
    void Clear() override { owner.log.push_back(u"clear"), text.clear(); }
    FakeEncoderFactory& owner;
    std::u16string text;
  };
  std::unique_ptr<Base64FileEncoder> Create() override {
    if (fail_create) throw Failure(429, u"ActiveX component can't create object");
    ++created;
    return std::make_unique<Encoder>(*this);
  }
};

// A control with a recording desktop and fake encoders; `base` is the
// collectors' base URL (GetImages sets its own).
struct Fixture {
  explicit Fixture(std::u16string base = u"C:\\m\\") {
    control.data().imageAttributes()[0] = u"SRC";
    control.data().imageAttributes()[1] = u"BACKGROUND";
    control.data().set_baseURL(base);
  }
  std::shared_ptr<RecordingDesktop> desktop = std::make_shared<RecordingDesktop>();
  std::shared_ptr<FakeEncoderFactory> encoders = std::make_shared<FakeEncoderFactory>();
  Library library{Services{desktop, nullptr, encoders}};
  OrvaneControl control{library};
  std::shared_ptr<FakeDocument> dom = std::make_shared<FakeDocument>();
  ElementPtr body = El(u"BODY");

  // "key=value" for every registered entry, in order.
  std::vector<std::string> Entries() {
    std::vector<std::string> out;
    for (int i = 1; i <= control.imageKeys()->Count(); ++i) {
      out.push_back(ToUtf8(control.imageKeys()->Item(i).ToText() + u"=" +
                           control.imageValues()->Item(i).ToText()));
    }
    return out;
  }
  std::u16string Run(const std::u16string& html, VariantBool debug = kFalse,
                     VariantBool get_image = kFalse) {
    return control.GetImages(html, body, u"C:\\m\\", dom, get_image, debug);
  }
};

}  // namespace corabind::testing
