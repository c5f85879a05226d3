// The renderer on a sample form: widgets follow the form's layout data and
// stay bound to their models. Every real dialog is driven in dialogs_test.
#include "platform/qt/form_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>

#include "core/failure.h"
#include "core/form.h"
#include "core/text.h"
#include "platform/qt/fonts.h"
#include "platform/qt/qt_desktop.h"
#include "qt_test_support.h"

namespace corabind::qt {
namespace {

using namespace corabind::qt::testing;

WidgetDesign D(std::u16string name, Box box, std::u16string caption = {}, int tab = -1,
               std::u16string container = {}, Font font = {}) {
  return WidgetDesign{std::move(name), box, std::move(caption),
                      std::move(font), tab, std::move(container)};
}

// Every widget kind, with tab indexes out of list order, a numeric field
// (leading digits kept, nothing gives 0), an OK that fails on "boom", and
// Enter and Escape bound to OK and Cancel.
class SampleForm : public Form {
 public:
  explicit SampleForm(std::u16string& result)
      : Form(u"SampleF", u"Sample Setting", {365, 260}, {u"Dotum", 9.75}), result_(result) {
    Add<Label>(D(u"Label1", {4, 20, 60, 27}, u"Max     Length : "));
    auto& name = Add<TextBox>(D(u"Text1", {68, 16, 285, 25}, {}, 0, {}, {u"Gulim", 9.75}));
    auto& size = Add<TextBox>(D(u"Text3", {68, 92, 73, 25}, {}, 1));
    Add<Frame>(D(u"Frame1", {152, 88, 109, 73}, u"Type"));
    Add<OptionButton>(D(u"Option1", {16, 16, 81, 25}, u"Text", 2, u"Frame1"), true);
    Add<OptionButton>(D(u"Option2", {16, 40, 81, 25}, u"Password", 3, u"Frame1"), false);
    Add<CheckBox>(D(u"Check1", {4, 170, 89, 25}, u"Loop", 4), 1);
    Add<ComboBox>(D(u"Combo1", {100, 170, 80, 25}, {}, 5), u"high",
                  std::vector<std::u16string>{u"high", u"low"});
    list_ = &Add<ListBox>(D(u"List1", {190, 170, 160, 60}, {}, 6));
    Add<TextBox>(D(u"Text2", {4, 200, 180, 50}, {}, 9), u"", true);
    auto& ok = Add<CommandButton>(D(u"Command1", {276, 96, 80, 27}, u"OK", 8));
    auto& cancel = Add<CommandButton>(D(u"Command2", {276, 132, 80, 27}, u"Cancel", 7));
    set_initial_focus(u"Text1");
    set_key_buttons(u"Command1", u"Command2");
    size.on_change = [&size] {
      std::u16string digits;
      for (char16_t c : size.text()) {
        if (c < u'0' || c > u'9') break;
        digits += c;
      }
      size.SetText(digits.empty() ? u"0" : digits);
    };
    ok.on_click = [this, &name] {
      if (name.text() == u"boom") throw Failure(err::kTypeMismatch, u"boom");
      result_ = name.text();
      Unload();
    };
    cancel.on_click = [this] {
      result_.clear();
      Unload();
    };
  }

 protected:
  void Load() override {
    list_->Append(u"first");
    list_->Append(u"second");
  }

 private:
  std::u16string& result_;
  ListBox* list_;
};

class FormWindowTest : public ::testing::Test {
 protected:
  bool app_ready_ = (EnsureApplication(), true);
  std::u16string result_ = u"previous";
  SampleForm form_{result_};
  PathMap paths_;
  QtDesktop desktop_{paths_};
};

// Each real dialog's boxes, parents and keyboard order are checked in
// dialogs_test; here, that every kind shows its loaded value.
TEST_F(FormWindowTest, ShowsTheLoadedValues) {
  form_.Open();
  FormWindow window(form_);
  QDialog& d = window.dialog();
  EXPECT_EQ(Child<QListWidget>(d, "List1").count(), 2);
  EXPECT_TRUE(Child<QRadioButton>(d, "Option1").isChecked());
  EXPECT_TRUE(Child<QCheckBox>(d, "Check1").isChecked());
  EXPECT_EQ(Child<QComboBox>(d, "Combo1").currentText(), QStringLiteral("high"));
  // The named Korean face falls back to an installed one of the same size.
  EXPECT_DOUBLE_EQ(Child<QLineEdit>(d, "Text1").font().pointSizeF(), 9.75);
  form_.CloseFromFrame();
}

TEST_F(FormWindowTest, BindsWidgetsAndModelsBothWays) {
  form_.Open();
  FormWindow window(form_);
  QDialog& d = window.dialog();
  auto& size = Child<QLineEdit>(d, "Text3");
  auto& model = form_.Get<TextBox>(u"Text3");
  struct Case {
    const char* start;
    const char* typed;  // "\b" erases everything first
    const char* shown;
  } cases[] = {
      {"", "12a", "12"},  // letters after a number are dropped at once
      {"", "x", "0"},     // a letter into an empty field
      {"12", "\b", "0"},  // an emptied field shows 0
      {"1", ".", "1"},    // a trailing point vanishes
      {"0", "5", "05"},   // this form's rule keeps leading zeros
  };
  for (const auto& c : cases) {
    // Reset empties the field without running the rule (which gives 0).
    if (*c.start) {
      model.SetText(FromUtf8(c.start));
    } else {
      model.Reset();
    }
    ASSERT_EQ(size.text(), QString::fromLatin1(c.start));
    size.end(false);
    if (std::string_view(c.typed) == "\b") {
      size.selectAll();
      QTest::keyClick(&size, Qt::Key_Backspace);
    } else {
      QTest::keyClicks(&size, QString::fromLatin1(c.typed));
    }
    EXPECT_EQ(size.text(), QString::fromLatin1(c.shown)) << c.typed;
    EXPECT_EQ(model.text(), FromUtf8(c.shown)) << c.typed;
    EXPECT_EQ(size.cursorPosition(), size.text().size()) << c.typed;
  }

  // Program-side changes show up without echoing back.
  form_.Choose(u"Option2");
  EXPECT_TRUE(Child<QRadioButton>(d, "Option2").isChecked());
  EXPECT_FALSE(Child<QRadioButton>(d, "Option1").isChecked());
  auto& list = form_.Get<ListBox>(u"List1");
  auto& view = Child<QListWidget>(d, "List1");
  list.Insert(0, u"zero");
  list.Select(2);
  ASSERT_EQ(view.count(), 3);
  EXPECT_EQ(view.item(0)->text(), QStringLiteral("zero"));
  EXPECT_EQ(view.currentRow(), 2);
  list.Remove(0);
  EXPECT_EQ(view.count(), 2);
  EXPECT_TRUE(view.selectedItems().isEmpty());
  // A path set by the program shows from its start.
  form_.Get<TextBox>(u"Text1").SetText(u"Z:\\home\\user\\movies\\2026\\spring\\intro.swf");
  EXPECT_EQ(Child<QLineEdit>(d, "Text1").cursorPosition(), 0);
  // A one-line field takes more than Qt's default cap of 32767 characters.
  auto& name = Child<QLineEdit>(d, "Text1");
  name.selectAll();
  name.insert(QString(40000, QLatin1Char('x')));
  EXPECT_EQ(form_.Get<TextBox>(u"Text1").text().size(), 40000u);
  // Multi-line text keeps CR LF in the model.
  auto& area = Child<QPlainTextEdit>(d, "Text2");
  QTest::keyClicks(&area, "a");
  QTest::keyClick(&area, Qt::Key_Return);
  QTest::keyClicks(&area, "b");
  EXPECT_EQ(form_.Get<TextBox>(u"Text2").text(), u"a\r\nb");
  form_.CloseFromFrame();
}

TEST_F(FormWindowTest, FrameCloseAndFailuresEndTheShowing) {
  // Closed from the frame: no handler runs, the previous result stays.
  WhenModal<QDialog>([](QDialog& d) {
    QTest::keyClicks(&Child<QLineEdit>(d, "Text1"), "typed");
    d.close();
  });
  desktop_.ShowModal(form_);
  EXPECT_FALSE(form_.is_open());
  EXPECT_EQ(result_, u"previous");

  // A handler's failure closes the window and reaches the caller.
  WhenModal<QDialog>([](QDialog& d) {
    QTest::keyClicks(&Child<QLineEdit>(d, "Text1"), "boom");
    QTest::mouseClick(&Child<QPushButton>(d, "Command1"), Qt::LeftButton);
  });
  try {
    desktop_.ShowModal(form_);
    ADD_FAILURE() << "the failure was lost";
  } catch (const Failure& f) {
    EXPECT_EQ(f.number(), err::kTypeMismatch);
  }
  EXPECT_FALSE(form_.is_open());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_EQ(result_, u"previous");

  // Enter clicks the bound OK, drawn as the default button, from a field;
  // Escape clicks the bound Cancel.
  WhenModal<QDialog>([](QDialog& d) {
    EXPECT_TRUE(Child<QPushButton>(d, "Command1").isDefault());
    EXPECT_FALSE(Child<QPushButton>(d, "Command2").isDefault());
    QTest::keyClicks(&Child<QLineEdit>(d, "Text1"), "typed");
    QTest::keyClick(&Child<QLineEdit>(d, "Text1"), Qt::Key_Return);
  });
  desktop_.ShowModal(form_);
  EXPECT_EQ(result_, u"typed");
  WhenModal<QDialog>([](QDialog& d) {
    QTest::keyClicks(&Child<QLineEdit>(d, "Text1"), "typed");
    QTest::keyClick(&Child<QComboBox>(d, "Combo1"), Qt::Key_Escape);
  });
  desktop_.ShowModal(form_);
  EXPECT_EQ(result_, u"");
}

// The select list dialog's column heading, longer than its box is wide at
// the designed size: it stays on one line, and the list's lines, in the
// heading's font, show whole up to the heading's length even when a
// vertical scroll bar takes its room.
class HeadedListForm : public Form {
 public:
  static constexpr char16_t kHeading[] = u"    Selected Item                                Value";
  HeadedListForm() : Form(u"HeadedF", u"Headed", {497, 291}) {
    const Font fixed{u"GulimChe", 9};
    Add<Label>(D(u"Label2", {68, 56, 345, 25}, kHeading, -1, {}, fixed));
    Add<ListBox>(D(u"List1", {68, 76, 345, 124}, {}, 0, {}, fixed)).set_heading(u"Label2");
  }
};

TEST_F(FormWindowTest, ListLinesShowWholeUnderTheirHeading) {
  HeadedListForm form;
  const ModalShowing showing(form);
  auto& lines = form.Get<ListBox>(u"List1");
  for (int i = 0; i < 20; ++i) lines.Append(HeadedListForm::kHeading);
  FormWindow window(form);
  QDialog& d = window.dialog();
  d.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
  auto& heading = Child<QLabel>(d, "Label2");
  auto& list = Child<QListWidget>(d, "List1");
  list.doItemsLayout();
  EXPECT_TRUE(list.verticalScrollBar()->isVisible());
  EXPECT_EQ(list.horizontalScrollBar()->maximum(), 0);
  EXPECT_EQ(heading.font().toString(), list.font().toString());
  EXPECT_TRUE(TextFits(heading.font(), heading.text(), heading.contentsRect().size(), false));
}

}  // namespace
}  // namespace corabind::qt
