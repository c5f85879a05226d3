#include <gtest/gtest.h>

#include <vector>

#include "control/orvane_control.h"
#include "flash/flash_dialog.h"
#include "support/headless_fixture.h"

namespace corabind {
namespace {

using testing::HeadlessTest;
using testing::WriteBytes;

constexpr char16_t kMovie[] = u"C:\\m\\a.swf";

// The fixed pieces of the markup, written out independently of the builder.
const std::u16string kObjectStart =
    u"<OBJECT codeBase=\"http://download.macromedia.com/pub/shockwave/cabs/flash/"
    u"swflash.cab#version=4,0,2,0\" classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\" ";
const std::u16string kPluginPage =
    u"\" pluginspage=\"http://www.macromedia.com/shockwave/download/"
    u"index.cgi?P1_Prod_Version=ShockwaveFlash\" type=\"application/x-shockwave-flash\"";

UiStep Type(std::u16string control, std::u16string text) {
  return {UiStep::Kind::kType, std::move(control), std::move(text)};
}
UiStep Check(std::u16string control, int value) {
  return {UiStep::Kind::kCheck, std::move(control), {}, value};
}
UiStep Click(std::u16string control) {
  return {UiStep::Kind::kClick, std::move(control), {}, 0};
}
UiStep CloseFrame() {
  return {UiStep::Kind::kClose, {}, {}, 0};
}

class LoadFlashTagTest : public HeadlessTest {
 protected:
  LoadFlashTagTest() {
    std::filesystem::create_directory(folder_.path() / "m");
    WriteBytes(folder_.path() / "m" / "a.swf", "FWS");
  }
  std::u16string Run(std::vector<UiStep> steps) {
    desktop_->Push(FormScript{u"Form1", std::move(steps)});
    std::u16string result = control_.LoadFlashTag();
    EXPECT_TRUE(desktop_->ScriptDone());
    return result;
  }

  OrvaneControl control_{library_};
};

TEST_F(LoadFlashTagTest, BuildsTheMarkupFromTheDialog) {
  struct Case {
    const char* name;
    std::vector<UiStep> steps;
    std::u16string expected;
    std::vector<std::u16string> messages;
  };
  const std::vector<Case> cases = {
      {"defaults",
       {Type(u"Text1", kMovie), Click(u"Command2")},
       kObjectStart +
           u">\r\n<PARAM NAME=\"Movie\" VALUE=\"C:\\m\\a.swf\">\r\n"
           u"<PARAM NAME=\"Loop\" VALUE=\"true\">\r\n"
           u"<PARAM NAME=\"Play\" VALUE=\"true\">\r\n"
           u"<PARAM NAME=\"Quality\" VALUE=\"high\">\r\n"
           u"<embed src=\"C:\\m\\a.swf\" quality=\"high" +
           kPluginPage + u"></embed></object>",
       {}},
      {"width only",
       {Type(u"Text1", kMovie), Type(u"Cwidth", u"400"), Click(u"Command2")},
       kObjectStart +
           u" width=\"400\">\r\n<PARAM NAME=\"Movie\" VALUE=\"C:\\m\\a.swf\">\r\n"
           u"<PARAM NAME=\"Loop\" VALUE=\"true\">\r\n"
           u"<PARAM NAME=\"Play\" VALUE=\"true\">\r\n"
           u"<PARAM NAME=\"Quality\" VALUE=\"high\">\r\n"
           u"<embed src=\"C:\\m\\a.swf\" quality=\"high" +
           kPluginPage + u" width=\"400\"></embed></object>",
       {}},
      {"height only, blanks kept",
       {Type(u"Text1", kMovie), Type(u"Cheight", u" 30 "), Click(u"Command2")},
       kObjectStart +
           u" height=\" 30 \">\r\n<PARAM NAME=\"Movie\" VALUE=\"C:\\m\\a.swf\">\r\n"
           u"<PARAM NAME=\"Loop\" VALUE=\"true\">\r\n"
           u"<PARAM NAME=\"Play\" VALUE=\"true\">\r\n"
           u"<PARAM NAME=\"Quality\" VALUE=\"high\">\r\n"
           u"<embed src=\"C:\\m\\a.swf\" quality=\"high" +
           kPluginPage + u" height=\" 30 \"></embed></object>",
       {}},
      {"loop off",
       {Type(u"Text1", kMovie), Check(u"Cloop", 0), Click(u"Command2")},
       kObjectStart +
           u">\r\n<PARAM NAME=\"Movie\" VALUE=\"C:\\m\\a.swf\">\r\n"
           u"<PARAM NAME=\"Loop\" VALUE=\"false\">\r\n"
           u"<PARAM NAME=\"Play\" VALUE=\"true\">\r\n"
           u"<PARAM NAME=\"Quality\" VALUE=\"high\">\r\n"
           u"<embed src=\"C:\\m\\a.swf\" quality=\"high" +
           kPluginPage + u" loop=\"false\"></embed></object>",
       {}},
      {"auto play off",
       {Type(u"Text1", kMovie), Check(u"Cautoplay", 0), Click(u"Command2")},
       kObjectStart +
           u">\r\n<PARAM NAME=\"Movie\" VALUE=\"C:\\m\\a.swf\">\r\n"
           u"<PARAM NAME=\"Loop\" VALUE=\"true\">\r\n"
           u"<PARAM NAME=\"Play\" VALUE=\"false\">\r\n"
           u"<PARAM NAME=\"Quality\" VALUE=\"high\">\r\n"
           u"<embed src=\"C:\\m\\a.swf\" quality=\"high" +
           kPluginPage + u" play=\"false\"></embed></object>",
       {}},
      {"both off, size given",
       {Type(u"Text1", kMovie), Check(u"Cloop", 0), Check(u"Cautoplay", 0), Type(u"Cwidth", u"400"),
        Type(u"Cheight", u"300"), Click(u"Command2")},
       kObjectStart +
           u" width=\"400\" height=\"300\">\r\n"
           u"<PARAM NAME=\"Movie\" VALUE=\"C:\\m\\a.swf\">\r\n"
           u"<PARAM NAME=\"Loop\" VALUE=\"false\">\r\n"
           u"<PARAM NAME=\"Play\" VALUE=\"false\">\r\n"
           u"<PARAM NAME=\"Quality\" VALUE=\"high\">\r\n"
           u"<embed src=\"C:\\m\\a.swf\" quality=\"high" +
           kPluginPage +
           u" width=\"400\" height=\"300\" loop=\"false\" play=\"false\"></embed></object>",
       {}},
      {"typed quality",
       {Type(u"Text1", kMovie), Type(u"Cqulity", u"medium"), Click(u"Command2")},
       kObjectStart +
           u">\r\n<PARAM NAME=\"Movie\" VALUE=\"C:\\m\\a.swf\">\r\n"
           u"<PARAM NAME=\"Loop\" VALUE=\"true\">\r\n"
           u"<PARAM NAME=\"Play\" VALUE=\"true\">\r\n"
           u"<PARAM NAME=\"Quality\" VALUE=\"medium\">\r\n"
           u"<embed src=\"C:\\m\\a.swf\" quality=\"medium" +
           kPluginPage + u"></embed></object>",
       {}},
      {"quotes escaped, nothing else",
       {Type(u"Text1", u"C:\\m\\a\"b&c<.swf"), Type(u"Cqulity", u"hi\"gh"),
        Type(u"Cwidth", u"4\"0"), Type(u"Cheight", u"\"&amp;"), Click(u"Command2")},
       kObjectStart +
           u" width=\"4&quot;0\" height=\"&quot;&amp;\">\r\n"
           u"<PARAM NAME=\"Movie\" VALUE=\"C:\\m\\a&quot;b&c<.swf\">\r\n"
           u"<PARAM NAME=\"Loop\" VALUE=\"true\">\r\n"
           u"<PARAM NAME=\"Play\" VALUE=\"true\">\r\n"
           u"<PARAM NAME=\"Quality\" VALUE=\"hi&quot;gh\">\r\n"
           u"<embed src=\"C:\\m\\a&quot;b&c<.swf\" quality=\"hi&quot;gh" +
           kPluginPage + u" width=\"4&quot;0\" height=\"&quot;&amp;\"></embed></object>",
       {u"Not found such file"}},
      {"missing file still builds",
       {Type(u"Text1", u"C:\\m\\gone.swf"), Click(u"Command2")},
       kObjectStart +
           u">\r\n<PARAM NAME=\"Movie\" VALUE=\"C:\\m\\gone.swf\">\r\n"
           u"<PARAM NAME=\"Loop\" VALUE=\"true\">\r\n"
           u"<PARAM NAME=\"Play\" VALUE=\"true\">\r\n"
           u"<PARAM NAME=\"Quality\" VALUE=\"high\">\r\n"
           u"<embed src=\"C:\\m\\gone.swf\" quality=\"high" +
           kPluginPage + u"></embed></object>",
       {u"Not found such file"}},
      {"empty path", {Click(u"Command2")}, u"", {u"Not found such file"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    desktop_->ClearEvents();
    library_.state().FlashTagResult = u"earlier";
    EXPECT_EQ(Run(c.steps), c.expected);
    EXPECT_EQ(library_.state().FlashTagResult, c.expected);
    EXPECT_EQ(desktop_->MessageBoxes(), c.messages);
  }
}

TEST_F(LoadFlashTagTest, LeavingWithoutOkReturnsTheLatestResult) {
  EXPECT_EQ(Run({Click(u"Command3")}), u"");
  const std::u16string first = Run({Type(u"Text1", kMovie), Click(u"Command2")});
  ASSERT_NE(first, u"");
  EXPECT_EQ(Run({Type(u"Text1", u"C:\\m\\other.swf"), Click(u"Command3")}), first);
  EXPECT_EQ(Run({Type(u"Text1", u"C:\\m\\other.swf"), CloseFrame()}), first);
  EXPECT_TRUE(desktop_->MessageBoxes().empty());
}

TEST_F(LoadFlashTagTest, EveryShowingStartsFromTheDefaults) {
  Run({Type(u"Text1", kMovie), Type(u"Cqulity", u"low"), Check(u"Cloop", 0), Type(u"Cwidth", u"1"),
       Click(u"Command2")});
  Run({Click(u"Command3")});
  const std::vector<LoadedControl> expected = {
      {u"Text1", std::u16string()},  {u"Cqulity", std::u16string(u"high")},
      {u"Cloop", std::int64_t{1}},   {u"Cautoplay", std::int64_t{1}},
      {u"Cwidth", std::u16string()}, {u"Cheight", std::u16string()}};
  const auto& loaded = desktop_->LastShown(u"Form1").loaded;
  ASSERT_EQ(loaded.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(loaded[i].name, expected[i].name);
    EXPECT_EQ(loaded[i].value, expected[i].value);
  }
  EXPECT_EQ(library_.Dialog<Form1>().initial_focus(), u"Text1");
}

TEST_F(LoadFlashTagTest, SearchUsesTheDialogsOwnFileDialog) {
  const std::u16string filter = u"Flash Files(*.swf)|*.swf|All Files(*.*)|*.*";
  // Pick a file, then search again and cancel: the path stays.
  desktop_->Push(
      FormScript{u"Form1", {Click(u"Command1"), Click(u"Command1"), Click(u"Command2")}});
  desktop_->Push(FileScript{FileScript::Kind::kOpen, false, Host("m/a.swf"), true});
  desktop_->Push(FileScript{FileScript::Kind::kOpen, true, {}, true});
  EXPECT_NE(control_.LoadFlashTag().find(u"VALUE=\"C:\\m\\a.swf\""), std::u16string::npos);
  // A new showing has a new file dialog; a cancelled search keeps the typed path.
  control_.file_dialog().file_name = u"C:\\control.htm";
  desktop_->Push(
      FormScript{u"Form1", {Type(u"Text1", u"typed"), Click(u"Command1"), Click(u"Command2")}});
  desktop_->Push(FileScript{FileScript::Kind::kOpen, true, {}, true});
  EXPECT_NE(control_.LoadFlashTag().find(u"VALUE=\"typed\""), std::u16string::npos);
  EXPECT_TRUE(desktop_->ScriptDone());

  std::vector<std::u16string> offered_names;
  for (const auto& e : desktop_->events()) {
    if (const auto* d = std::get_if<FileDialogEvent>(&e)) {
      EXPECT_EQ(d->kind, FileScript::Kind::kOpen);
      EXPECT_EQ(d->title, u"File Open");
      EXPECT_EQ(d->filter, filter);
      EXPECT_EQ(d->flags, 0);
      offered_names.push_back(d->file_name);
    }
  }
  EXPECT_EQ(offered_names, (std::vector<std::u16string>{u"", u"C:\\m\\a.swf", u""}));
  EXPECT_EQ(control_.file_dialog().file_name, u"C:\\control.htm");
}

}  // namespace
}  // namespace corabind
