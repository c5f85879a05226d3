#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "control/dispatch.h"
#include "control/failure.h"
#include "control/orvane_control.h"
#include "localfile/base_folder.h"
#include "support/headless_fixture.h"
#include "support/in_memory_files.h"

namespace corabind {
namespace {

using testing::HeadlessTest;
using testing::InMemoryFiles;

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

class LocalFileTest : public HeadlessTest {
 protected:
  LocalFileTest() { UseFiles(files_); }

  std::vector<FileDialogEvent> FileDialogs() const {
    std::vector<FileDialogEvent> out;
    for (const auto& e : desktop_->events()) {
      if (const auto* d = std::get_if<FileDialogEvent>(&e)) out.push_back(*d);
    }
    return out;
  }

  std::shared_ptr<InMemoryFiles> files_ = std::make_shared<InMemoryFiles>();
  OrvaneControl control_{library_};
};

TEST_F(LocalFileTest, SaveWritesTheSourceWhereTheUserChose) {
  // The host file exists so that the save dialog asks before overwriting.
  std::ofstream(Host("old.htm")) << "x";
  files_->files[u"C:\\old.htm"] = u"old";
  struct Case {
    const char* name;
    FileScript choice;
    std::u16string filename;
    VariantBool saveas;
    std::map<std::u16string, std::u16string> expected_files;
  };
  const std::vector<Case> cases = {
      {"plain save",
       SaveAs(Host("t/out.htm")),
       u"x.htm",
       kFalse,
       {{u"C:\\old.htm", u"old"}, {u"C:\\t\\out.htm", u"abc\r\n"}}},
      {"name and flag are not used",
       SaveAs(Host("t/out.htm")),
       u"C:\\elsewhere.htm",
       kTrue,
       {{u"C:\\old.htm", u"old"}, {u"C:\\t\\out.htm", u"abc\r\n"}}},
      {"cancelled", Cancel(FileScript::Kind::kSave), u"x.htm", kFalse, {{u"C:\\old.htm", u"old"}}},
      {"overwrite declined",
       SaveAs(Host("old.htm"), false),
       u"",
       kFalse,
       {{u"C:\\old.htm", u"old"}}},
      {"overwrite confirmed",
       SaveAs(Host("old.htm"), true),
       u"",
       kFalse,
       {{u"C:\\old.htm", u"abc\r\n"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    files_->files = {{u"C:\\old.htm", u"old"}};
    control_.file_dialog().file_name = u"C:\\left\\over.htm";
    desktop_->ClearEvents();
    desktop_->Push(c.choice);
    EXPECT_TRUE(control_.SaveToLocal(u"abc", c.filename, c.saveas).IsEmpty());
    EXPECT_TRUE(desktop_->ScriptDone());
    EXPECT_EQ(files_->files, c.expected_files);
    const auto dialogs = FileDialogs();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].kind, FileScript::Kind::kSave);
    EXPECT_EQ(dialogs[0].title, u"Save As");
    EXPECT_EQ(dialogs[0].filter, kHtmlFilter);
    EXPECT_EQ(dialogs[0].flags, 2);
    EXPECT_EQ(dialogs[0].file_name, u"");
  }
}

TEST_F(LocalFileTest, AFailedSaveReachesThePage) {
  files_->fail_writes = true;
  desktop_->Push(SaveAs(Host("out.htm")));
  try {
    control_.SaveToLocal(u"abc", u"", kFalse);
    ADD_FAILURE() << "the failed write was reported as success";
  } catch (const Failure& f) {
    EXPECT_EQ(f.number(), err::kPermissionDenied);
  }
}

TEST_F(LocalFileTest, OpenReturnsEveryLineWithCrLf) {
  struct Case {
    const char* name;
    std::u16string content;
    std::u16string expected;
  };
  const std::vector<Case> cases = {
      {"lone LF stays inside", u"a\nb", u"a\nb\r\n"},
      {"CR LF, no final line end", u"a\r\nb", u"a\r\nb\r\n"},
      {"CR only", u"a\rb\r", u"a\r\nb\r\n"},
      {"blank lines kept", u"a\r\n\r\nb\r\n", u"a\r\n\r\nb\r\n"},
      {"empty file", u"", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    files_->files = {{u"C:\\mail\\in\\a.htm", c.content}};
    control_.set_baseURL(u"before");
    desktop_->ClearEvents();
    desktop_->Push(Open(Host("mail/in/a.htm")));
    EXPECT_EQ(control_.GetLocalHTMLFile(), c.expected);
    EXPECT_EQ(control_.getBaseURL(), u"C:\\mail\\in\\");
    EXPECT_TRUE(desktop_->MessageBoxes().empty());
  }
}

TEST_F(LocalFileTest, OpenThatReadsNothingKeepsTheBase) {
  files_->files = {{u"C:\\a.htm", u"text"}};
  struct Case {
    const char* name;
    FileScript choice;
    bool fail_reads;
    std::vector<std::u16string> messages;
  };
  const std::vector<Case> cases = {
      {"cancelled on a fresh control", Cancel(FileScript::Kind::kOpen), false, {}},
      {"missing file", Open(Host("gone.htm")), false, {u"File doesnot exit."}},
      {"read failure", Open(Host("a.htm")), true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    control_.file_dialog().file_name.clear();
    control_.set_baseURL(u"before");
    files_->fail_reads = c.fail_reads;
    desktop_->ClearEvents();
    desktop_->Push(c.choice);
    EXPECT_EQ(control_.GetLocalHTMLFile(), u"");
    EXPECT_EQ(control_.getBaseURL(), u"before");
    EXPECT_EQ(desktop_->MessageBoxes(), c.messages);
  }
}

TEST_F(LocalFileTest, OpenStartsFromTheLastChosenName) {
  files_->files = {{u"C:\\d\\a.htm", u"one"}};
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
      {u"C:\\dir\\", u"C:\\dir\\"},
  };
  for (const auto& [path, folder] : cases) EXPECT_EQ(FolderWithTrailingBackslash(path), folder);
}

}  // namespace
}  // namespace corabind
