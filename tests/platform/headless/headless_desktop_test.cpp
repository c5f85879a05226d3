#include "platform/headless/headless_desktop.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/failure.h"
#include "core/form.h"
#include "core/text.h"

namespace corabind {
namespace {

using S = UiStep;

// A small form with one of each widget: typing in Text1 doubles its text
// once (a change rule that settles), OK copies Text1 into `result`.
class SampleForm : public Form {
 public:
  SampleForm() : Form(u"SampleF", u"Sample", {200, 100}) {
    text_ = &Add<TextBox>(WidgetDesign{u"Text1", {0, 0, 50, 20}, u"", {}, 0, u""}, u"init");
    Add<Frame>(WidgetDesign{u"Frame1", {0, 30, 100, 50}, u"Kind", {}, -1, u""});
    Add<OptionButton>(WidgetDesign{u"Option1", {4, 4, 40, 16}, u"A", {}, 1, u"Frame1"}, true);
    Add<OptionButton>(WidgetDesign{u"Option2", {4, 24, 40, 16}, u"B", {}, 2, u"Frame1"}, false);
    Add<CheckBox>(WidgetDesign{u"Check1", {110, 30, 40, 16}, u"C", {}, 3, u""}, 1);
    list_ = &Add<ListBox>(WidgetDesign{u"List1", {110, 50, 80, 40}, u"", {}, 4, u""});
    auto& ok = Add<CommandButton>(WidgetDesign{u"Command1", {150, 0, 40, 20}, u"OK", {}, 5, u""});
    ok.on_click = [this] {
      result = text_->text();
      Unload();
    };
    text_->on_change = [this] {
      ++changes;
      if (text_->text().size() % 2 == 1) text_->SetText(text_->text() + text_->text());
    };
  }
  void Load() override {
    ++loads;
    list_->Append(u"one");
    list_->Append(u"two");
  }
  std::u16string result = u"unset";
  int loads = 0, changes = 0;

 private:
  TextBox* text_;
  ListBox* list_;
};

TEST(TextBoxTest, ChangeFiresOnlyForADifferentText) {
  TextBox box(WidgetDesign{u"T"}, u"a");
  int fired = 0;
  box.on_change = [&] { ++fired; };
  box.SetText(u"a");
  EXPECT_EQ(fired, 0);
  box.SetText(u"b");
  box.SetText(u"b");
  EXPECT_EQ(fired, 1);
  box.Reset();  // back to the design without a notification
  EXPECT_EQ(box.text(), u"a");
  EXPECT_EQ(fired, 1);
}

TEST(ListBoxTest, OperationsAtTheEdges) {
  ListBox list(WidgetDesign{u"L"});
  EXPECT_EQ(list.Line(-1), u"");
  EXPECT_EQ(list.Selected(), -1);
  list.Insert(0, u"b");
  list.Insert(0, u"a");
  list.Append(u"c");
  list.Insert(3, u"d");
  EXPECT_EQ(list.lines(), (std::vector<std::u16string>{u"a", u"b", u"c", u"d"}));
  list.Select(3);
  EXPECT_EQ(list.Line(list.Selected()), u"d");
  list.Remove(0);
  EXPECT_EQ(list.Selected(), -1) << "removing a line leaves none chosen";
  for (auto bad : {std::function<void()>([&] { list.Insert(5, u"x"); }),
                   std::function<void()>([&] { list.Insert(-1, u"x"); }),
                   std::function<void()>([&] { list.Remove(3); }),
                   std::function<void()>([&] { list.Select(3); }),
                   std::function<void()>([&] { list.Select(-2); })}) {
    EXPECT_THROW(bad(), Failure);
  }
  EXPECT_EQ(list.Count(), 3u);
}

class HeadlessDesktopTest : public ::testing::Test {
 protected:
  PathMap paths;
  HeadlessDesktop desktop{paths};
  SampleForm form;
};

TEST_F(HeadlessDesktopTest, EveryShowingStartsFromTheDesignAndRecordsLoadedValues) {
  desktop.Push(FormScript{u"SampleF",
                          {S::Type(u"Text1", u"abc"), S::Choose(u"Option2"), S::Check(u"Check1", 0),
                           S::Select(u"List1", 1), S::Click(u"Command1")}});
  desktop.ShowModal(form);
  EXPECT_EQ(form.result, u"abcabc") << "the change rule ran until the text settled";
  EXPECT_EQ(form.changes, 2);
  EXPECT_FALSE(form.is_open());

  desktop.Push(FormScript{u"SampleF", {S::Click(u"Command1")}});
  desktop.ShowModal(form);
  EXPECT_EQ(form.result, u"init");
  EXPECT_EQ(form.loads, 2);
  const FormEvent& shown = desktop.LastShown(u"SampleF");
  ASSERT_EQ(shown.loaded.size(), 5u);
  EXPECT_EQ(std::get<std::u16string>(shown.loaded[0].value), u"init");
  EXPECT_TRUE(std::get<bool>(shown.loaded[1].value));
  EXPECT_FALSE(std::get<bool>(shown.loaded[2].value));
  EXPECT_EQ(std::get<std::int64_t>(shown.loaded[3].value), 1);
  EXPECT_EQ(std::get<std::vector<std::u16string>>(shown.loaded[4].value),
            (std::vector<std::u16string>{u"one", u"two"}))
      << "lines of the first showing are gone";
  EXPECT_EQ(shown.loaded[4].selected, -1);
}

TEST_F(HeadlessDesktopTest, CloseFromTheFrameRunsNoHandler) {
  desktop.Push(FormScript{u"SampleF", {S::Type(u"Text1", u"xy"), S::Close()}});
  desktop.ShowModal(form);
  EXPECT_EQ(form.result, u"unset");
  EXPECT_FALSE(form.is_open());
}

TEST_F(HeadlessDesktopTest, ScriptsThatDoNotMatchWhatOpensAreClearFailures) {
  struct Case {
    std::vector<UiEntry> script;
    std::u16string expected;
  } cases[] = {
      {{}, u"UI script: the form SampleF opened, but the script has no entry left"},
      {{FormScript{u"OtherF", {}}},
       u"UI script: the form SampleF opened, but the script expected the form OtherF"},
      {{FileScript{}},
       u"UI script: the form SampleF opened, but the script expected an open file dialog"},
      {{FormScript{u"SampleF", {S::Type(u"Text9", u"x")}}},
       u"UI script: there is no text box Text9 of SampleF; it has Text1"},
      {{FormScript{u"SampleF", {S::Click(u"OK")}}},
       u"UI script: there is no button OK of SampleF; it has Command1 (OK)"},
      {{FormScript{u"SampleF", {S::Select(u"List1", 2)}}},
       u"UI script: the list box List1 of SampleF has no line 2"},
      {{FormScript{u"SampleF", {S::Check(u"Check1", -1)}}},
       u"UI script: the check box Check1 of SampleF takes 0 or 1"},
      {{FormScript{u"SampleF", {}}},
       u"UI script: the form SampleF is still open after its script ended"},
      {{FormScript{u"SampleF", {S::Click(u"Command1"), S::Click(u"Command1")}}},
       u"UI script: the form SampleF closed with 1 step(s) of its script left"},
  };
  for (auto& c : cases) {
    HeadlessDesktop d(paths);
    d.Push(std::move(c.script));
    try {
      d.ShowModal(form);
      ADD_FAILURE() << ToUtf8(c.expected);
    } catch (const Failure& f) {
      EXPECT_EQ(f.description(), c.expected);
      ASSERT_TRUE(d.script_error().has_value());
      EXPECT_FALSE(form.is_open());
    }
  }
}

TEST_F(HeadlessDesktopTest, FileDialogsHandBackControlPathsOrLeaveTheNameOnCancel) {
  const auto dir = std::filesystem::temp_directory_path() / "corabind headless ü";
  std::filesystem::create_directories(dir);
  const auto existing = dir / "a.htm";
  std::ofstream(existing) << "x";

  FileDialog dialog{u"keep", u"Open file", u"All|*.*", 0};
  desktop.Push({FileScript{FileScript::Kind::kOpen, true, {}, true},
                FileScript{FileScript::Kind::kOpen, false, existing.string(), true},
                FileScript{FileScript::Kind::kSave, false, existing.string(), false},
                FileScript{FileScript::Kind::kSave, false, (dir / "new.htm").string(), false}});
  desktop.ShowOpen(dialog);
  EXPECT_EQ(dialog.file_name, u"keep");
  desktop.ShowOpen(dialog);
  EXPECT_EQ(dialog.file_name, paths.ToControl(existing));
  dialog.file_name.clear();
  dialog.flags = FileDialog::kOverwritePrompt;
  desktop.ShowSave(dialog);
  EXPECT_EQ(dialog.file_name, u"") << "declining the overwrite question chooses nothing";
  desktop.ShowSave(dialog);
  EXPECT_EQ(dialog.file_name, paths.ToControl(dir / "new.htm"));
  ASSERT_EQ(desktop.events().size(), 4u);
  const auto& first = std::get<FileDialogEvent>(desktop.events()[0]);
  EXPECT_EQ(first.title, u"Open file");
  EXPECT_EQ(first.file_name, u"keep");
  EXPECT_THROW(desktop.ShowOpen(dialog), Failure);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace corabind
