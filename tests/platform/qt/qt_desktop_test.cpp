#include "platform/qt/qt_desktop.h"

#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontInfo>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QRawFont>
#include <QSettings>
#include <QTest>
#include <QTreeView>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "core/text.h"
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

TEST(QtFontsTest, LatinFaceFirstThenKorean) {
  EnsureApplication();
  struct Case {
    std::u16string family;
    bool fixed_pitch;
  } cases[] = {{u"Dotum", false},           {u"굴림", false},    {u"", false},
               {u"No Such Face 42", false}, {u"GulimChe", true}, {u"돋움체", true}};
  for (const auto& c : cases) {
    const QFont f = ResolveFont({c.family, 0}, {u"Gulim", 9.75});
    const QFontInfo shown(f);
    EXPECT_EQ(shown.fixedPitch(), c.fixed_pitch) << ToUtf8(c.family);
    EXPECT_FALSE(QRawFont::fromFont(f).supportsCharacter(QChar(u'한')))
        << ToUtf8(c.family) << " leads with " << shown.family().toStdString();
    EXPECT_DOUBLE_EQ(f.pointSizeF(), 9.75);
    const QStringList families = f.families();
    EXPECT_TRUE(
        std::any_of(families.begin(), families.end(),
                    [](const QString& name) {
                      return QRawFont::fromFont(QFont(name)).supportsCharacter(QChar(u'한'));
                    }))
        << ToUtf8(c.family) << ": no Korean face to fall back to";
  }
}

class QtDesktopTest : public ::testing::Test {
 protected:
  bool app_ready_ = (EnsureApplication(), true);
  PathMap paths_;
  QtDesktop desktop_{paths_};
};

TEST_F(QtDesktopTest, MessageBoxHasOkOnlyAndTheDefaultCaption) {
  WhenModal<QMessageBox>([&](QMessageBox& box) {
    EXPECT_EQ(box.text(), QStringLiteral("Styesheet count: 2"));
    EXPECT_EQ(box.windowTitle(), QStringLiteral("corabind"));
    EXPECT_EQ(box.buttons().size(), 1);
    box.button(QMessageBox::Ok)->click();
  });
  desktop_.MessageBox(u"Styesheet count: 2");
}

TEST_F(QtDesktopTest, FileDialogsUseTheComponentsSettings) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "corabind_qt_file_dialog";
  fs::create_directories(dir);
  std::ofstream(dir / "old.htm") << "x";
  const std::u16string old_name = paths_.ToControl(dir / "old.htm");
  const std::u16string filter = u"HTML Document(*.htm;*.html)|*.htm;*.html|All Files(*.*)|*.*";

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
    FileDialog dialog{old_name, c.save ? u"Save As" : u"Open file", filter, c.flags};
    WhenModal<QFileDialog>([&](QFileDialog& box) {
      EXPECT_EQ(box.windowTitle(), Q(dialog.title));
      EXPECT_EQ(box.nameFilters(),
                (QStringList{"HTML Document(*.htm;*.html) (*.htm *.html)", "All Files(*.*) (*)"}));
      EXPECT_EQ(!box.testOption(QFileDialog::DontConfirmOverwrite), c.confirm_expected);
      EXPECT_EQ(box.acceptMode() == QFileDialog::AcceptSave, c.save);
      EXPECT_EQ(box.selectedFiles().value(0), QString::fromStdString((dir / "old.htm").string()));
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
    EXPECT_EQ(dialog.file_name, c.accept ? paths_.ToControl(dir / c.choose) : old_name) << c.choose;
  }
  fs::remove_all(dir);
}

// A name longer than the name column's first width is shown whole, in the
// open and in the save dialog.
TEST_F(QtDesktopTest, FileDialogsShowLongNamesWhole) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "corabind_qt_long_names";
  fs::create_directories(dir);
  const std::string long_name =
      "2026 spring campaign - newsletter for returning customers (final, approved).htm";
  std::ofstream(dir / long_name) << "x";
  std::ofstream(dir / "a.htm") << "x";
  // Without the widths an earlier dialog left.
  QSettings(QSettings::UserScope, QStringLiteral("QtProject")).remove(QStringLiteral("FileDialog"));
  for (bool save : {false, true}) {
    FileDialog dialog{paths_.ToControl(dir / "a.htm"), u"Files", {}, 0};
    WhenModal<QFileDialog>([&](QFileDialog& box) {
      auto* names = box.findChild<QTreeView*>();
      ASSERT_NE(names, nullptr);
      const QString wanted = QString::fromStdString(long_name);
      // The folder's entries arrive from Qt's file system model as they are read.
      EXPECT_TRUE(QTest::qWaitFor([&] {
        const QModelIndex root = names->rootIndex();
        for (int row = 0; row < names->model()->rowCount(root); ++row) {
          if (names->model()->index(row, 0, root).data().toString() == wanted) return true;
        }
        return false;
      }));
      QApplication::processEvents();
      const int needed = names->fontMetrics().horizontalAdvance(wanted);
      EXPECT_GE(names->header()->sectionSize(0), needed) << (save ? "save" : "open");
      box.reject();
    });
    if (save) {
      desktop_.ShowSave(dialog);
    } else {
      desktop_.ShowOpen(dialog);
    }
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace corabind::qt
