#include "platform/posix/path_map.h"

#include <gtest/gtest.h>

#include "core/failure.h"
#include "core/text.h"
#include "support/expect_failure.h"

namespace corabind {
namespace {
using testing::ExpectFailure;

namespace fs = std::filesystem;

PathMap MapWithC() {
  PathMap map;
  map.MapDriveSpec("c=/mnt/c");
  return map;
}

TEST(PathMapTest, ControlPathsToHost) {
  const fs::path cwd = fs::current_path();
  struct Case {
    std::u16string control;
    std::optional<fs::path> host;
  };
  const Case cases[] = {
      {u"Z:\\home\\u\\a.htm", "/home/u/a.htm"},
      {u"z:/home/u/a.htm", "/home/u/a.htm"},
      {u"\\tmp\\a.gif", "/tmp/a.gif"},
      {u"C:\\mail\\a.gif", "/mnt/c/mail/a.gif"},
      {u"C:mail\\a.gif", "/mnt/c/mail/a.gif"},
      {u"C:\\", "/mnt/c"},
      {u"C:\\..\\..\\etc\\passwd", "/mnt/c/etc/passwd"},  // no climbing out of a drive
      {u"C:\\a\\..\\b", "/mnt/c/a/../b"},
      {u"C:\\a\\\\b\\.\\c", "/mnt/c/a/b/c"},
      {u"Z:\\tmp\\", "/tmp/"},
      {u"Z:\\dir with space\\\u00e9t\u00e9 \ud55c\uae00.htm",
       "/dir with space/\xc3\xa9t\xc3\xa9 \xed\x95\x9c\xea\xb8\x80.htm"},
      {u"img\\a.gif", cwd / "img/a.gif"},
      {u"..\\a.gif", cwd / "../a.gif"},
      {u"E:\\x.gif", std::nullopt},
      {u"\\\\srv\\share\\a.gif", std::nullopt},
      {u"\\\\?\\C:\\a.gif", std::nullopt},
      {u"", std::nullopt},
      {std::u16string(u"Z:\\a\0b", 6), std::nullopt},
  };
  const PathMap map = MapWithC();
  for (const Case& c : cases) {
    EXPECT_EQ(map.ToHost(c.control), c.host) << ToUtf8(c.control);
  }
}

TEST(PathMapTest, HostPathsToControl) {
  PathMap map = MapWithC();
  map.MapDrive(u'D', "/mnt/c/deep");
  struct Case {
    fs::path host;
    std::u16string control;
  };
  const Case cases[] = {
      {"/home/u/a.htm", u"Z:\\home\\u\\a.htm"},
      {"/", u"Z:\\"},
      {"/mnt/c/mail/a.gif", u"C:\\mail\\a.gif"},
      {"/mnt/c/deep/x", u"D:\\x"},       // the most specific drive
      {"/mnt/cx/a", u"Z:\\mnt\\cx\\a"},  // whole names, not a text prefix
      {"/tmp//./a", u"Z:\\tmp\\a"},
      {"rel/a b.htm", map.ToControl(fs::current_path() / "rel/a b.htm")},
  };
  for (const Case& c : cases) EXPECT_EQ(map.ToControl(c.host), c.control) << c.host;
}

TEST(PathMapTest, HostPathsSurviveTheRoundTrip) {
  PathMap map = MapWithC();
  for (const fs::path host : {"/tmp/a b/c  d.htm", "/tmp/\xed\x95\x9c\xea\xb8\x80/\xed\x8c\x8c.htm",
                              "/mnt/c/na\xc3\xafve caf\xc3\xa9.htm", "/tmp/latin1-\xe9\xff.htm",
                              "/tmp/\xf0\x9f\x98\x80 emoji", "/tmp/bad\xed\xa0\x80surrogate"}) {
    const std::u16string control = map.ToControl(host);
    EXPECT_EQ(map.ToHost(control), host) << ToUtf8(control);
  }
}

TEST(PathMapTest, RefusesWhatItCannotMap) {
  PathMap map;
  for (const std::string mapping : {"", "C", "C=", "C:/x", "1=/x", "=/x"}) {
    ExpectFailure(err::kInvalidCall, [&] { map.MapDriveSpec(mapping); });
  }
  EXPECT_THROW(map.MapDrive(u'1', "/x"), Failure);
  ExpectFailure(err::kBadFileName, [&] { map.ToControl("/tmp/a\\b"); });  // one host name, not two

  map.MapDrive(u'q', "/srv/q");
  map.UnmapDrive(u'Z');
  EXPECT_EQ(map.ToHost(u"\\tmp\\a.gif"), std::nullopt);
  EXPECT_EQ(map.ToControl("/srv/q/a"), u"Q:\\a");
  ExpectFailure(err::kBadFileName, [&] { map.ToControl("/tmp/a"); });
}

}  // namespace
}  // namespace corabind
