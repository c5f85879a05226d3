#include "platform/posix/posix_file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "core/failure.h"
#include "core/text.h"
#include "platform/posix/temp_folder.h"
#include "support/expect_failure.h"

namespace corabind {
namespace {
namespace fs = std::filesystem;
using testing::ExpectFailure;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// The temporary folder is drive T:, so paths in the tests read like the
// control's.
class PosixFileSystemTest : public ::testing::Test {
 protected:
  PosixFileSystemTest() { paths_->MapDrive(u'T', folder_.path()); }

  PosixFileSystem Files(std::string code_set = "UTF-8", DiskCalls calls = DiskCalls::System()) {
    return PosixFileSystem(paths_, std::move(code_set), std::move(calls));
  }
  fs::path Host(const std::string& name) const { return folder_.path() / name; }

  TempFolder folder_;
  std::shared_ptr<PathMap> paths_ = std::make_shared<PathMap>();
};

std::vector<std::u16string> ReadAllLines(FileSystem& files, const std::u16string& path) {
  std::vector<std::u16string> lines;
  for (auto reader = files.OpenTextFile(path); !reader->AtEnd();)
    lines.push_back(reader->ReadLine());
  return lines;
}

TEST_F(PosixFileSystemTest, ReadsLinesEndingAtCrOrCrLf) {
  struct Case {
    std::string bytes;
    std::vector<std::u16string> lines;
  };
  const Case cases[] = {
      {"", {}},
      {"a\r\nb", {u"a", u"b"}},
      {"a\r\nb\r\n", {u"a", u"b"}},
      {"a\rb\r", {u"a", u"b"}},
      {"a\nb", {u"a\nb"}},  // a lone LF stays in its line
      {"a\nb\r\n", {u"a\nb"}},
      {"a\r\r\nb", {u"a", u"", u"b"}},
      {"\r\n\r\n", {u"", u""}},
      {"\n", {u"\n"}},
      {"\xed\x95\x9c\r\n", {u"\ud55c"}},
  };
  auto files = Files();
  for (const Case& c : cases) {
    WriteBytes(Host("in.txt"), c.bytes);
    EXPECT_EQ(ReadAllLines(files, u"T:\\in.txt"), c.lines) << c.bytes;
  }
  auto reader = files.OpenTextFile(u"t:/in.txt");
  reader->ReadLine();
  ExpectFailure(62, [&] { reader->ReadLine(); });
}

// Whatever the code set of writing, a file is read as the platform's text
// reader takes it, and a byte it cannot place is a failure naming its
// offset, never a replacement character.
TEST_F(PosixFileSystemTest, ReadsByByteOrderMarkElseUtf8ElseCp949) {
  using namespace std::string_literals;
  struct Case {
    std::string name, bytes;
    std::u16string text;  // with the lines joined by CR LF
    std::optional<std::size_t> invalid_at = std::nullopt;
  };
  const Case cases[] = {
      {"UTF-8", "\xed\x95\x9c\xea\xb8\x80 a\r\nb", u"\ud55c\uae00 a\r\nb"},
      {"UTF-8 with its mark", "\xef\xbb\xbf\xed\x95\x9c", u"\ud55c"},
      {"UTF-16 LE", "\xff\xfe\x5c\xd5\r\0\n\0a\0"s, u"\ud55c\r\na"},
      {"UTF-16 BE", "\xfe\xff\xd5\x5c\0\r\0\n\0a"s, u"\ud55c\r\na"},
      {"UTF-16 LE, a pair", "\xff\xfe\x3d\xd8\x00\xde"s, u"\U0001F600"},
      {"CP949 Korean", "<p>\xc7\xd1\xb1\xdb \x81\x41</p>", u"<p>\ud55c\uae00 \uac02</p>"},
      {"CP949 cut short", "ab\xc7", u"", 2},
      {"valid nowhere", "abc\xff", u"", 3},
      {"valid nowhere, after Korean", "\xc7\xd1\x80", u"", 2},
      {"UTF-8 mark, then invalid",
       "\xef\xbb\xbf"
       "a\xc7\xd1",
       u"", 4},
      {"UTF-16 of an odd length",
       "\xff\xfe"
       "a\0b"s,
       u"", 4},
  };
  auto files = Files("ANSI_X3.4-1968");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(Host("in.txt"), c.bytes);
    if (!c.invalid_at) {
      std::u16string text;
      for (const std::u16string& line : ReadAllLines(files, u"T:\\in.txt"))
        text += (text.empty() ? u"" : u"\r\n") + line;
      EXPECT_EQ(ToUtf8(text), ToUtf8(c.text));
      continue;
    }
    const std::u16string why =
        ExpectFailure(err::kInvalidCall, [&] { files.OpenTextFile(u"T:\\in.txt"); });
    EXPECT_NE(why.find(u"T:\\in.txt: the byte at offset " +
                       DecimalText(static_cast<std::int64_t>(*c.invalid_at)) + u" "),
              std::u16string::npos)
        << ToUtf8(why);
  }
}

TEST_F(PosixFileSystemTest, OpenFailsClearly) {
  fs::create_directory(Host("sub"));
  WriteBytes(Host("plain"), "x");
  ::mkfifo(Host("fifo").c_str(), 0600);
  WriteBytes(Host("huge"), "");
  fs::resize_file(Host("huge"), kMaxTextFileBytes + 1);  // sparse: costs no disk
  auto files = Files();
  struct Case {
    std::u16string path;
    std::int32_t number;
  };
  for (const Case& c :
       {Case{u"T:\\missing.htm", err::kFileNotFound}, Case{u"T:\\sub", err::kPermissionDenied},
        Case{u"T:\\plain\\x.htm", err::kPathNotFound}, Case{u"Q:\\a.htm", err::kPathNotFound},
        Case{u"\\\\srv\\a.htm", err::kPathNotFound}, Case{u"", err::kBadFileName},
        Case{u"T:\\fifo", err::kPermissionDenied}, Case{u"Z:\\dev\\zero", err::kPermissionDenied},
        Case{u"T:\\huge", err::kOutOfStringSpace}}) {
    const std::u16string description = ExpectFailure(c.number, [&] { files.OpenTextFile(c.path); });
    if (!c.path.empty()) {
      EXPECT_NE(description.find(c.path), std::u16string::npos) << ToUtf8(description);
    }
  }
}

TEST_F(PosixFileSystemTest, WritesTextAndCrLfInTheCodeSet) {
  Files().WriteTextFile(u"T:\\out.htm", u"abc");
  EXPECT_EQ(ReadBytes(Host("out.htm")), "abc\r\n");
  // Replacing keeps the permission bits of the file it replaces.
  ::chmod(Host("out.htm").c_str(), 0640);
  Files("CP949").WriteTextFile(u"T:/out.htm", u"\ud55c\uae00\r\nx");
  EXPECT_EQ(ReadBytes(Host("out.htm")), "\xc7\xd1\xb1\xdb\r\nx\r\n");
  EXPECT_EQ(fs::status(Host("out.htm")).permissions(), static_cast<fs::perms>(0640));
  auto cp949 = Files("CP949");
  EXPECT_EQ(ReadAllLines(cp949, u"T:\\out.htm"),
            (std::vector<std::u16string>{u"\ud55c\uae00", u"x"}));
  // Through a symbolic link the linked file is replaced and the link kept.
  fs::create_symlink("out.htm", Host("link.htm"));
  Files().WriteTextFile(u"T:\\link.htm", u"via link");
  EXPECT_TRUE(fs::is_symlink(Host("link.htm")));
  EXPECT_EQ(ReadBytes(Host("out.htm")), "via link\r\n");
  EXPECT_EQ(folder_.Names(), (std::set<std::string>{"out.htm", "link.htm"}));
}

// What a replaced, new or linked file ends up as, with umask 027.
TEST_F(PosixFileSystemTest, ModesAndLinksOfWrittenFiles) {
  const mode_t old_umask = ::umask(027);
  struct Case {
    const char* what;
    void (*arrange)(const fs::path& folder);
    std::u16string path;
    const char* target;
    int mode;  // -1: refused, old content kept
  };
  const Case cases[] = {
      {"new file honours the umask", [](const fs::path&) {}, u"T:\\new.htm", "new.htm", 0640},
      {"replaced file keeps its mode",
       [](const fs::path& f) {
         WriteBytes(f / "old.htm", "old");
         ::chmod((f / "old.htm").c_str(), 0604);
       },
       u"T:\\old.htm", "old.htm", 0604},
      {"dangling link is written through",
       [](const fs::path& f) { fs::create_symlink("made.htm", f / "dangling.htm"); },
       u"T:\\dangling.htm", "made.htm", 0640},
      {"read-only file is refused",
       [](const fs::path& f) {
         WriteBytes(f / "ro.htm", "old");
         ::chmod((f / "ro.htm").c_str(), 0444);
       },
       u"T:\\ro.htm", "ro.htm", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.arrange(folder_.path());
    if (c.mode < 0) {
      ExpectFailure(err::kPermissionDenied, [&] { Files().WriteTextFile(c.path, u"new"); });
      EXPECT_EQ(ReadBytes(Host(c.target)), "old");
      continue;
    }
    Files().WriteTextFile(c.path, u"new");
    EXPECT_EQ(ReadBytes(Host(c.target)), "new\r\n");
    EXPECT_EQ(fs::status(Host(c.target)).permissions(), static_cast<fs::perms>(c.mode));
  }
  EXPECT_TRUE(fs::is_symlink(Host("dangling.htm")));
  ::umask(old_umask);
}

// Every way a write can fail leaves the old file byte for byte and no
// temporary file behind.
TEST_F(PosixFileSystemTest, FailedWriteLeavesTheOldFile) {
  const auto failing = [](int error) {
    return [error](auto&&...) {
      errno = error;
      return -1;
    };
  };
  DiskCalls half_then_full = DiskCalls::System();
  half_then_full.write = [](int fd, const void* data, std::size_t size) -> ssize_t {
    if (size > 4) return ::write(fd, data, size / 2);
    errno = ENOSPC;
    return -1;
  };
  DiskCalls bad_sync = DiskCalls::System();
  bad_sync.fsync = failing(EIO);
  DiskCalls bad_rename = DiskCalls::System();
  bad_rename.rename = failing(EACCES);

  struct Case {
    const char* what;
    std::string code_set;
    DiskCalls calls;
    std::u16string path;
    std::u16string text;
    std::int32_t number;
  };
  const Case cases[] = {
      {"character the code set lacks", "ANSI_X3.4-1968", DiskCalls::System(), u"T:\\old.htm",
       u"price: 5\u20ac", err::kInvalidCall},
      {"unpaired surrogate", "UTF-8", DiskCalls::System(), u"T:\\old.htm", u"a\xd800",
       err::kInvalidCall},
      {"disk full half-way", "UTF-8", half_then_full, u"T:\\old.htm", u"new text that is long",
       err::kDiskFull},
      {"fsync fails", "UTF-8", bad_sync, u"T:\\old.htm", u"new", err::kDeviceIo},
      {"rename refused", "UTF-8", bad_rename, u"T:\\old.htm", u"new", err::kPermissionDenied},
      {"folder at the path", "UTF-8", DiskCalls::System(), u"T:\\sub", u"new",
       err::kPermissionDenied},
      {"parent is a file", "UTF-8", DiskCalls::System(), u"T:\\old.htm\\x.htm", u"new",
       err::kPathNotFound},
      {"missing folder", "UTF-8", DiskCalls::System(), u"T:\\nowhere\\x.htm", u"new",
       err::kPathNotFound},
      {"unmapped drive", "UTF-8", DiskCalls::System(), u"Q:\\old.htm", u"new", err::kPathNotFound},
      {"device at the path", "UTF-8", DiskCalls::System(), u"Z:\\dev\\full", u"new",
       err::kPermissionDenied},
  };
  fs::create_directory(Host("sub"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteBytes(Host("old.htm"), "old \xc3\xa9\r\n");
    const auto before = folder_.Names();
    const std::u16string description =
        ExpectFailure(c.number, [&] { Files(c.code_set, c.calls).WriteTextFile(c.path, c.text); });
    EXPECT_NE(description.find(c.path), std::u16string::npos) << ToUtf8(description);
    EXPECT_EQ(ReadBytes(Host("old.htm")), "old \xc3\xa9\r\n");
    EXPECT_EQ(folder_.Names(), before);
  }
  EXPECT_TRUE(fs::is_empty(Host("sub")));
}

TEST_F(PosixFileSystemTest, ExistenceQueries) {
  WriteBytes(Host("a.htm"), "");
  WriteBytes(Host(".hidden.htm"), "x");
  fs::create_directory(Host("folder"));
  fs::create_symlink("a.htm", Host("link.htm"));
  ::mkfifo(Host("pipe").c_str(), 0600);
  struct Case {
    std::u16string path;
    std::u16string dir;
    bool exists;
  };
  const Case cases[] = {
      {u"t:/a.htm", u"a.htm", true},   {u"T:\\link.htm", u"link.htm", true},
      {u"T:\\.hidden.htm", u"", true}, {u"T:\\pipe", u"", false},
      {u"T:\\a.htm\\", u"", false},    {u"Q:\\a.htm", u"", false},
  };
  auto files = Files();
  for (const Case& c : cases) {
    EXPECT_EQ(files.Dir(c.path), c.dir) << ToUtf8(c.path);
    EXPECT_EQ(files.FileExists(c.path), c.exists) << ToUtf8(c.path);
  }
}

}  // namespace
}  // namespace corabind
