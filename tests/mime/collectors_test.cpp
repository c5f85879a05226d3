#include <gtest/gtest.h>

#include "fake_dom.h"

namespace corabind {
namespace {

using namespace testing;
using Collector = Variant (OrvaneControl::*)(const std::shared_ptr<Element>&);
constexpr Collector kImages = &OrvaneControl::GetImagesSub, kFlash = &OrvaneControl::GetFlashSub,
                    kStyle = &OrvaneControl::GetStyleSub,
                    kObject = &OrvaneControl::GetObjectFlashSub;
const std::u16string kFlashType = u"application/x-shockwave-flash";

TEST(CollectorsTest, QualifyElementsByTagAndCondition) {
  struct Case {
    Collector collector;
    ElementPtr element;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {kImages,  // SRC before BACKGROUND
       El(u"TD", {{u"BACKGROUND", u"bg.gif"}, {u"SRC", u"img.gif"}}),
       {"img.gif=C:\\m\\img.gif", "bg.gif=C:\\m\\bg.gif"}},
      {kImages, Written(Img(u"file://C:/x/a.gif"), u"SRC", u"aa.gif"), {"aa.gif=C:\\x\\a.gif"}},
      {kImages, Img(u""), {}},
      {kImages, Img(u"https://h/a.gif"), {}},
      {kFlash,
       Written(El(u"EMBED", {{u"TYPE", u"Application/X-Shockwave-Flash"}, {u"SRC", u"mm.swf"}}),
               u"SRC", u"w.swf"),
       {"w.swf=C:\\m\\mm.swf"}},
      {kFlash, El(u"EMBED", {{u"SRC", u"mm.swf"}}), {}},
      {kFlash, El(u"EMBED", {{u"TYPE", kFlashType}}), {}},
      {kFlash, El(u"IMG", {{u"TYPE", kFlashType}, {u"SRC", u"mm.swf"}}), {}},
      {kStyle,
       Written(El(u"LINK", {{u"REL", u"StyleSheet"}, {u"HREF", u"ss.css"}}), u"HREF", u"w.css"),
       {"w.css=C:\\m\\ss.css"}},
      {kStyle, El(u"LINK", {{u"REL", u"alternate stylesheet"}, {u"HREF", u"ss.css"}}), {}},
      {kStyle, El(u"LINK", {{u"REL", u"stylesheet"}}), {}},
      {kObject,  // keyed as resolved, not as written
       Written(Movie(u"file://C:/f/m.swf"), u"MOVIE", u"mm.swf"),
       {"file://C:/f/m.swf=C:\\f\\m.swf"}},
      {kObject,  // the class id is compared exactly
       El(u"OBJECT",
          {{u"CLASSID", u"CLSID:D27CDB6E-AE6D-11cf-96B8-444553540000"}, {u"MOVIE", u"mm.swf"}}),
       {}},
  };
  for (const Case& c : cases) {
    Fixture f;
    EXPECT_TRUE((f.control.*c.collector)(c.element).IsEmpty());
    EXPECT_EQ(f.Entries(), c.expected) << ToUtf8(c.element->outerHTML());
    EXPECT_TRUE(f.desktop->boxes.empty());
  }
}

// The image walk reads SRC on every element, the embed's included.
TEST(CollectorsTest, VisitInDocumentOrderAndRegisterEachKeyOnce) {
  const auto tree =
      El(u"BODY", {{u"BACKGROUND", u"bg.gif"}},
         {El(u"EMBED", {{u"TYPE", kFlashType}}), El(u"DIV", {}, {Img(u"aa.gif"), Flash(u"bb.swf")}),
          Css(u"cc.css"), Img(u"aa.gif"), Img(u"dd.gif")});
  Fixture f;
  for (Collector c : {kImages, kFlash, kStyle, kObject, kImages}) (f.control.*c)(tree);
  EXPECT_EQ(f.Entries(), (std::vector<std::string>{"bg.gif=C:\\m\\bg.gif", "aa.gif=C:\\m\\aa.gif",
                                                   "bb.swf=C:\\m\\bb.swf", "dd.gif=C:\\m\\dd.gif",
                                                   "cc.css=C:\\m\\cc.css"}));
}

TEST(CollectorsTest, ImageWalkReportsEachFailureAndGoesOn) {
  const std::set<std::u16string> unreadable = {u"SRC", u"outerHTML"};
  struct Case {
    ElementPtr root;
    std::vector<std::string> entries;
    std::vector<std::u16string> reports;  // "<TAG>failed read" per message box
    bool escapes = false;
  };
  const Case cases[] = {
      // A failing SRC is reported twice; BACKGROUND is still read, siblings walked.
      {El(u"BODY", {}, {El(u"TD", {{u"BACKGROUND", u"bg.gif"}}, {}, {u"SRC"}), Img(u"zz.gif")}),
       {"bg.gif=C:\\m\\bg.gif", "zz.gif=C:\\m\\zz.gif"},
       {u"<TD>SRC", u"<TD>SRC"}},
      // Running out of memory is a failure like any other.
      {El(u"BODY", {}, {El(u"TD", {{u"BACKGROUND", u"bg.gif"}}, {}, {u"!SRC"})}),
       {"bg.gif=C:\\m\\bg.gif"},
       {u"<TD>!", u"<TD>!"}},
      // A failing child list ends that element only.
      {El(u"BODY", {}, {El(u"P", {{u"SRC", u"pp.gif"}}, {}, {u"children"}), Img(u"zz.gif")}),
       {"zz.gif=C:\\m\\zz.gif"},
       {u"<P>children"}},
      // An unshowable child is reported by its parent, which goes on.
      {El(u"BODY", {},
          {El(u"DIV", {}, {El(u"IMG", {}, {}, unreadable), Img(u"yy.gif")}), Img(u"zz.gif")}),
       {"yy.gif=C:\\m\\yy.gif", "zz.gif=C:\\m\\zz.gif"},
       {u"<DIV>outerHTML"}},
      // When the parent cannot be shown either, the grandparent reports and
      // skips the parent's rest.
      {El(u"BODY", {},
          {El(u"DIV", {}, {El(u"IMG", {}, {}, unreadable), Img(u"lost.gif")}, {u"outerHTML"}),
           Img(u"zz.gif")}),
       {"zz.gif=C:\\m\\zz.gif"},
       {u"<BODY>outerHTML"}},
      // Past the root the failure leaves the walk.
      {El(u"IMG", {}, {}, unreadable), {}, {}, true},
  };
  for (const Case& c : cases) {
    Fixture f;
    bool escaped = false;
    try {
      f.control.GetImagesSub(c.root);
    } catch (const Failure& failure) {
      escaped = true;
      EXPECT_EQ(failure.description(), u"broken outerHTML");
    }
    std::vector<std::string> boxes;
    for (const auto& r : c.reports) {
      const auto cut = r.find(u'>') + 1;
      boxes.push_back("Image Information retrieving error.\r\nHTML: " + ToUtf8(r.substr(0, cut)) +
                      (r[cut] == u'!' ? "\r\nUnexpexted error # 7 occured: Out of memory"
                                      : "\r\nUnexpexted error # 1001 occured: broken " +
                                            ToUtf8(r.substr(cut))));
    }
    EXPECT_EQ(escaped, c.escapes) << ToUtf8(c.root->tag);
    EXPECT_EQ(f.Entries(), c.entries) << ToUtf8(c.root->tag);
    EXPECT_EQ(f.desktop->boxes, boxes);
  }
}

TEST(CollectorsTest, OtherWalksStopAtTheFirstFailureKeepingEarlierEntries) {
  const auto root = El(u"BODY", {},
                       {Css(u"ss.css"), Flash(u"mm.swf"), Movie(u"oo.swf"),
                        El(u"P", {}, {}, {u"TYPE", u"REL", u"CLASSID"}), Css(u"late.css")});
  for (Collector c : {kFlash, kStyle, kObject}) {
    Fixture f;
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
    at->kids.push_back(child);
    at = child;
  }
  at->attrs[u"SRC"] = u"deep.gif";
  Fixture f;
  for (Collector c : {kImages, kFlash, kStyle, kObject}) (f.control.*c)(root);
  EXPECT_EQ(f.Entries(), std::vector<std::string>{"deep.gif=C:\\m\\deep.gif"});
  // Tearing the chain down one link at a time keeps destruction off the
  // machine stack too.
  std::shared_ptr<Element> link = std::move(root);
  while (link) link = link->children().empty() ? nullptr : link->children().front();
}

}  // namespace
}  // namespace corabind
