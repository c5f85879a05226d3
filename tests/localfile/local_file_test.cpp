#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <vector>

#include "control/orvane_control.h"
#include "core/failure.h"
#include "localfile/base_folder.h"
#include "support/expect_failure.h"
#include "support/headless_fixture.h"

namespace corabind {
namespace {

namespace fs = std::filesystem;
using testing::HeadlessTest;
using testing::ReadBytes;
using testing::WriteBytes;
using Kind = FileScript::Kind;

constexpr char16_t kHtmlFilter[] = u"HTML Document(*.htm;*.html)|*.htm;*.html|All Files(*.*)|*.*";

FileScript Pick(Kind kind, std::string host_path, bool overwrite = true) {
  return FileScript{kind, false, std::move(host_path), overwrite};
}
FileScript Cancel(Kind kind) {
  return FileScript{kind, true, {}, true};
}

// Opens every file, then fails to read it.
class UnreadableFiles : public PosixFileSystem {
 public:
  using PosixFileSystem::PosixFileSystem;
  std::unique_ptr<TextReader> OpenTextFile(const std::u16string&) override {
    throw Failure(err::kDeviceIo, u"Device I/O error");
  }
};

class LocalFileTest : public HeadlessTest {
 protected:
  // The file dialogs shown so far, each checked for the wiring of its kind.
  std::vector<std::u16string> OfferedNames(Kind kind) const {
    std::vector<std::u16string> names;
    for (const auto& e : desktop_->events()) {
      const auto* d = std::get_if<FileDialogEvent>(&e);
      if (!d || d->kind != kind) continue;
      EXPECT_EQ(d->title, kind == Kind::kSave ? u"Save As" : u"Open file");
      EXPECT_EQ(d->filter, kHtmlFilter);
      EXPECT_EQ(d->flags, kind == Kind::kSave ? 2 : 0);
      names.push_back(d->file_name);
    }
    return names;
  }
  std::optional<std::string> Bytes(const std::string& relative) const {
    if (!fs::exists(Host(relative))) return std::nullopt;
    return ReadBytes(Host(relative));
  }

  OrvaneControl control_{library_};
};

TEST_F(LocalFileTest, SaveWritesTheSourceWhereTheUserChose) {
  struct Case {
    const char* name;
    FileScript choice;
    std::u16string filename;
    VariantBool saveas;
    std::optional<std::string> out, old;
  } cases[] = {
      {"plain save", Pick(Kind::kSave, Host("out.htm")), u"x.htm", kFalse, "abc\r\n", "old"},
      {"name and flag unused", Pick(Kind::kSave, Host("out.htm")), u"C:\\o.htm", kTrue, "abc\r\n",
       "old"},
      {"cancelled", Cancel(Kind::kSave), u"x.htm", kFalse, std::nullopt, "old"},
      {"overwrite declined", Pick(Kind::kSave, Host("old.htm"), false), u"", kFalse, {}, "old"},
      {"overwrite confirmed", Pick(Kind::kSave, Host("old.htm")), u"", kFalse, {}, "abc\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(Host("out.htm"));
    WriteBytes(Host("old.htm"), "old");
    control_.data().file_dialog().file_name = u"C:\\left\\over.htm";
    desktop_->ClearEvents();
    desktop_->Push(c.choice);
    EXPECT_TRUE(control_.SaveToLocal(u"abc", c.filename, c.saveas).IsEmpty());
    EXPECT_TRUE(desktop_->ScriptDone());
    EXPECT_EQ(Bytes("out.htm"), c.out);
    EXPECT_EQ(Bytes("old.htm"), c.old);
    EXPECT_EQ(OfferedNames(Kind::kSave), std::vector<std::u16string>{u""});
  }
}

// Every way a write fails is in posix_file_system_test; here, that the
// failure reaches the page and the old file stays.
TEST_F(LocalFileTest, AFailedSaveKeepsTheOldFileAndReachesThePage) {
  UseFiles(std::make_shared<PosixFileSystem>(paths_, "ISO-8859-1"));
  const std::string old = "<p>old\r\npage</p>\r\n";
  WriteBytes(Host("page.htm"), old);
  desktop_->Push(Pick(Kind::kSave, Host("page.htm")));
  testing::ExpectFailure(err::kInvalidCall,
                         [&] { control_.SaveToLocal(u"caf\u00e9 \ud55c", u"", kFalse); });
  EXPECT_EQ(ReadBytes(Host("page.htm")), old);
  EXPECT_EQ(folder_.Names(), std::set<std::string>{"page.htm"});
}

TEST_F(LocalFileTest, OpenReturnsEveryLineWithCrLfAndSetsTheBase) {
  fs::create_directories(Host("in"));
  fs::create_directory(Host("folder.htm"));
  const FileScript a = Pick(Kind::kOpen, Host("in/a.htm"));
  const std::vector<std::u16string> missing = {u"File doesnot exit."};
  struct Case {
    std::string content;  // of C:\in\a.htm
    FileScript choice;
    std::u16string text, base;
    std::vector<std::u16string> messages = {};
    bool unreadable = false;
  } cases[] = {
      {"a\nb", a, u"a\nb\r\n", u"C:\\in\\"},  // a lone LF stays inside the line
      {"a\rb\r", a, u"a\r\nb\r\n", u"C:\\in\\"},
      {"", a, u"", u"C:\\in\\"},
      // Nothing read: the base stays.
      {"x", Cancel(Kind::kOpen), u"", u"before"},
      {"x", Pick(Kind::kOpen, Host("gone.htm")), u"", u"before", missing},
      {"x", Pick(Kind::kOpen, Host("folder.htm")), u"", u"before", missing},
      // Korean in the mail layout's code page reads whole; a byte valid in
      // no encoding gives no text rather than a replaced character.
      {"\xc7\xd1\xb1\xdb", a, u"\ud55c\uae00\r\n", u"C:\\in\\"},
      {"a\xff", a, u"", u"before"},
      {"x", a, u"", u"before", {}, true},  // last: the files stay unreadable
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.content) + " " + c.choice.host_path);
    if (c.unreadable) UseFiles(std::make_shared<UnreadableFiles>(paths_, "UTF-8"));
    WriteBytes(Host("in/a.htm"), c.content);
    control_.data().file_dialog().file_name.clear();  // as on a fresh control
    control_.data().set_baseURL(u"before");
    desktop_->ClearEvents();
    desktop_->Push(c.choice);
    EXPECT_EQ(control_.GetLocalHTMLFile(), c.text);
    EXPECT_EQ(control_.getBaseURL(), c.base);
    EXPECT_EQ(desktop_->MessageBoxes(), c.messages);
  }
}

TEST_F(LocalFileTest, OpenStartsFromTheLastChosenName) {
  fs::create_directories(Host("d"));
  fs::create_directories(Host("e"));
  WriteBytes(Host("d/a.htm"), "one");
  desktop_->Push({Pick(Kind::kOpen, Host("d/a.htm")), Cancel(Kind::kOpen),
                  Pick(Kind::kSave, Host("e/b.htm")), Cancel(Kind::kOpen), Cancel(Kind::kSave),
                  Cancel(Kind::kOpen)});
  EXPECT_EQ(control_.GetLocalHTMLFile(), u"one\r\n");
  control_.data().set_baseURL(u"base");
  // Cancelled: the earlier name is read again.
  EXPECT_EQ(control_.GetLocalHTMLFile(), u"one\r\n");
  EXPECT_EQ(control_.getBaseURL(), u"C:\\d\\");
  control_.SaveToLocal(u"two", u"", kFalse);
  EXPECT_EQ(control_.GetLocalHTMLFile(), u"two\r\n");
  EXPECT_EQ(control_.getBaseURL(), u"C:\\e\\");
  // A cancelled save empties the name, so the next cancelled open reads nothing.
  control_.SaveToLocal(u"three", u"", kFalse);
  EXPECT_EQ(control_.GetLocalHTMLFile(), u"");
  EXPECT_EQ(control_.getBaseURL(), u"C:\\e\\");
  EXPECT_TRUE(desktop_->ScriptDone());
  EXPECT_EQ(OfferedNames(Kind::kOpen),
            (std::vector<std::u16string>{u"", u"C:\\d\\a.htm", u"C:\\e\\b.htm", u""}));
}

TEST(BaseFolderTest, KeepsEverythingUpToTheLastBackslash) {
  EXPECT_EQ(FolderWithTrailingBackslash(u"\\\\srv\\share\\a.htm"), u"\\\\srv\\share\\");
  EXPECT_EQ(FolderWithTrailingBackslash(u"a.htm"), u"");
}

}  // namespace
}  // namespace corabind
