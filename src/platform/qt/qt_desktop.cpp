#include "platform/qt/qt_desktop.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QMetaObject>
#include <QTimer>
#include <QTreeView>
#include <cstdlib>

#include "core/failure.h"
#include "core/form.h"
#include "platform/qt/file_filter.h"
#include "platform/qt/form_window.h"
#include "platform/qt/qt_text.h"

namespace corabind::qt {

namespace {

// Tells a close from the window frame (which rejects) from the Cancel
// button.
class FileBox : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;
  bool closed_from_frame = false;

 protected:
  void closeEvent(QCloseEvent* event) override {
    closed_from_frame = true;
    QFileDialog::closeEvent(event);
  }
};

}  // namespace

QtDesktop::QtDesktop(const PathMap& paths) : paths_(paths) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
    throw Failure(err::kCannotCreateObject, u"The Qt desktop needs a QApplication");
}

void QtDesktop::ShowModal(Form& form) {
  {
    const ModalShowing showing(form);
    FormWindow window(form);
    window.Exec();
  }
  Ended(form.ended());
}

void QtDesktop::MessageBox(const std::u16string& text) {
  QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), ToQString(text),
                  QMessageBox::Ok);
  ComeToFront(box);
  box.exec();
}

void QtDesktop::ShowOpen(FileDialog& dialog) {
  ShowFileDialog(dialog, false);
}
void QtDesktop::ShowSave(FileDialog& dialog) {
  ShowFileDialog(dialog, true);
}

void QtDesktop::ShowFileDialog(FileDialog& dialog, bool save) {
  FileBox box(nullptr, ToQString(dialog.title));
  // Qt's own dialog on every platform, so that it behaves (and is tested)
  // the same everywhere.
  box.setOption(QFileDialog::DontUseNativeDialog, true);
  box.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  // The component asks nothing of the chosen name unless its flags say so;
  // the control reports a missing file itself.
  box.setFileMode(QFileDialog::AnyFile);
  box.setOption(QFileDialog::DontConfirmOverwrite,
                (dialog.flags & FileDialog::kOverwritePrompt) == 0);
  if (const QString filter = ToQtFilter(dialog.filter); !filter.isEmpty())
    box.setNameFilter(filter);
  if (!dialog.file_name.empty()) {
    if (auto host = paths_.ToHost(dialog.file_name)) {
      if (host->has_parent_path()) box.setDirectory(QString::fromStdString(host->parent_path()));
      box.selectFile(QString::fromStdString(host->filename()));
    }
  }
  // Long names show whole: the name column of the detail view takes the
  // width of the longest name as a folder's entries arrive (the user may
  // still resize it afterwards).
  if (auto* names = box.findChild<QTreeView*>(); names && names->model()) {
    const auto fit = [names] { names->resizeColumnToContents(0); };
    QObject::connect(names->model(), &QAbstractItemModel::rowsInserted, names, fit);
    QObject::connect(names->model(), &QAbstractItemModel::layoutChanged, names, fit);
    QObject::connect(names->model(), &QAbstractItemModel::modelReset, names, fit);
  }
  ComeToFront(box);
  const bool accepted = box.exec() == QDialog::Accepted;
  const QStringList chosen = box.selectedFiles();
  if (!accepted || chosen.isEmpty())
    return Ended(box.closed_from_frame ? DialogEnd::kClosed : DialogEnd::kCancelled);
  dialog.file_name = paths_.ToControl(std::filesystem::path(chosen.front().toStdString()));
  Ended(DialogEnd::kAccepted);
}

QtSession::QtSession(const QString& application_name)
    : app_(std::make_unique<QApplication>(argc_, argv_)) {
  QApplication::setApplicationName(application_name);
}

QtSession::~QtSession() = default;

void QtSession::CloseEveryWindowFromNowOn() {
  QMetaObject::invokeMethod(
      qApp,
      [] {
        auto* timer = new QTimer(qApp);
        QObject::connect(timer, &QTimer::timeout, [] {
          for (QWidget* window : QApplication::topLevelWidgets()) {
            if (!window->isVisible()) continue;
            if (auto* dialog = qobject_cast<QDialog*>(window)) {
              dialog->reject();
            } else {
              window->close();
            }
          }
        });
        timer->start(20);
      },
      Qt::QueuedConnection);
}

}  // namespace corabind::qt
