#include "platform/html/charset.h"

#include <gtest/gtest.h>

#include "core/failure.h"

namespace corabind::html {
namespace {

TEST(CharsetTest, DetectsAndConvertsToUtf8) {
  struct Case {
    std::string name;
    std::string bytes;
    std::string charset;
    std::string utf8;
  };
  const Case cases[] = {
      {"plain", "<p>caf\xC3\xA9", "UTF-8", "<p>caf\xC3\xA9"},
      {"UTF-8 BOM", "\xEF\xBB\xBF<p>x", "UTF-8", "<p>x"},
      {"UTF-16LE BOM", std::string("\xFF\xFE<\0p\0>\0\xE9\0", 10), "UTF-16LE", "<p>\xC3\xA9"},
      {"UTF-16BE BOM", std::string("\xFE\xFF\0<\0p\0>\0\xE9", 10), "UTF-16BE", "<p>\xC3\xA9"},
      {"meta charset", "<head><meta charset=\"ISO-8859-2\"><p>\xB1", "iso-8859-2",
       "<head><meta charset=\"ISO-8859-2\"><p>\xC4\x85"},
      {"meta http-equiv",
       "<META HTTP-EQUIV='Content-Type' CONTENT='text/html; charset=windows-1251'>\xC4",
       "windows-1251",
       "<META HTTP-EQUIV='Content-Type' CONTENT='text/html; charset=windows-1251'>\xD0\x94"},
      {"latin1 means windows-1252", "<meta charset=latin1>\x80", "WINDOWS-1252",
       "<meta charset=latin1>\xE2\x82\xAC"},
      {"meta in a comment is ignored", "<!--<meta charset=koi8-r>-->\xC3\xA9", "UTF-8",
       "<!--<meta charset=koi8-r>-->\xC3\xA9"},
      {"meta cannot claim UTF-16", "<meta charset=utf-16>x", "UTF-8", "<meta charset=utf-16>x"},
      {"unknown label", "<meta charset=no-such-thing>x", "UTF-8", "<meta charset=no-such-thing>x"},
      {"meta after 1024 bytes", std::string(1024, ' ') + "<meta charset=koi8-r>", "UTF-8",
       std::string(1024, ' ') + "<meta charset=koi8-r>"},
      {"invalid UTF-8 becomes U+FFFD",
       "a\xFF"
       "b\xC3",
       "UTF-8",
       "a\xEF\xBF\xBD"
       "b\xEF\xBF\xBD"},
      {"lone surrogate in UTF-16",
       std::string("\xFF\xFE"
                   "a\0\0\xD8"
                   "b\0",
                   8),
       "UTF-16LE",
       "a\xEF\xBF\xBD"
       "b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DetectCharset(c.bytes), c.charset);
    EXPECT_EQ(DecodeHtmlFile(c.bytes), c.utf8);
  }
}

TEST(CharsetTest, ConvertsLargeInputCompletely) {
  const std::string latin(100000, '\xE9');
  const std::string utf8 = ConvertToUtf8(latin, "ISO-8859-1");
  EXPECT_EQ(utf8.size(), 200000u);
  EXPECT_EQ(utf8.substr(199998), "\xC3\xA9");
  EXPECT_THROW(ConvertToUtf8("x", "no-such-charset"), Failure);
}

}  // namespace
}  // namespace corabind::html
