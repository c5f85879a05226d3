#include <gtest/gtest.h>

#include <vector>

#include "control/orvane_control.h"
#include "flash/flash_dialog.h"
#include "support/headless_fixture.h"

namespace corabind {
namespace {

using S = UiStep;

using testing::HeadlessTest;
using testing::WriteBytes;

constexpr char16_t kMovie[] = u"C:\\m\\a.swf";

// The markup for kMovie with every option left alone, written out
// independently of the builder; the cases below are small edits of it.
const std::u16string kDefaultMarkup =
    u"<OBJECT codeBase=\"http://download.macromedia.com/pub/shockwave/cabs/flash/"
    u"swflash.cab#version=4,0,2,0\" classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\" >\r\n"
    u"<PARAM NAME=\"Movie\" VALUE=\"C:\\m\\a.swf\">\r\n"
    u"<PARAM NAME=\"Loop\" VALUE=\"true\">\r\n"
    u"<PARAM NAME=\"Play\" VALUE=\"true\">\r\n"
    u"<PARAM NAME=\"Quality\" VALUE=\"high\">\r\n"
    u"<embed src=\"C:\\m\\a.swf\" quality=\"high\" pluginspage=\"http://www.macromedia.com/"
    u"shockwave/download/index.cgi?P1_Prod_Version=ShockwaveFlash\" "
    u"type=\"application/x-shockwave-flash\"></embed></object>";

using Edits = std::vector<std::pair<std::u16string, std::u16string>>;

// Replaces every occurrence of each edit's first text by its second.
std::u16string Edited(std::u16string s, const Edits& edits) {
  for (const auto& [from, to] : edits) {
    for (auto at = s.find(from); at != s.npos; at = s.find(from, at + to.size()))
      s.replace(at, from.size(), to);
  }
  return s;
}

// Extra attributes at the end of the object tag and of the embed tag.
std::pair<std::u16string, std::u16string> OnObject(const std::u16string& attributes) {
  return {u"0000\" >", u"0000\" " + attributes + u">"};
}
std::pair<std::u16string, std::u16string> OnEmbed(const std::u16string& attributes) {
  return {u"\"></embed>", u"\"" + attributes + u"></embed>"};
}

const UiStep kOk = S::Click(u"Command2");

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
  const UiStep movie = S::Type(u"Text1", kMovie), ok = kOk;
  const UiStep loop_off = S::Check(u"Cloop", 0), play_off = S::Check(u"Cautoplay", 0);
  const std::vector<std::u16string> not_found = {u"Not found such file"};
  struct Case {
    const char* name;
    std::vector<UiStep> steps;
    Edits edits;
    std::vector<std::u16string> messages;
  };
  const std::u16string sizes = u" width=\"400\" height=\" 30 \"";
  const std::u16string odd = u" width=\"4&quot;0\" height=\"&quot;&amp;\"";
  const std::vector<Case> cases = {
      {"defaults", {movie, ok}, {}, {}},
      {"both off, sizes with blanks kept",
       {movie, loop_off, play_off, S::Type(u"Cwidth", u"400"), S::Type(u"Cheight", u" 30 "), ok},
       {{u"VALUE=\"true", u"VALUE=\"false"},
        OnObject(sizes),
        OnEmbed(sizes + u" loop=\"false\" play=\"false\"")},
       {}},
      {"typed quality", {movie, S::Type(u"Cqulity", u"medium"), ok}, {{u"high", u"medium"}}, {}},
      {"quotes escaped, nothing else",
       {S::Type(u"Text1", u"C:\\m\\a\"b&c<.swf"), S::Type(u"Cqulity", u"hi\"gh"),
        S::Type(u"Cwidth", u"4\"0"), S::Type(u"Cheight", u"\"&amp;"), ok},
       {{u"a.swf", u"a&quot;b&c<.swf"}, {u"high", u"hi&quot;gh"}, OnObject(odd), OnEmbed(odd)},
       not_found},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    desktop_->ClearEvents();
    library_.state().FlashTagResult = u"earlier";
    const std::u16string expected = Edited(kDefaultMarkup, c.edits);
    EXPECT_EQ(Run(c.steps), expected);
    EXPECT_EQ(library_.state().FlashTagResult, expected);
    EXPECT_EQ(desktop_->MessageBoxes(), c.messages);
  }
  desktop_->ClearEvents();
  EXPECT_EQ(Run({ok}), u"") << "an empty path builds nothing";
  EXPECT_EQ(desktop_->MessageBoxes(), not_found);
}

TEST_F(LoadFlashTagTest, LeavingWithoutOkKeepsTheLatestResultAndTheNextShowingStartsFresh) {
  const UiStep cancel = S::Click(u"Command3"), other = S::Type(u"Text1", u"C:\\m\\b.swf");
  EXPECT_EQ(Run({cancel}), u"");
  const std::u16string first =
      Run({S::Type(u"Text1", kMovie), S::Type(u"Cqulity", u"low"), S::Check(u"Cloop", 0),
           S::Check(u"Cautoplay", 0), S::Type(u"Cwidth", u"1"), S::Type(u"Cheight", u"2"), kOk});
  ASSERT_NE(first, u"");
  EXPECT_EQ(Run({other, cancel}), first);
  EXPECT_EQ(Run({other, S::Close()}), first);
  EXPECT_TRUE(desktop_->MessageBoxes().empty());
  EXPECT_EQ(Run({S::Type(u"Text1", kMovie), kOk}), kDefaultMarkup);
}

TEST_F(LoadFlashTagTest, SearchUsesTheDialogsOwnFileDialog) {
  const auto search = S::Click(u"Command1"), ok = kOk;
  const FileScript cancel{FileScript::Kind::kOpen, true, {}, true};
  // Pick a file, then search again and cancel: the path stays.
  desktop_->Push(FormScript{u"Form1", {search, search, ok}});
  desktop_->Push({FileScript{FileScript::Kind::kOpen, false, Host("m/a.swf"), true}, cancel});
  EXPECT_NE(control_.LoadFlashTag().find(u"VALUE=\"C:\\m\\a.swf\""), std::u16string::npos);
  // A new showing has a new file dialog; a cancelled search keeps the typed path.
  control_.data().file_dialog().file_name = u"C:\\control.htm";
  desktop_->Push(FormScript{u"Form1", {S::Type(u"Text1", u"typed"), search, ok}});
  desktop_->Push(cancel);
  EXPECT_NE(control_.LoadFlashTag().find(u"VALUE=\"typed\""), std::u16string::npos);
  EXPECT_TRUE(desktop_->ScriptDone());

  std::vector<std::u16string> offered_names;
  for (const auto& e : desktop_->events()) {
    if (const auto* d = std::get_if<FileDialogEvent>(&e)) {
      EXPECT_EQ(d->title, u"File Open");
      EXPECT_EQ(d->filter, u"Flash Files(*.swf)|*.swf|All Files(*.*)|*.*");
      EXPECT_EQ(d->flags, 0);
      offered_names.push_back(d->file_name);
    }
  }
  EXPECT_EQ(offered_names, (std::vector<std::u16string>{u"", u"C:\\m\\a.swf", u""}));
  EXPECT_EQ(control_.data().file_dialog().file_name, u"C:\\control.htm");
}

}  // namespace
}  // namespace corabind
