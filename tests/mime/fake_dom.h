// A small in-memory document for the collector and message tests. Any
// operation can be told to fail, to check how each caller isolates failures.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "control/desktop.h"
#include "control/document.h"
#include "control/failure.h"
#include "mime/base64_file_encoder.h"

namespace corabind::testing {

inline Failure TestFailure(const std::u16string& what) {
  return Failure(1001, u"broken " + what);
}

class FakeElement : public Element, public std::enable_shared_from_this<FakeElement> {
 public:
  explicit FakeElement(std::u16string tag) : tag_(std::move(tag)) {}

  // The same text for flags 0 and flags 2 unless `as_written` is given.
  FakeElement& Attr(const std::u16string& name, Variant value, Variant as_written = Empty{}) {
    attrs_[Upper(name)] = {value, as_written.IsEmpty() ? value : as_written};
    return *this;
  }
  FakeElement& Add(std::shared_ptr<FakeElement> child) {
    children_.push_back(std::move(child));
    return *this;
  }
  FakeElement& FailAttr(const std::u16string& name) {
    failing_attrs_.insert(Upper(name));
    return *this;
  }
  FakeElement& FailChildren() {
    fail_children_ = true;
    return *this;
  }
  FakeElement& FailOuterHTML() {
    fail_outer_ = true;
    return *this;
  }

  std::u16string tagName() const override { return tag_; }
  Variant getAttribute(const std::u16string& name, std::int32_t flags) const override {
    if (failing_attrs_.count(Upper(name))) throw TestFailure(name);
    const auto it = attrs_.find(Upper(name));
    if (it == attrs_.end()) return Null{};
    return flags == 2 ? it->second.second : it->second.first;
  }
  std::vector<std::shared_ptr<Element>> children() const override {
    if (fail_children_) throw TestFailure(u"children");
    return {children_.begin(), children_.end()};
  }
  std::u16string innerHTML() const override { return {}; }
  std::u16string outerHTML() const override {
    if (fail_outer_) throw TestFailure(u"outerHTML");
    return u"<" + tag_ + u">";
  }

 private:
  static std::u16string Upper(std::u16string s) {
    for (auto& c : s) c = (c >= u'a' && c <= u'z') ? c - 32 : c;
    return s;
  }
  std::u16string tag_;
  std::map<std::u16string, std::pair<Variant, Variant>> attrs_;
  std::vector<std::shared_ptr<Element>> children_;
  std::set<std::u16string> failing_attrs_;
  bool fail_children_ = false, fail_outer_ = false;
};

inline std::shared_ptr<FakeElement> El(std::u16string tag) {
  return std::make_shared<FakeElement>(std::move(tag));
}

// A style sheet whose href is `href`, or one that fails when read.
class FakeSheet : public StyleSheet {
 public:
  explicit FakeSheet(Variant href, bool fail = false) : href_(std::move(href)), fail_(fail) {}
  Variant href() const override {
    if (fail_) throw TestFailure(u"href");
    return href_;
  }

 private:
  Variant href_;
  bool fail_;
};

class FakeDocument : public Document, public StyleSheetList {
 public:
  std::vector<std::shared_ptr<StyleSheet>> sheets;
  bool fail_sheets = false;

  std::shared_ptr<StyleSheetList> styleSheets() const override {
    if (fail_sheets) throw TestFailure(u"styleSheets");
    return std::shared_ptr<StyleSheetList>(std::shared_ptr<const FakeDocument>(),
                                           const_cast<FakeDocument*>(this));
  }
  std::int32_t length() const override { return static_cast<std::int32_t>(sheets.size()); }
  std::shared_ptr<StyleSheet> item(std::int32_t index) const override {
    return sheets.at(static_cast<std::size_t>(index));
  }
};

// Records message boxes; nothing else is expected of it here.
class RecordingDesktop : public Desktop {
 public:
  std::vector<std::u16string> boxes;
  bool fail = false;

  void ShowModal(Form&) override { throw TestFailure(u"form"); }
  void MessageBox(const std::u16string& text) override {
    if (fail) throw TestFailure(u"message box");
    boxes.push_back(text);
  }
  void ShowOpen(FileDialog&) override { throw TestFailure(u"open"); }
  void ShowSave(FileDialog&) override { throw TestFailure(u"save"); }
};

// Encodes the files it knows as "<" + path + ">", and records every call.
class FakeEncoderFactory : public Base64FileEncoderFactory {
 public:
  std::set<std::u16string> files;
  bool fail_create = false;
  int created = 0;
  std::vector<std::u16string> log;

  std::unique_ptr<Base64FileEncoder> Create() override {
    if (fail_create) throw Failure(429, u"ActiveX component can't create object");
    ++created;
    return std::make_unique<Encoder>(*this);
  }

 private:
  class Encoder : public Base64FileEncoder {
   public:
    explicit Encoder(FakeEncoderFactory& owner) : owner_(owner) {}
    bool EncodeFile(const std::u16string& path, bool flag1, bool flag2) override {
      owner_.log.push_back(u"encode " + path + (flag1 ? u" T" : u" F") + (flag2 ? u"T" : u"F"));
      if (!owner_.files.count(path)) return false;
      text_ = u"<" + path + u">";
      return true;
    }
    const std::u16string& EncodedText() const override { return text_; }
    void Clear() override {
      owner_.log.push_back(u"clear");
      text_.clear();
    }

   private:
    FakeEncoderFactory& owner_;
    std::u16string text_;
  };
};

}  // namespace corabind::testing
