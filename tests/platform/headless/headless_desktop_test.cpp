#include "platform/headless/headless_desktop.h"

#include <gtest/gtest.h>

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

class HeadlessDesktopTest : public ::testing::Test {
 protected:
  PathMap paths;
  HeadlessDesktop desktop{paths};
  SampleForm form;
};

TEST_F(HeadlessDesktopTest, EveryShowingStartsFromTheDesignAndRecordsLoadedValues) {
  desktop.Push(
      FormScript{u"SampleF",
                 {S::Type(u"Text1", u"abc"), S::Choose(u"Option2"), S::Check(u"Check1", 0),
                  S::Select(u"List1", 1), S::Type(u"Text1", u"abcabc"), S::Click(u"Command1")}});
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
  EXPECT_EQ(std::get<std::vector<std::u16string>>(shown.loaded[4].value),
            (std::vector<std::u16string>{u"one", u"two"}))
      << "lines of the first showing are gone";
  EXPECT_EQ(shown.loaded[4].selected, -1);
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

}  // namespace
}  // namespace corabind
