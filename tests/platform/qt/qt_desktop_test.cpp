#include "platform/qt/qt_desktop.h"

#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QMessageBox>
#include <QPushButton>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/qt/file_filter.h"
#include "platform/qt/fonts.h"
#include "qt_test_support.h"

namespace corabind::qt {
namespace {

using namespace corabind::qt::testing;

TEST(QtFileFilterTest, ConvertsPairsToQtFilters) {
  struct Case {
    std::u16string_view in;
    const char* out;
  } cases[] = {
      {u"HTML Document(*.htm;*.html)|*.htm;*.html|All Files(*.*)|*.*",
       "HTML Document(*.htm;*.html) (*.htm *.html);;All Files(*.*) (*)"},
      {u"Flash Files(*.swf)|*.swf", "Flash Files(*.swf) (*.swf)"},
      {u"Text|*.txt|Lonely", "Text (*.txt);;Lonely (*)"},
      {u"Empty pattern|", "Empty pattern (*)"},
      {u"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ToQtFilter(c.in), QString::fromUtf8(c.out)) << c.out;
}

TEST(QtFontsTest, KoreanFacesFallBackToAnInstalledOne) {
  EnsureApplication();
  if (!QFontDatabase::hasFamily(QStringLiteral("NanumGothic")))
    GTEST_SKIP() << "fonts-nanum is not installed";
  if (QFontDatabase::hasFamily(QStringLiteral("Dotum"))) GTEST_SKIP() << "Dotum is installed";
  EXPECT_EQ(InstalledFamily(u"Dotum"), QStringLiteral("NanumGothic"));
  EXPECT_EQ(InstalledFamily(u"굴림"), QStringLiteral("NanumGothic"));
  EXPECT_EQ(InstalledFamily(u"NanumGothic"), QStringLiteral("NanumGothic"));
  EXPECT_EQ(InstalledFamily(u"No Such Face 42"), QString());
  const QFont f = ResolveFont({u"", 0}, {u"Gulim", 9.75});
  EXPECT_EQ(f.family(), QStringLiteral("NanumGothic"));
  EXPECT_DOUBLE_EQ(f.pointSizeF(), 9.75);
}

class QtDesktopTest : public ::testing::Test {
 protected:
  bool app_ready_ = (EnsureApplication(), true);
  PathMap paths_;
  QtDesktop desktop_{paths_};
};

TEST_F(QtDesktopTest, MessageBoxHasOkOnlyAndTheDefaultCaption) {
  QString text, title;
  QList<QAbstractButton*> buttons;
  WhenModal<QMessageBox>([&](QMessageBox& box) {
    text = box.text();
    title = box.windowTitle();
    buttons = box.buttons();
    box.button(QMessageBox::Ok)->click();
  });
  desktop_.MessageBox(u"Styesheet count: 2");
  EXPECT_EQ(text, QStringLiteral("Styesheet count: 2"));
  EXPECT_EQ(title, QStringLiteral("corabind"));
  EXPECT_EQ(buttons.size(), 1);
}

TEST_F(QtDesktopTest, FileDialogsUseTheComponentsSettings) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "corabind_qt_file_dialog";
  fs::create_directories(dir);
  std::ofstream(dir / "old.htm") << "x";
  const std::u16string old_name = paths_.ToControl(dir / "old.htm");
  const char* filter = "HTML Document(*.htm;*.html)|*.htm;*.html|All Files(*.*)|*.*";

  struct Case {
    bool save;
    std::int32_t flags;
    bool accept;
    const char* choose;  // file name typed in the dialog
    bool confirm_expected;
  } cases[] = {
      {true, 2, true, "new.htm", true},
      {true, 0, true, "old.htm", false},
      {false, 0, true, "other.htm", false},
      {false, 0, false, "ignored.htm", false},
  };
  for (const auto& c : cases) {
    FileDialog dialog{old_name, c.save ? u"Save As" : u"Open file",
                      std::u16string(filter, filter + std::strlen(filter)), c.flags};
    QString title, selected_before;
    QStringList filters;
    bool confirms = false, saves = false;
    WhenModal<QFileDialog>([&](QFileDialog& box) {
      title = box.windowTitle();
      filters = box.nameFilters();
      confirms = !box.testOption(QFileDialog::DontConfirmOverwrite);
      saves = box.acceptMode() == QFileDialog::AcceptSave;
      selected_before = box.selectedFiles().value(0);
      if (!c.accept) {
        box.reject();
        return;
      }
      box.selectFile(QString::fromLatin1(c.choose));
      // Accept through the dialog's own button, as a user would; for a save
      // over an existing file with no prompt flag nothing else may appear.
      box.findChild<QDialogButtonBox*>()
          ->button(c.save ? QDialogButtonBox::Save : QDialogButtonBox::Open)
          ->click();
    });
    if (c.save) {
      desktop_.ShowSave(dialog);
    } else {
      desktop_.ShowOpen(dialog);
    }
    EXPECT_EQ(title, c.save ? QStringLiteral("Save As") : QStringLiteral("Open file"));
    EXPECT_EQ(filters,
              (QStringList{"HTML Document(*.htm;*.html) (*.htm *.html)", "All Files(*.*) (*)"}));
    EXPECT_EQ(confirms, c.confirm_expected) << c.choose;
    EXPECT_EQ(saves, c.save);
    EXPECT_EQ(selected_before, QString::fromStdString((dir / "old.htm").string()));
    EXPECT_EQ(dialog.file_name, c.accept ? paths_.ToControl(dir / c.choose) : old_name) << c.choose;
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace corabind::qt
