// Every dialog of the control drawn by the Qt desktop: the widgets follow
// the designed layout and keyboard order, numeric fields rewrite what is
// typed, and the same user input through real widgets gives the same
// markup as through the headless desktop.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <deque>
#include <filesystem>
#include <fstream>

#include "control/failure.h"
#include "control/library.h"
#include "control/orvane_control.h"
#include "control/text.h"
#include "platform/headless/headless_desktop.h"
#include "platform/posix/posix_file_system.h"
#include "platform/qt/qt_desktop.h"
#include "qt_test_support.h"

namespace corabind::qt {
namespace {

using namespace corabind::qt::testing;
using K = UiStep::Kind;

UiStep Type(std::u16string control, std::u16string text) {
  return UiStep{K::kType, std::move(control), std::move(text), 0};
}
UiStep Do(K kind, std::u16string control = {}, std::int64_t value = 0) {
  return UiStep{kind, std::move(control), {}, value};
}

QString Q(const std::u16string& s) {
  return QString::fromStdU16String(s);
}

// Plays a script through the real widgets of the windows as they open. A
// click may open the next form, so the next form's driver is queued before
// any click.
void Drive(std::shared_ptr<std::deque<FormScript>> scripts) {
  if (scripts->empty()) return;
  const QString name = Q(scripts->front().form);
  WhenModal<QDialog>(
      [scripts](QDialog& d) {
        const FormScript script = std::move(scripts->front());
        scripts->pop_front();
        bool next_queued = false;
        for (const UiStep& step : script.steps) {
          QWidget* w =
              step.control.empty() ? nullptr : &Child<QWidget>(d, ToUtf8(step.control).c_str());
          switch (step.kind) {
            case K::kType:
              if (auto* e = qobject_cast<QLineEdit*>(w)) {
                e->selectAll();
                QTest::keyClick(e, Qt::Key_Delete);
                QTest::keyClicks(e, Q(step.text));
              } else if (auto* a = qobject_cast<QPlainTextEdit*>(w)) {
                a->selectAll();
                QTest::keyClick(a, Qt::Key_Delete);
                QTest::keyClicks(a, Q(step.text));
              } else if (auto* c = qobject_cast<QComboBox*>(w)) {
                c->lineEdit()->selectAll();
                QTest::keyClick(c->lineEdit(), Qt::Key_Delete);
                QTest::keyClicks(c->lineEdit(), Q(step.text));
              }
              break;
            case K::kChoose:
              QTest::mouseClick(w, Qt::LeftButton);
              break;
            case K::kCheck:
              if (static_cast<QCheckBox*>(w)->isChecked() != (step.value == 1))
                QTest::mouseClick(w, Qt::LeftButton);
              break;
            case K::kSelect: {
              auto* list = static_cast<QListWidget*>(w);
              QTest::mouseClick(
                  list->viewport(), Qt::LeftButton, {},
                  list->visualItemRect(list->item(static_cast<int>(step.value))).center());
              break;
            }
            case K::kClick:
              if (!next_queued) {
                next_queued = true;
                Drive(scripts);
              }
              QTest::mouseClick(w, Qt::LeftButton);
              break;
            case K::kClose:
              d.close();
              break;
          }
        }
      },
      name);
}

struct Placed {
  const char* name;
  QRect box;
  const char* parent;
};

struct DialogCase {
  const char16_t* flag;  // SetFormField's flag; nullptr for the Flash dialog
  std::vector<FormScript> input;
  const char* expected;  // markup, or nullptr where only the two desktops are compared
};

std::u16string RunDialog(Library& library, const DialogCase& c) {
  OrvaneControl control(library);
  return c.flag ? control.SetFormField(c.flag) : control.LoadFlashTag();
}

class DialogsTest : public ::testing::Test {
 protected:
  bool app_ready_ = (EnsureApplication(), true);
  std::shared_ptr<const PathMap> paths_ptr_ = std::make_shared<PathMap>();
  const PathMap& paths_ = *paths_ptr_;
  std::shared_ptr<FileSystem> files_ = std::make_shared<PosixFileSystem>(paths_ptr_);
};

TEST_F(DialogsTest, SameMarkupAsTheHeadlessDesktop) {
  const auto movie = std::filesystem::temp_directory_path() / "corabind_qt_intro.swf";
  std::ofstream(movie) << "FWS";
  const std::u16string movie_path = paths_.ToControl(movie);
  const DialogCase cases[] = {
      {u"TEXT",
       {{u"TextBoxF",
         {Type(u"Text1", u"user"), Type(u"Text3", u"20px"), Do(K::kChoose, u"Option2"),
          Do(K::kClick, u"Command1")}}},
       "<input type=\"password\" name = \"user\" size = \"20\" >"},
      {u"TEXTAREA",
       {{u"MultiTextBoxF",
         {Type(u"Text1", u"note"), Type(u"Text2", u"a<b>"), Type(u"Text3", u"40"),
          Type(u"Text4", u"3x"), Do(K::kClick, u"Command1")}}},
       nullptr},
      {u"CHECK",
       {{u"CheckBoxF",
         {Type(u"Text1", u"agree"), Type(u"Text2", u"yes"), Do(K::kChoose, u"Option1"),
          Do(K::kClick, u"Command1")}}},
       "<input type=\"checkbox\" name = \"agree\" value = \"yes\" checked >"},
      {u"RADIO",
       {{u"RadioBoxF",
         {Type(u"Text1", u"size"), Type(u"Text2", u"L"), Do(K::kChoose, u"Option1"),
          Do(K::kClick, u"Command1")}}},
       "<input type=\"radio\" name = \"size\" value = \"L\" checked >"},
      {u"LIST",
       {{u"ListBoxF",
         {Type(u"Text1", u"size"), Do(K::kClick, u"Command1"), Do(K::kClick, u"Command1"),
          Do(K::kSelect, u"List1", 1), Do(K::kClick, u"Command4"), Type(u"Text2", u"2"),
          Do(K::kChoose, u"Option1"), Do(K::kClick, u"Command6")}},
        {u"ListBoxSub",
         {Type(u"Text1", u"Large"), Type(u"Text2", u"L"), Do(K::kCheck, u"Check1", 1),
          Do(K::kClick, u"Command1")}},
        {u"ListBoxSub",
         {Type(u"Text1", u"Small"), Type(u"Text2", u"S"), Do(K::kClick, u"Command1")}}},
       nullptr},
      {nullptr,
       {{u"Form1",
         {Type(u"Text1", movie_path), Type(u"Cqulity", u"low"), Do(K::kCheck, u"Cloop", 0),
          Type(u"Cwidth", u"320"), Type(u"Cheight", u"240"), Do(K::kClick, u"Command2")}}},
       nullptr},
  };
  for (const auto& c : cases) {
    const std::string what = c.flag ? ToUtf8(c.flag) : "flash";
    Library on_screen(Services{std::make_shared<QtDesktop>(paths_), files_, nullptr});
    Drive(std::make_shared<std::deque<FormScript>>(c.input.begin(), c.input.end()));
    const std::u16string through_qt = RunDialog(on_screen, c);

    auto headless = std::make_shared<HeadlessDesktop>(paths_);
    for (const auto& s : c.input) headless->Push(UiEntry{s});
    Library scripted(Services{headless, files_, nullptr});
    EXPECT_EQ(ToUtf8(through_qt), ToUtf8(RunDialog(scripted, c))) << what;
    EXPECT_TRUE(headless->ScriptDone()) << what;
    EXPECT_FALSE(through_qt.empty()) << what;
    if (c.expected) {
      EXPECT_EQ(ToUtf8(through_qt), c.expected) << what;
    }
  }
  std::filesystem::remove(movie);
}

struct LayoutCase {
  const char16_t* flag;
  const char* form;
  QSize client;
  std::vector<Placed> boxes;
  QStringList tab_order;  // from the initial focus
  const char* numeric;    // a field under the numeric rule, typed "12a" shows "12"
};

TEST_F(DialogsTest, LayoutKeyboardOrderAndFrameClose) {
  const LayoutCase cases[] = {
      {u"TEXT",
       "TextBoxF",
       {365, 173},
       {{"Text1", {68, 16, 285, 25}, "TextBoxF"},
        {"Label4", {4, 128, 60, 27}, "TextBoxF"},
        {"Frame1", {152, 88, 109, 73}, "TextBoxF"},
        {"Option2", {16, 40, 81, 25}, "Frame1"},
        {"Command2", {276, 132, 80, 27}, "TextBoxF"}},
       {"Text1", "Text2", "Text3", "Text4", "Option1", "Option2", "Command1", "Command2"},
       "Text4"},
      {u"TEXTAREA",
       "MultiTextBoxF",
       {476, 236},
       {{"Text2", {64, 56, 305, 129}, "MultiTextBoxF"},
        {"Text4", {296, 192, 73, 25}, "MultiTextBoxF"},
        {"Command1", {384, 156, 80, 27}, "MultiTextBoxF"}},
       {"Text1", "Text3", "Text4", "Command1", "Command2", "Text2"},
       "Text3"},
      {u"CHECK",
       "CheckBoxF",
       {365, 173},
       {{"Frame1", {68, 88, 133, 73}, "CheckBoxF"},
        {"Option1", {24, 24, 81, 17}, "Frame1"},
        {"Command1", {268, 96, 80, 27}, "CheckBoxF"}},
       {"Text1", "Text2", "Command1", "Command2", "Option1", "Option2"},
       nullptr},
      {u"RADIO",
       "RadioBoxF",
       {365, 173},
       {{"Frame1", {64, 88, 145, 73}, "RadioBoxF"},
        {"Option2", {24, 40, 97, 25}, "Frame1"},
        {"Command1", {268, 92, 80, 27}, "RadioBoxF"}},
       {"Command2", "Command1", "Option1", "Option2", "Text2", "Text1"},
       nullptr},
      {u"LIST",
       "ListBoxF",
       {497, 291},
       {{"List1", {68, 76, 345, 124}, "ListBoxF"},
        {"Label2", {68, 56, 345, 25}, "ListBoxF"},
        {"Command5", {424, 176, 60, 23}, "ListBoxF"},
        {"Text2", {64, 212, 65, 25}, "ListBoxF"},
        {"Command7", {404, 252, 80, 27}, "ListBoxF"}},
       {"List1", "Command2", "Command1", "Text1", "Option1", "Option2", "Text2", "Command3",
        "Command4", "Command5", "Command6", "Command7"},
       "Text2"},
  };
  for (const auto& c : cases) {
    Library library(Services{std::make_shared<QtDesktop>(paths_), nullptr, nullptr});
    library.state().FieldTagResult = u"previous";
    WhenModal<QDialog>(
        [&c](QDialog& d) {
          EXPECT_EQ(d.size(), c.client) << c.form;
          for (const auto& p : c.boxes) {
            auto& w = Child<QWidget>(d, p.name);
            EXPECT_EQ(w.geometry(), p.box) << c.form << " " << p.name;
            EXPECT_EQ(w.parentWidget()->objectName(), QString::fromLatin1(p.parent)) << p.name;
          }
          QApplication::setActiveWindow(&d);
          EXPECT_TRUE(QTest::qWaitForWindowActive(&d));
          QStringList order;
          for (qsizetype i = 0; i < c.tab_order.size(); ++i) {
            QWidget* w = QApplication::focusWidget();
            while (w && w->objectName().isEmpty()) w = w->parentWidget();
            order << (w ? w->objectName() : QString());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
          }
          EXPECT_EQ(order, c.tab_order) << c.form;
          if (c.numeric) {
            auto& field = Child<QLineEdit>(d, c.numeric);
            field.selectAll();
            QTest::keyClicks(&field, "12a");
            EXPECT_EQ(field.text(), QStringLiteral("12")) << c.form;
          }
          d.close();
        },
        QString::fromLatin1(c.form));
    OrvaneControl control(library);
    EXPECT_EQ(control.SetFormField(c.flag), u"previous") << c.form;
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  }
}

}  // namespace
}  // namespace corabind::qt
