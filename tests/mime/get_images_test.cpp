#include <gtest/gtest.h>

#include "fake_dom.h"

namespace corabind {
namespace {

using namespace testing;

// Written out here, not taken from the source, so a changed byte shows.
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

TEST(GetImagesTest, LaysOutTheMessageByteForByte) {
  Fixture f(u"");
  f.encoders->files = {u"C:\\m\\img\\aa.gif", u"C:\\m\\ss.css"};
  f.body->kids = {Img(u"img/aa.gif")};
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
  ASSERT_GE(f.encoders->log.size(), 7u);
  EXPECT_EQ(f.encoders->log[4], u"encode files\\ab.gif FT");
  EXPECT_EQ(f.encoders->log[6], u"encode C:\\x\\up.gif FT");
  EXPECT_EQ(f.control.getBaseURL(), u"C:\\m\\");
  // A second call repeats every part in order; getImage changes nothing.
  EXPECT_EQ(ToUtf8(f.Run(html, kFalse, kTrue)), ToUtf8(expected));
  EXPECT_EQ(f.control.imageKeys()->Count(), 6);
}

TEST(GetImagesTest, TracesOnlyForExactTrue) {
  for (VariantBool debug : {kFalse, VariantBool{1}, kTrue}) {
    Fixture f;
    f.encoders->files = {u"C:\\m\\aa.gif"};
    f.control.InsertImageInfo(u"a", u"file://C:\\m\\aa.gif");
    f.dom->sheets = {std::make_shared<FakeSheet>(u"https://h/s.css"),
                     std::make_shared<FakeSheet>(u"", /*fail=*/true)};
    f.body->kids = {El(u"P", {}, {}, {u"TYPE"})};  // ends the flash walk
    f.Run(u"<p>", debug);
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
    EXPECT_EQ(f.desktop->boxes, debug == kTrue ? expected : std::vector<std::string>{}) << debug;
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
         f.body->attrs[u"BACKGROUND"] = u"bg.gif";
       },
       Part(u"bg.gif", u"bg.gif", u"")},
      {"failing collector keeps what it registered, later collectors run",
       [](Fixture& f) {
         f.body->kids = {Css(u"one.css"), El(u"P", {}, {}, {u"REL"}), Css(u"two.css"),
                         Movie(u"movie.swf")};
       },
       Part(u"one.css", u"one.css", u"") + Part(u"movie.swf", u"movie.swf", u"")},
      {"encoder cannot be created: no part at all",
       [](Fixture& f) {
         f.encoders->fail_create = true;
         f.control.InsertImageInfo(u"a", u"C:\\a.gif");
       },
       u""},
      {"unreadable file still gets its (empty) part",
       [](Fixture& f) {
         f.encoders->files = {u"C:\\a.gif"};
         f.control.InsertImageInfo(u"a", u"C:\\a.gif");
         f.control.InsertImageInfo(u"b", u"C:\\gone.gif");
       },
       Part(u"a.gif", u"a", u"<C:\\a.gif>") + Part(u"gone.gif", u"b", u"")},
      {"a position the values lack is skipped, not filled from its neighbour",
       [](Fixture& f) {
         f.encoders->files = {u"C:\\a.gif"};
         f.control.InsertImageInfo(u"a", u"C:\\a.gif");
         f.control.imageKeys()->Add(u"orphan");
       },
       Part(u"a.gif", u"a", u"<C:\\a.gif>")},
      {"values without keys give no part",
       [](Fixture& f) { f.control.imageValues()->Add(u"C:\\m\\lone.gif"); }, u""},
      {"a collector out of memory keeps what it registered",
       [](Fixture& f) {
         f.body->kids = {Css(u"one.css"), El(u"P", {}, {}, {u"!REL"})};
       },
       Part(u"one.css", u"one.css", u"")},
      {"a key with a control character is left out; a name's are written %HH",
       [](Fixture& f) {
         f.encoders->files = {u"C:\\a.gif"};
         for (const std::u16string& key : {std::u16string(u"x>\r\nContent-Type: text/html"),
                                           std::u16string(u"nul\0", 4), std::u16string(u"\x7f")})
           f.control.InsertImageInfo(key, u"C:\\a.gif");
         f.control.InsertImageInfo(u"esc", u"C:\\\x1b[2J.gif");
         f.control.InsertImageInfo(u"ok", u"C:\\a.gif");
       },
       Part(u"%1B[2J.gif", u"esc", u"") + Part(u"a.gif", u"ok", u"<C:\\a.gif>")},
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
      f.desktop->fail = debug == kTrue;  // even failing trace boxes lose nothing else
      EXPECT_EQ(ToUtf8(f.Run(u"<p>", debug)), ToUtf8(kHeader + u"<p>\r\n\r\n" + c.parts + kEnd))
          << c.name;
      EXPECT_EQ(f.encoders->created, c.parts.empty() ? 0 : 1) << c.name;
    }
  }
}

TEST(GetImagesTest, TellsWhyAPartIsLeftOut) {
  Fixture f;
  f.control.InsertImageInfo(u"a\nb", u"C:\\a.gif");
  f.Run(u"", kTrue);
  ASSERT_FALSE(f.desktop->boxes.empty());
  EXPECT_EQ(f.desktop->boxes.back(),
            "Part left out: its key holds a control character: a\\nb");
}

}  // namespace
}  // namespace corabind
