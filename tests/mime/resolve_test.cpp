#include "mime/resolve.h"

#include <gtest/gtest.h>

#include "control/orvane_control.h"
#include "core/text.h"

namespace corabind {
namespace {

std::u16string Registered(const std::u16string& base, const std::u16string& src) {
  Library library;
  OrvaneControl control(library);
  control.data().set_baseURL(base);
  ResolveImageInfo(control.data(), src, u"key");
  if (control.imageKeys()->Count() == 0) return u"(nothing)";
  EXPECT_EQ(control.imageKeys()->Item(1).ToText(), u"key");
  return control.imageValues()->Item(1).ToText();
}

TEST(ResolveImageInfoTest, TurnsReferencesIntoLocalPaths) {
  struct Case {
    std::u16string base, src, expected;
  };
  const std::u16string b = u"C:\\mail\\";
  const Case cases[] = {
      {b, u"a.gif", u"(nothing)"},  // five characters or fewer
      {b, u"ab.gif", u"C:\\mail\\ab.gif"},
      {b, u"file://C:/mail/a.gif", u"C:\\mail\\a.gif"},
      {b, u"file:///C:/mail/a.gif", u"\\C:\\mail\\a.gif"},  // exactly seven go
      {b, u"file:", u"(nothing)"},
      {b, u"file:/x", u""},
      {b, u"file:x", u""},
      {b, u"FILE://C:/a.gif", u"C:\\a.gif"},  // file URLs in any case
      {b, u"File://C:/a.gif", u"C:\\a.gif"},
      {b, u"http://host/a.gif", u"(nothing)"},
      // Every other scheme names no local file, in any case.
      {b, u"HTTP://host/a.gif", u"(nothing)"},
      {b, u"data:image/gif;base64,R0lGOD", u"(nothing)"},
      {b, u"cid:part1@host", u"(nothing)"},
      {b, u"mailto:a@b.c", u"(nothing)"},
      {b, u"svn+ssh://h/a.gif", u"(nothing)"},
      // Not a scheme: a drive, a digit first, a character schemes lack.
      {b, u"C:/mail/a.gif", u"C:/mail/a.gif"},
      {b, u"C:\\mail\\a.gif", u"C:\\mail\\a.gif"},
      {b, u"1x:/a.gif", u"C:\\mail\\1x:\\a.gif"},
      {b, u"my_img:a.gif", u"C:\\mail\\my_img:a.gif"},
      {b, u"/img/a.gif", u"C:\\mail\\img\\a.gif"},
      {b, u"//host/a.gif", u"C:\\mail\\\\host\\a.gif"},
      {b, u"../img/a.gif", u"C:\\mail\\..\\img\\a.gif"},
      {b, u"./a.gif", u"C:\\mail\\.\\a.gif"},
      {u"", u"img/a.gif", u"img\\a.gif"},
      {u"C:\\mail", u"img/a.gif", u"C:\\mailimg\\a.gif"},
      {u"file://C:/mail/", u"img/a.gif", u"file://C:/mail/img\\a.gif"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToUtf8(Registered(c.base, c.src)), ToUtf8(c.expected)) << ToUtf8(c.src);
  }
}

TEST(GetFileNameTest, CutsAfterTheLastBackslashOnly) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"C:\\mail\\a.gif", u"a.gif"},
      {u"C:\\mail\\", u""},
      {u"a.gif", u""},
      {u"C:/mail/a.gif", u""},
      {u"", u""},
      // A last backslash far beyond 16-bit positions is an ordinary position.
      {std::u16string(40000, u'x') + u"\\b.png", u"b.png"},
  };
  for (const auto& [path, name] : cases) EXPECT_EQ(GetFileName(path), name) << ToUtf8(path);
}

}  // namespace
}  // namespace corabind
