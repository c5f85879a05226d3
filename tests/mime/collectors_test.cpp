#include <gtest/gtest.h>

#include <functional>

#include "control/orvane_control.h"
#include "control/text.h"
#include "fake_dom.h"

namespace corabind {
namespace {

using testing::El;
using testing::FakeElement;
using testing::RecordingDesktop;

struct Fixture {
  std::shared_ptr<RecordingDesktop> desktop = std::make_shared<RecordingDesktop>();
  Library library{Services{desktop, nullptr, nullptr}};
  OrvaneControl control{library};
  Fixture() {
    control.imageAttributes()[0] = u"SRC";
    control.imageAttributes()[1] = u"BACKGROUND";
    control.set_baseURL(u"C:\\m\\");
  }
  // "key=value" for every registered entry, in order.
  std::vector<std::string> Entries() {
    std::vector<std::string> out;
    for (int i = 1; i <= control.imageKeys()->Count(); ++i) {
      out.push_back(ToUtf8(control.imageKeys()->Item(i).ToText() + u"=" +
                           control.imageValues()->Item(i).ToText()));
    }
    return out;
  }
};

using Collector = Variant (OrvaneControl::*)(const std::shared_ptr<Element>&);
constexpr Collector kImages = &OrvaneControl::GetImagesSub;
constexpr Collector kFlash = &OrvaneControl::GetFlashSub;
constexpr Collector kStyle = &OrvaneControl::GetStyleSub;
constexpr Collector kObject = &OrvaneControl::GetObjectFlashSub;

TEST(CollectorsTest, QualifyElementsByTagAndCondition) {
  const std::u16string clsid = u"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000";
  struct Case {
    const char* name;
    Collector collector;
    std::shared_ptr<FakeElement> element;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"src before background",
       kImages,
       El(u"TD")->Attr(u"BACKGROUND", u"bg.gif").Attr(u"SRC", u"img.gif").shared_from_this(),
       {"img.gif=C:\\m\\img.gif", "bg.gif=C:\\m\\bg.gif"}},
      {"key as written, src as resolved",
       kImages,
       El(u"IMG")->Attr(u"SRC", u"file://C:/x/a.gif", u"aa.gif").shared_from_this(),
       {"aa.gif=C:\\x\\a.gif"}},
      {"empty src skipped", kImages, El(u"IMG")->Attr(u"SRC", u"").shared_from_this(), {}},
      {"remote image",
       kImages,
       El(u"IMG")->Attr(u"SRC", u"https://h/a.gif").shared_from_this(),
       {}},
      {"embed any case type",
       kFlash,
       El(u"EMBED")
           ->Attr(u"TYPE", u"Application/X-Shockwave-Flash")
           .Attr(u"SRC", u"mm.swf")
           .shared_from_this(),
       {"mm.swf=C:\\m\\mm.swf"}},
      {"embed without type", kFlash, El(u"EMBED")->Attr(u"SRC", u"mm.swf").shared_from_this(), {}},
      {"embed without src",
       kFlash,
       El(u"EMBED")->Attr(u"TYPE", u"application/x-shockwave-flash").shared_from_this(),
       {}},
      {"img is no embed",
       kFlash,
       El(u"IMG")
           ->Attr(u"TYPE", u"application/x-shockwave-flash")
           .Attr(u"SRC", u"mm.swf")
           .shared_from_this(),
       {}},
      {"stylesheet link",
       kStyle,
       El(u"LINK")->Attr(u"REL", u"StyleSheet").Attr(u"HREF", u"ss.css").shared_from_this(),
       {"ss.css=C:\\m\\ss.css"}},
      {"alternate stylesheet",
       kStyle,
       El(u"LINK")
           ->Attr(u"REL", u"alternate stylesheet")
           .Attr(u"HREF", u"ss.css")
           .shared_from_this(),
       {}},
      {"link without href",
       kStyle,
       El(u"LINK")->Attr(u"REL", u"stylesheet").shared_from_this(),
       {}},
      {"object movie keyed as resolved",
       kObject,
       El(u"OBJECT")
           ->Attr(u"CLASSID", clsid)
           .Attr(u"MOVIE", u"file://C:/f/m.swf", u"mm.swf")
           .shared_from_this(),
       {"file://C:/f/m.swf=C:\\f\\m.swf"}},
      {"classid compared exactly",
       kObject,
       El(u"OBJECT")
           ->Attr(u"CLASSID", u"CLSID:D27CDB6E-AE6D-11cf-96B8-444553540000")
           .Attr(u"MOVIE", u"mm.swf")
           .shared_from_this(),
       {}},
  };
  for (const Case& c : cases) {
    Fixture f;
    EXPECT_TRUE((f.control.*c.collector)(c.element).IsEmpty());
    EXPECT_EQ(f.Entries(), c.expected) << c.name;
    EXPECT_TRUE(f.desktop->boxes.empty()) << c.name;
  }
}

// body > [embed(no src), div > [img aa, embed bb], link cc, img aa, img dd]
// The image walk reads SRC on every element, the embed's included.
TEST(CollectorsTest, VisitInDocumentOrderAndRegisterEachKeyOnce) {
  auto tree = El(u"BODY");
  auto flash = [](const std::u16string& src) {
    auto e = El(u"EMBED");
    e->Attr(u"TYPE", u"application/x-shockwave-flash");
    if (!src.empty()) e->Attr(u"SRC", src);
    return e;
  };
  auto div = El(u"DIV");
  div->Add(El(u"IMG")->Attr(u"SRC", u"aa.gif").shared_from_this()).Add(flash(u"bb.swf"));
  tree->Attr(u"BACKGROUND", u"bg.gif")
      .Add(flash(u""))
      .Add(div)
      .Add(El(u"LINK")->Attr(u"REL", u"stylesheet").Attr(u"HREF", u"cc.css").shared_from_this())
      .Add(El(u"IMG")->Attr(u"SRC", u"aa.gif").shared_from_this())
      .Add(El(u"IMG")->Attr(u"SRC", u"dd.gif").shared_from_this());
  Fixture f;
  for (Collector c : {kImages, kFlash, kStyle, kObject, kImages}) (f.control.*c)(tree);
  EXPECT_EQ(f.Entries(), (std::vector<std::string>{"bg.gif=C:\\m\\bg.gif", "aa.gif=C:\\m\\aa.gif",
                                                   "bb.swf=C:\\m\\bb.swf", "dd.gif=C:\\m\\dd.gif",
                                                   "cc.css=C:\\m\\cc.css"}));
}

TEST(CollectorsTest, ImageWalkReportsEachFailureAndGoesOn) {
  struct Case {
    const char* name;
    std::function<std::shared_ptr<FakeElement>()> build;
    std::vector<std::string> entries;
    std::vector<std::string> boxes;
    bool escapes;
  };
  const std::string err = "\r\nUnexpexted error # 1001 occured: broken ";
  const std::string head = "Image Information retrieving error.\r\nHTML: ";
  const Case cases[] = {
      {"a failing src read: reported twice, background still read, siblings walked",
       [] {
         auto root = El(u"BODY");
         root->Add(El(u"TD")->Attr(u"BACKGROUND", u"bg.gif").FailAttr(u"SRC").shared_from_this())
             .Add(El(u"IMG")->Attr(u"SRC", u"zz.gif").shared_from_this());
         return root;
       },
       {"bg.gif=C:\\m\\bg.gif", "zz.gif=C:\\m\\zz.gif"},
       {head + "<TD>" + err + "SRC", head + "<TD>" + err + "SRC"},
       false},
      {"a failing child list ends that element only",
       [] {
         auto root = El(u"BODY");
         root->Add(El(u"P")->Attr(u"SRC", u"pp.gif").FailChildren().shared_from_this())
             .Add(El(u"IMG")->Attr(u"SRC", u"zz.gif").shared_from_this());
         return root;
       },
       {"zz.gif=C:\\m\\zz.gif"},
       {head + "<P>" + err + "children"},
       false},
      {"an unreadable child is reported by its parent, which goes on with the next child",
       [] {
         auto root = El(u"BODY");
         auto div = El(u"DIV");
         div->Add(El(u"IMG")->FailAttr(u"SRC").FailOuterHTML().shared_from_this())
             .Add(El(u"IMG")->Attr(u"SRC", u"yy.gif").shared_from_this());
         root->Add(div).Add(El(u"IMG")->Attr(u"SRC", u"zz.gif").shared_from_this());
         return root;
       },
       {"yy.gif=C:\\m\\yy.gif", "zz.gif=C:\\m\\zz.gif"},
       {head + "<DIV>" + err + "outerHTML"},
       false},
      {"when the parent cannot be shown either, the grandparent reports and skips the parent's "
       "rest",
       [] {
         auto root = El(u"BODY");
         auto div = El(u"DIV");
         div->FailOuterHTML()
             .Add(El(u"IMG")->FailAttr(u"SRC").FailOuterHTML().shared_from_this())
             .Add(El(u"IMG")->Attr(u"SRC", u"lost.gif").shared_from_this());
         root->Add(div).Add(El(u"IMG")->Attr(u"SRC", u"zz.gif").shared_from_this());
         return root;
       },
       {"zz.gif=C:\\m\\zz.gif"},
       {head + "<BODY>" + err + "outerHTML"},
       false},
      {"past the root the failure leaves the walk",
       [] { return El(u"IMG")->FailAttr(u"SRC").FailOuterHTML().shared_from_this(); },
       {},
       {},
       true},
  };
  for (const Case& c : cases) {
    Fixture f;
    const auto root = c.build();
    bool escaped = false;
    try {
      f.control.GetImagesSub(root);
    } catch (const Failure& failure) {
      escaped = true;
      EXPECT_EQ(failure.description(), u"broken outerHTML");
    }
    EXPECT_EQ(escaped, c.escapes) << c.name;
    EXPECT_EQ(f.Entries(), c.entries) << c.name;
    std::vector<std::string> boxes;
    for (const auto& b : f.desktop->boxes) boxes.push_back(ToUtf8(b));
    EXPECT_EQ(boxes, c.boxes) << c.name;
  }
}

TEST(CollectorsTest, OtherWalksStopAtTheFirstFailureKeepingEarlierEntries) {
  for (Collector c : {kFlash, kStyle, kObject}) {
    Fixture f;
    auto root = El(u"BODY");
    root->Add(El(u"LINK")->Attr(u"REL", u"stylesheet").Attr(u"HREF", u"ss.css").shared_from_this())
        .Add(El(u"EMBED")
                 ->Attr(u"TYPE", u"application/x-shockwave-flash")
                 .Attr(u"SRC", u"mm.swf")
                 .shared_from_this())
        .Add(El(u"OBJECT")
                 ->Attr(u"CLASSID", u"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000")
                 .Attr(u"MOVIE", u"oo.swf")
                 .shared_from_this())
        .Add(El(u"P")->FailAttr(u"TYPE").FailAttr(u"REL").FailAttr(u"CLASSID").shared_from_this())
        .Add(
            El(u"LINK")->Attr(u"REL", u"stylesheet").Attr(u"HREF", u"late.css").shared_from_this());
    EXPECT_THROW((f.control.*c)(root), Failure);
    EXPECT_EQ(f.control.imageKeys()->Count(), 1);
    EXPECT_TRUE(f.desktop->boxes.empty());
  }
  Fixture f;
  EXPECT_THROW(f.control.GetStyleSub(nullptr), Failure);
}

TEST(CollectorsTest, DeepDocumentsDoNotExhaustTheStack) {
  auto root = El(u"DIV");
  auto at = root;
  for (int depth = 0; depth < 200000; ++depth) {
    auto child = El(u"DIV");
    at->Add(child);
    at = child;
  }
  at->Attr(u"SRC", u"deep.gif");
  Fixture f;
  for (Collector c : {kImages, kFlash, kStyle, kObject}) (f.control.*c)(root);
  EXPECT_EQ(f.Entries(), std::vector<std::string>{"deep.gif=C:\\m\\deep.gif"});
  // Tearing the chain down one link at a time keeps destruction off the
  // machine stack too.
  while (root) {
    auto kids = root->children();
    root = kids.empty() ? nullptr : std::static_pointer_cast<FakeElement>(kids.front());
  }
}

}  // namespace
}  // namespace corabind
