#include <gtest/gtest.h>

#include "control/orvane_control.h"
#include "control/text.h"
#include "fake_dom.h"

namespace corabind {
namespace {

using testing::El;
using testing::FakeDocument;
using testing::FakeEncoderFactory;
using testing::FakeSheet;
using testing::RecordingDesktop;

const std::u16string kHeader =
    u"MIME-Version: 1.0\r\n"
    u"Content-Type: multipart/related;\r\n"
    u"    type=\"multipart/alternative\";\r\n"
    u"    boundary = \"----=_NextPart_000_0019_01C11112.0DD79400\"\r\n"
    u"\r\n"
    u"This is a multi-part message in MIME format.\r\n"
    u"\r\n"
    u"------=_NextPart_000_0019_01C11112.0DD79400\r\n"
    u"Content-Type: text/html;\r\n"
    u"    charset=\"ks_c_5601-1987\"\r\n"
    u"Content-Transfer-Encoding: 8bit\r\n"
    u"\r\n";
const std::u16string kEnd = u"------=_NextPart_000_0019_01C11112.0DD79400--\r\n";

std::u16string Part(const std::u16string& name, const std::u16string& key,
                    const std::u16string& body) {
  return u"------=_NextPart_000_0019_01C11112.0DD79400\r\n"
         u"Content-Type: application/octet-stream;\r\n"
         u" name=\"" +
         name + u"\"\r\nContent-Transfer-Encoding: base64\r\nContent-ID: <" + key + u">\r\n\r\n" +
         body + u"\r\n";
}

struct Fixture {
  std::shared_ptr<RecordingDesktop> desktop = std::make_shared<RecordingDesktop>();
  std::shared_ptr<FakeEncoderFactory> encoders = std::make_shared<FakeEncoderFactory>();
  Library library{Services{desktop, nullptr, encoders}};
  OrvaneControl control{library};
  std::shared_ptr<FakeDocument> dom = std::make_shared<FakeDocument>();
  std::shared_ptr<testing::FakeElement> body = El(u"BODY");

  std::u16string Run(const std::u16string& html, VariantBool debug = kFalse,
                     VariantBool get_image = kFalse) {
    return control.GetImages(html, body, u"C:\\m\\", dom, get_image, debug);
  }
};

TEST(GetImagesTest, LaysOutTheMessageByteForByte) {
  Fixture f;
  f.encoders->files = {u"C:\\m\\img\\aa.gif", u"C:\\m\\ss.css"};
  f.body->Add(El(u"IMG")->Attr(u"SRC", u"img/aa.gif").shared_from_this());
  f.dom->sheets = {std::make_shared<FakeSheet>(u"ss.css"), std::make_shared<FakeSheet>(u"")};
  f.control.InsertImageInfo(u"k>1", u"nobackslash");  // registered earlier: comes first
  f.control.InsertImageInfo(u"k2", u"file://C:\\m\\ss.css");
  f.control.InsertImageInfo(u"k3", u"files\\ab.gif");  // relative, merely starts with "file"
  f.control.InsertImageInfo(u"k4", u"FILE://C:\\x\\up.gif");
  const std::u16string html = u"<p>\u00e9 ------=_NextPart_000_0019_01C11112.0DD79400</p>";
  const std::u16string expected = kHeader + html + u"\r\n\r\n" + Part(u"", u"k>1", u"") +
                                  Part(u"ss.css", u"k2", u"<C:\\m\\ss.css>") +
                                  Part(u"ab.gif", u"k3", u"") + Part(u"up.gif", u"k4", u"") +
                                  Part(u"aa.gif", u"img/aa.gif", u"<C:\\m\\img\\aa.gif>") +
                                  Part(u"ss.css", u"ss.css", u"<C:\\m\\ss.css>") + kEnd;
  EXPECT_EQ(ToUtf8(f.Run(html)), ToUtf8(expected));
  EXPECT_EQ(f.encoders->created, 1);
  EXPECT_EQ(f.encoders->log[4], u"encode files\\ab.gif FT");
  EXPECT_EQ(f.encoders->log[6], u"encode C:\\x\\up.gif FT");
  EXPECT_EQ(f.control.getBaseURL(), u"C:\\m\\");
  // A second call repeats every part in order; getImage changes nothing.
  EXPECT_EQ(ToUtf8(f.Run(html, kFalse, kTrue)), ToUtf8(expected));
  EXPECT_EQ(f.control.imageKeys()->Count(), 6);
}

TEST(GetImagesTest, EmptyCollectionsGiveHeaderHtmlAndEnd) {
  for (bool values_only : {false, true}) {
    Fixture f;
    if (values_only) f.control.imageValues()->Add(u"C:\\m\\lone.gif");
    EXPECT_EQ(f.Run(u""), kHeader + u"\r\n\r\n" + kEnd);
    EXPECT_EQ(f.encoders->created, 0);
  }
}

TEST(GetImagesTest, TracesOnlyForExactTrue) {
  for (VariantBool debug : {kFalse, VariantBool{1}, kTrue}) {
    Fixture f;
    f.encoders->files = {u"C:\\m\\aa.gif"};
    f.control.InsertImageInfo(u"a", u"file://C:\\m\\aa.gif");
    f.dom->sheets = {std::make_shared<FakeSheet>(u"https://h/s.css"),
                     std::make_shared<FakeSheet>(u"", /*fail=*/true)};
    f.body->Add(El(u"P")->FailAttr(u"TYPE").shared_from_this());  // ends the flash walk
    f.Run(u"<p>", debug);
    std::vector<std::string> boxes;
    for (const auto& b : f.desktop->boxes) boxes.push_back(ToUtf8(b));
    if (debug != kTrue) {
      EXPECT_TRUE(boxes.empty()) << debug;
      continue;
    }
    const std::vector<std::string> expected = {
        "Unexpexted error # 1001 occured: broken TYPE",
        "Styesheet count: 2",
        "https://h/s.css",
        "StyleSheet2 0th end...",
        "Unexpexted error # 1001 occured: broken href",
        "Unexpexted error # 1001 occured: broken href",
        "StyleSheet2 1th end...",
        "Image key count: 1\r\nImage value count: 1",
        "image key: a",
        "image value: file://C:\\m\\aa.gif",
        "Step 1: left 4th: file",
        "Step 2: mid 8th: C:\\m\\aa.gif",
        "Step 3: encoding...",
        "Step 4: encoding result: True",
    };
    EXPECT_EQ(boxes, expected);
  }
}

TEST(GetImagesTest, IsolatesFailuresPerUnit) {
  struct Case {
    const char* name;
    void (*arrange)(Fixture&);
    std::u16string parts;
  };
  const Case cases[] = {
      {"failing style sheet loses only itself",
       [](Fixture& f) {
         f.dom->sheets = {std::make_shared<FakeSheet>(u"", true),
                          std::make_shared<FakeSheet>(u"ok.css"),
                          std::make_shared<FakeSheet>(Null{})};
       },
       Part(u"ok.css", u"ok.css", u"")},
      {"no style sheets at all",
       [](Fixture& f) {
         f.dom->fail_sheets = true;
         f.body->Attr(u"BACKGROUND", u"bg.gif");
       },
       Part(u"bg.gif", u"bg.gif", u"")},
      {"failing collector keeps what it registered, later collectors run",
       [](Fixture& f) {
         f.body
             ->Add(El(u"LINK")
                       ->Attr(u"REL", u"stylesheet")
                       .Attr(u"HREF", u"one.css")
                       .shared_from_this())
             .Add(El(u"P")->FailAttr(u"REL").shared_from_this())
             .Add(El(u"LINK")
                      ->Attr(u"REL", u"stylesheet")
                      .Attr(u"HREF", u"two.css")
                      .shared_from_this())
             .Add(El(u"OBJECT")
                      ->Attr(u"CLASSID", u"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000")
                      .Attr(u"MOVIE", u"movie.swf")
                      .shared_from_this());
       },
       Part(u"one.css", u"one.css", u"") + Part(u"movie.swf", u"movie.swf", u"")},
      {"encoder cannot be created: no part at all",
       [](Fixture& f) {
         f.encoders->fail_create = true;
         f.control.InsertImageInfo(u"a", u"C:\\a.gif");
         f.control.InsertImageInfo(u"b", u"C:\\b.gif");
       },
       u""},
      {"unreadable file still gets its (empty) part",
       [](Fixture& f) { f.control.InsertImageInfo(u"a", u"C:\\gone.gif"); },
       Part(u"gone.gif", u"a", u"")},
      {"a position the values lack is skipped, not filled from its neighbour",
       [](Fixture& f) {
         f.encoders->files = {u"C:\\a.gif"};
         f.control.InsertImageInfo(u"a", u"C:\\a.gif");
         f.control.imageKeys()->Add(u"orphan");
       },
       Part(u"a.gif", u"a", u"<C:\\a.gif>")},
      {"no element to walk",
       [](Fixture& f) {
         f.body = nullptr;
         f.dom = nullptr;
       },
       u""},
  };
  for (const Case& c : cases) {
    for (VariantBool debug : {kFalse, kTrue}) {
      Fixture f;
      c.arrange(f);
      if (debug == kTrue) f.desktop->fail = true;  // even failing boxes lose nothing else
      EXPECT_EQ(ToUtf8(f.Run(u"<p>", debug)), ToUtf8(kHeader + u"<p>\r\n\r\n" + c.parts + kEnd))
          << c.name;
    }
  }
}

}  // namespace
}  // namespace corabind
