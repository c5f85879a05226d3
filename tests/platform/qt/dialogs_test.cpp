// Every dialog of the control drawn by the Qt desktop: the same user input
// through real widgets (numeric fields rewriting what is typed) gives the
// same markup as through the headless desktop.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFontInfo>
#include <QGlyphRun>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRawFont>
#include <QStyle>
#include <QTest>
#include <QTextLayout>
#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>

#include "control/orvane_control.h"
#include "core/failure.h"
#include "core/library.h"
#include "core/text.h"
#include "fields/check_box_f.h"
#include "fields/list_box_f.h"
#include "fields/list_box_sub.h"
#include "fields/multi_text_box_f.h"
#include "fields/radio_box_f.h"
#include "fields/text_box_f.h"
#include "flash/flash_dialog.h"
#include "platform/headless/headless_desktop.h"
#include "platform/posix/posix_file_system.h"
#include "platform/qt/fonts.h"
#include "platform/qt/form_window.h"
#include "platform/qt/qt_desktop.h"
#include "qt_test_support.h"

namespace corabind::qt {
namespace {

using S = UiStep;

using namespace corabind::qt::testing;
using K = UiStep::Kind;

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
            case K::kType: {
              // Emptied first, then typed key by key as a user would.
              QWidget* field = w;
              if (auto* c = qobject_cast<QComboBox*>(w)) field = c->lineEdit();
              QMetaObject::invokeMethod(field, "selectAll");
              QTest::keyClick(field, Qt::Key_Delete);
              QTest::keyClicks(field, Q(step.text));
              break;
            }
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
         {S::Type(u"Text1", u"user"), S::Type(u"Text3", u"20px"), S::Choose(u"Option2"),
          S::Click(u"Command1")}}},
       "<input type=\"password\" name = \"user\" size = \"20\" >"},
      {u"TEXTAREA",
       {{u"MultiTextBoxF",
         {S::Type(u"Text1", u"note"), S::Type(u"Text2", u"a<b>"), S::Type(u"Text3", u"40"),
          S::Type(u"Text4", u"3x"), S::Click(u"Command1")}}},
       nullptr},
      {u"CHECK",
       {{u"CheckBoxF",
         {S::Type(u"Text1", u"agree"), S::Type(u"Text2", u"yes"), S::Choose(u"Option1"),
          S::Click(u"Command1")}}},
       "<input type=\"checkbox\" name = \"agree\" value = \"yes\" checked >"},
      {u"RADIO",
       {{u"RadioBoxF",
         {S::Type(u"Text1", u"size"), S::Type(u"Text2", u"L"), S::Choose(u"Option1"),
          S::Click(u"Command1")}}},
       "<input type=\"radio\" name = \"size\" value = \"L\" checked >"},
      {u"LIST",
       {{u"ListBoxF",
         {S::Type(u"Text1", u"size"), S::Click(u"Command1"), S::Click(u"Command1"),
          S::Select(u"List1", 1), S::Click(u"Command4"), S::Type(u"Text2", u"2"),
          S::Choose(u"Option1"), S::Click(u"Command6")}},
        {u"ListBoxSub",
         {S::Type(u"Text1", u"Large"), S::Type(u"Text2", u"L"), S::Check(u"Check1", 1),
          S::Click(u"Command1")}},
        {u"ListBoxSub",
         {S::Type(u"Text1", u"Small"), S::Type(u"Text2", u"S"), S::Click(u"Command1")}}},
       nullptr},
      {nullptr,
       {{u"Form1",
         {S::Type(u"Text1", movie_path), S::Type(u"Cqulity", u"low"), S::Check(u"Cloop", 0),
          S::Type(u"Cwidth", u"320"), S::Type(u"Cheight", u"240"), S::Click(u"Command2")}}},
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

// The face that draws the character at `at` of `text` in `font`.
QRawFont FaceOf(const QFont& font, const QString& text, int at) {
  QTextLayout layout(text, font);
  layout.beginLayout();
  layout.createLine();
  layout.endLayout();
  const auto runs = layout.glyphRuns(at, 1);
  return runs.isEmpty() ? QRawFont() : runs.front().rawFont();
}

// What a person reads: every caption whole inside its box in the fonts the
// window uses (a wrapped label leaves no punctuation alone on a line),
// labels off the edge, backslashes from a Latin face and Hangul from a
// Korean one, one-line fields without Qt's 32767-character cap, and select
// lists in a fixed-pitch face shared with their heading, which stays on
// one line.
void ExpectReadable(QDialog& d) {
  const std::string form = d.objectName().toStdString();
  for (QLabel* label : d.findChildren<QLabel*>()) {
    const std::string what = form + "." + label->objectName().toStdString();
    const QRect room = label->contentsRect();
    const QRect drawn =
        QFontMetrics(label->font())
            .boundingRect(room, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, label->text());
    EXPECT_TRUE(room.contains(drawn)) << what << ": " << drawn.width() << "x" << drawn.height()
                                      << " in " << room.width() << "x" << room.height();
    EXPECT_TRUE(TextFits(label->font(), label->text(), room.size(), true)) << what;
    EXPECT_GE(room.left(), 2) << what;
  }
  for (QAbstractButton* button : d.findChildren<QAbstractButton*>()) {
    const std::string what = form + "." + button->objectName().toStdString();
    if (qobject_cast<QPushButton*>(button)) {
      const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
      EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()) + 2 * margin,
                button->width())
          << what;
    } else {
      EXPECT_LE(button->sizeHint().width(), button->width()) << what;
    }
  }
  const QString path = QStringLiteral("C:\\영화\\intro.swf");
  for (QWidget* w : d.findChildren<QWidget*>()) {
    if (!qobject_cast<QLabel*>(w) && !qobject_cast<QLineEdit*>(w) &&
        !qobject_cast<QAbstractButton*>(w))
      continue;
    const std::string what = form + "." + w->objectName().toStdString();
    const QRawFont backslash = FaceOf(w->font(), path, 2);
    EXPECT_TRUE(backslash.supportsCharacter(QChar(u'\\')) &&
                !backslash.supportsCharacter(QChar(u'영')))
        << what << ": backslash from " << backslash.familyName().toStdString();
    EXPECT_TRUE(FaceOf(w->font(), path, 3).supportsCharacter(QChar(u'영'))) << what;
  }
  for (QLineEdit* edit : d.findChildren<QLineEdit*>())
    EXPECT_GT(edit->maxLength(), 32767) << form << "." << edit->objectName().toStdString();
  for (QListWidget* list : d.findChildren<QListWidget*>()) {
    EXPECT_TRUE(QFontInfo(list->font()).fixedPitch()) << form;
    const QLabel& heading = Child<QLabel>(d, "Label2");
    EXPECT_EQ(heading.font(), list->font()) << form << ": heading";
    EXPECT_TRUE(TextFits(heading.font(), heading.text(), heading.contentsRect().size(), false))
        << form << ": heading on one line";
  }
}

// Every real dialog drawn from its own layout data: the window's size, each
// control's box and parent; a close from the frame leaves the previous
// result.
TEST_F(DialogsTest, WindowsFollowTheirLayoutAndFrameCloseWritesNothing) {
  for (const char16_t* flag :
       {u"TEXT", u"TEXTAREA", u"CHECK", u"RADIO", u"LIST", static_cast<const char16_t*>(nullptr)}) {
    Library library(Services{std::make_shared<QtDesktop>(paths_), files_, nullptr});
    library.state().FieldTagResult = u"previous";
    library.state().FlashTagResult = u"previous";
    const Form* shown = nullptr;
    WhenModal<QDialog>([&](QDialog& d) {
      // The dialog instance exists once it is showing; find its model by name.
      const Form& form = *shown;
      EXPECT_EQ(d.objectName(), Q(form.name()));
      EXPECT_EQ(d.size(), QSize(form.client_size().width, form.client_size().height))
          << d.objectName().toStdString();
      for (const auto& w : form.widgets()) {
        const Box& b = w->design().box;
        auto& view = Child<QWidget>(d, ToUtf8(w->name()).c_str());
        EXPECT_EQ(view.geometry(), QRect(b.left, b.top, b.width, b.height)) << ToUtf8(w->name());
        const std::u16string parent =
            w->design().container.empty() ? form.name() : w->design().container;
        EXPECT_EQ(view.parentWidget()->objectName(), Q(parent)) << ToUtf8(w->name());
      }
      ExpectReadable(d);
      if (d.objectName() == QStringLiteral("ListBoxF")) {
        // The item dialog opens from Add.
        WhenModal<QDialog>(
            [](QDialog& sub) {
              ExpectReadable(sub);
              sub.close();
            },
            QStringLiteral("ListBoxSub"));
        QTest::mouseClick(&Child<QPushButton>(d, "Command1"), Qt::LeftButton);
      }
      d.close();
    });
    OrvaneControl control(library);
    // The model is the library's single instance of the kind about to open.
    if (flag == nullptr) {
      shown = &library.Dialog<Form1>();
      EXPECT_EQ(control.LoadFlashTag(), u"previous");
    } else {
      const std::u16string f = flag;
      if (f == u"TEXT") shown = &library.Dialog<TextBoxF>();
      if (f == u"TEXTAREA") shown = &library.Dialog<MultiTextBoxF>();
      if (f == u"CHECK") shown = &library.Dialog<CheckBoxF>();
      if (f == u"RADIO") shown = &library.Dialog<RadioBoxF>();
      if (f == u"LIST") shown = &library.Dialog<ListBoxF>();
      EXPECT_EQ(control.SetFormField(flag), u"previous") << ToUtf8(f);
    }
  }
}

Form& DialogNamed(Library& library, std::string_view name) {
  if (name == "TextBoxF") return library.Dialog<TextBoxF>();
  if (name == "MultiTextBoxF") return library.Dialog<MultiTextBoxF>();
  if (name == "CheckBoxF") return library.Dialog<CheckBoxF>();
  if (name == "RadioBoxF") return library.Dialog<RadioBoxF>();
  if (name == "ListBoxF") return library.Dialog<ListBoxF>();
  if (name == "ListBoxSub") return library.Dialog<ListBoxSub>();
  return library.Dialog<Form1>();
}

// The named control that has the keyboard focus (an editable drop-down's
// focus is in its unnamed line edit).
std::string Focused() {
  QWidget* w = QApplication::focusWidget();
  while (w && w->objectName().isEmpty()) w = w->parentWidget();
  return w ? w->objectName().toStdString() : std::string("(none)");
}

// Each dialog by keyboard alone: focus starts on the first control of its
// order, Tab walks the whole order and comes round to the start, Shift+Tab
// walks it backwards, and Enter and Escape, pressed on every control, are
// bound to no button: the window stays open and no handler runs (a handler
// that opens another window fails on the empty script and would close it).
TEST_F(DialogsTest, KeyboardOrderStartAndUnboundKeys) {
  const struct {
    const char* form;
    std::vector<std::string> order;  // the first has the focus at opening
  } cases[] = {
      {"TextBoxF",
       {"Text1", "Text2", "Text3", "Text4", "Option1", "Option2", "Command1", "Command2"}},
      {"MultiTextBoxF", {"Text1", "Text3", "Text4", "Command1", "Command2", "Text2"}},
      {"CheckBoxF", {"Text1", "Text2", "Command1", "Command2", "Option1", "Option2"}},
      {"RadioBoxF", {"Command2", "Command1", "Option1", "Option2", "Text2", "Text1"}},
      {"ListBoxF",
       {"List1", "Command2", "Command1", "Text1", "Option1", "Option2", "Text2", "Command3",
        "Command4", "Command5", "Command6", "Command7"}},
      {"ListBoxSub", {"Text1", "Text2", "Command1", "Command2", "Check1"}},
      {"Form1",
       {"Text1", "Command1", "Cqulity", "Cloop", "Cautoplay", "Cwidth", "Cheight", "Command2",
        "Command3"}},
  };
  // One dialog, left at its first fault so that the next dialog still runs.
  const auto walk = [&](const std::string& name, const std::vector<std::string>& order) {
    SCOPED_TRACE(name);
    Library library(Services{std::make_shared<HeadlessDesktop>(paths_), files_, nullptr});
    library.state().FieldTagResult = u"previous";
    library.state().FlashTagResult = u"previous";
    Form& form = DialogNamed(library, name);
    ASSERT_EQ(ToUtf8(form.name()), name);
    const ModalShowing showing(form);
    FormWindow window(form);
    QDialog& d = window.dialog();
    d.show();
    QApplication::setActiveWindow(&d);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));

    std::vector<std::string> forward;
    for (std::size_t i = 0; i < order.size(); ++i) {
      forward.push_back(Focused());
      for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QTest::keyClick(QApplication::focusWidget(), key);
        ASSERT_TRUE(form.is_open() && d.isVisible())
            << QKeySequence(key).toString().toStdString() << " on " << forward.back();
      }
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    forward.push_back(Focused());
    std::vector<std::string> round = order;
    round.push_back(order.front());
    EXPECT_EQ(forward, round);

    std::vector<std::string> backward;
    for (std::size_t i = 0; i < order.size(); ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
      backward.push_back(Focused());
    }
    EXPECT_EQ(backward, std::vector<std::string>(order.rbegin(), order.rend()));

    EXPECT_EQ(library.state().FieldTagResult, u"previous");
    EXPECT_EQ(library.state().FlashTagResult, u"previous");
    d.close();
    EXPECT_FALSE(form.is_open());
  };
  for (const auto& c : cases) walk(c.form, c.order);
}

}  // namespace
}  // namespace corabind::qt
