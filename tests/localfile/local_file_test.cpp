#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <set>
#include <vector>

#include "control/dispatch.h"
#include "control/failure.h"
#include "control/orvane_control.h"
#include "localfile/base_folder.h"
#include "support/headless_fixture.h"

namespace corabind {
namespace {

namespace fs = std::filesystem;
using testing::HeadlessTest;
using testing::ReadBytes;
using testing::WriteBytes;

constexpr char16_t kHtmlFilter[] = u"HTML Document(*.htm;*.html)|*.htm;*.html|All Files(*.*)|*.*";

FileScript SaveAs(std::string host_path, bool overwrite = true) {
  return FileScript{FileScript::Kind::kSave, false, std::move(host_path), overwrite};
}
FileScript Open(std::string host_path) {
  return FileScript{FileScript::Kind::kOpen, false, std::move(host_path), true};
}
FileScript Cancel(FileScript::Kind kind) {
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
  std::vector<FileDialogEvent> FileDialogs() const {
    std::vector<FileDialogEvent> out;
    for (const auto& e : desktop_->events()) {
      if (const auto* d = std::get_if<FileDialogEvent>(&e)) out.push_back(*d);
    }
    return out;
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
  };
  const std::vector<Case> cases = {
      {"plain save", SaveAs(Host("out.htm")), u"x.htm", kFalse, "abc\r\n", "old"},
      {"name and flag are not used", SaveAs(Host("out.htm")), u"C:\\old.htm", kTrue, "abc\r\n",
       "old"},
      {"cancelled", Cancel(FileScript::Kind::kSave), u"x.htm", kFalse, std::nullopt, "old"},
      {"overwrite declined", SaveAs(Host("old.htm"), false), u"", kFalse, std::nullopt, "old"},
      {"overwrite confirmed", SaveAs(Host("old.htm"), true), u"", kFalse, std::nullopt, "abc\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(Host("out.htm"));
    WriteBytes(Host("old.htm"), "old");
    control_.file_dialog().file_name = u"C:\\left\\over.htm";
    desktop_->ClearEvents();
    desktop_->Push(c.choice);
    EXPECT_TRUE(control_.SaveToLocal(u"abc", c.filename, c.saveas).IsEmpty());
    EXPECT_TRUE(desktop_->ScriptDone());
    EXPECT_EQ(Bytes("out.htm"), c.out);
    EXPECT_EQ(Bytes("old.htm"), c.old);
    const auto dialogs = FileDialogs();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].kind, FileScript::Kind::kSave);
    EXPECT_EQ(dialogs[0].title, u"Save As");
    EXPECT_EQ(dialogs[0].filter, kHtmlFilter);
    EXPECT_EQ(dialogs[0].flags, 2);
    EXPECT_EQ(dialogs[0].file_name, u"");
  }
}

TEST_F(LocalFileTest, AFailedSaveKeepsTheOldFileAndReachesThePage) {
  DiskCalls disk_full = DiskCalls::System();
  disk_full.write = [](int fd, const void* data, std::size_t size) -> ssize_t {
    if (size > 4) return ::write(fd, data, size / 2);
    errno = ENOSPC;
    return -1;
  };
  struct Case {
    const char* name;
    std::string code_set;
    DiskCalls calls;
    std::u16string source;
    std::int32_t number;
  };
  const std::vector<Case> cases = {
      {"disk full half-way", "UTF-8", disk_full, u"<p>a new page that is long</p>", err::kDiskFull},
      {"character the code set lacks", "ISO-8859-1", DiskCalls::System(), u"caf\u00e9 \ud55c",
       err::kInvalidCall},
  };
  const std::string old = "<p>old\r\npage</p>\r\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UseFiles(std::make_shared<PosixFileSystem>(paths_, c.code_set, c.calls));
    WriteBytes(Host("page.htm"), old);
    desktop_->Push(SaveAs(Host("page.htm")));
    try {
      control_.SaveToLocal(c.source, u"", kFalse);
      ADD_FAILURE() << "the failed write was reported as success";
    } catch (const Failure& f) {
      EXPECT_EQ(f.number(), c.number);
    }
    EXPECT_EQ(ReadBytes(Host("page.htm")), old);
    EXPECT_EQ(folder_.Names(), std::set<std::string>{"page.htm"});
  }
}

TEST_F(LocalFileTest, OpenReturnsEveryLineWithCrLf) {
  struct Case {
    const char* name;
    std::string content;
    std::u16string expected;
  };
  const std::vector<Case> cases = {
      {"lone LF stays inside", "a\nb", u"a\nb\r\n"},
      {"CR LF, no final line end", "a\r\nb", u"a\r\nb\r\n"},
      {"CR only", "a\rb\r", u"a\r\nb\r\n"},
      {"blank lines kept", "a\r\n\r\nb\r\n", u"a\r\n\r\nb\r\n"},
      {"empty file", "", u""},
  };
  fs::create_directories(Host("mail/in"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(Host("mail/in/a.htm"), c.content);
    control_.set_baseURL(u"before");
    desktop_->ClearEvents();
    desktop_->Push(Open(Host("mail/in/a.htm")));
    EXPECT_EQ(control_.GetLocalHTMLFile(), c.expected);
    EXPECT_EQ(control_.getBaseURL(), u"C:\\mail\\in\\");
    EXPECT_TRUE(desktop_->MessageBoxes().empty());
  }
}

TEST_F(LocalFileTest, OpenThatReadsNothingKeepsTheBase) {
  WriteBytes(Host("a.htm"), "text");
  fs::create_directory(Host("folder.htm"));
  struct Case {
    const char* name;
    FileScript choice;
    bool unreadable;
    std::vector<std::u16string> messages;
  };
  const std::vector<Case> cases = {
      {"cancelled on a fresh control", Cancel(FileScript::Kind::kOpen), false, {}},
      {"missing file", Open(Host("gone.htm")), false, {u"File doesnot exit."}},
      {"a folder is no file", Open(Host("folder.htm")), false, {u"File doesnot exit."}},
      {"read failure", Open(Host("a.htm")), true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.unreadable) UseFiles(std::make_shared<UnreadableFiles>(paths_, "UTF-8"));
    control_.file_dialog().file_name.clear();
    control_.set_baseURL(u"before");
    desktop_->ClearEvents();
    desktop_->Push(c.choice);
    EXPECT_EQ(control_.GetLocalHTMLFile(), u"");
    EXPECT_EQ(control_.getBaseURL(), u"before");
    EXPECT_EQ(desktop_->MessageBoxes(), c.messages);
  }
}

TEST_F(LocalFileTest, OpenStartsFromTheLastChosenName) {
  fs::create_directories(Host("d"));
  fs::create_directories(Host("e"));
  WriteBytes(Host("d/a.htm"), "one");
  desktop_->Push({Open(Host("d/a.htm")), Cancel(FileScript::Kind::kOpen), SaveAs(Host("e/b.htm")),
                  Cancel(FileScript::Kind::kOpen), Cancel(FileScript::Kind::kSave),
                  Cancel(FileScript::Kind::kOpen)});
  EXPECT_EQ(control_.GetLocalHTMLFile(), u"one\r\n");
  control_.set_baseURL(u"base");
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

  std::vector<std::u16string> open_names;
  for (const auto& d : FileDialogs()) {
    if (d.kind != FileScript::Kind::kOpen) continue;
    EXPECT_EQ(d.title, u"Open file");
    EXPECT_EQ(d.filter, kHtmlFilter);
    EXPECT_EQ(d.flags, 0);
    open_names.push_back(d.file_name);
  }
  EXPECT_EQ(open_names, (std::vector<std::u16string>{u"", u"C:\\d\\a.htm", u"C:\\e\\b.htm", u""}));
}

TEST_F(LocalFileTest, ScriptsReachBothMethodsByName) {
  desktop_->Push({SaveAs(Host("s.htm")), Cancel(FileScript::Kind::kOpen)});
  std::vector<Variant> args = {Variant(u"abc"), Variant(u"x.htm"), Variant::Boolean(false)};
  EXPECT_TRUE(Invoke(control_, u"savetolocal", InvokeKind::kMethod, args).IsEmpty());
  std::vector<Variant> none;
  EXPECT_EQ(Invoke(control_, u"GetLocalHTMLFile", InvokeKind::kMethod, none).ToText(), u"abc\r\n");
  EXPECT_EQ(Invoke(control_, u"getBaseURL", InvokeKind::kMethod, none).ToText(), u"C:\\");
}

TEST(BaseFolderTest, KeepsEverythingUpToTheLastBackslash) {
  const std::vector<std::pair<std::u16string, std::u16string>> cases = {
      {u"C:\\mail\\in\\a.htm", u"C:\\mail\\in\\"},
      {u"\\\\srv\\share\\a.htm", u"\\\\srv\\share\\"},
      {u"C:\\a.htm", u"C:\\"},
      {u"a.htm", u""},
  };
  for (const auto& [path, folder] : cases) EXPECT_EQ(FolderWithTrailingBackslash(path), folder);
}

}  // namespace
}  // namespace corabind
