// The desktop on a real screen: forms drawn by the generic renderer, Qt
// message boxes and Qt's file dialogs. Needs a QApplication for its whole
// life (QtSession makes one).
#pragma once

#include <QString>
#include <memory>

#include "core/desktop.h"
#include "platform/posix/path_map.h"

class QApplication;

namespace corabind::qt {

class QtDesktop : public Desktop {
 public:
  // File dialogs translate between control paths and host paths through
  // `paths`; it must outlive this. Failure 429 when no QApplication exists.
  explicit QtDesktop(const PathMap& paths);

  void ShowModal(Form& form) override;
  // Text, OK only, and the application's name as caption.
  void MessageBox(const std::u16string& text) override;
  void ShowOpen(FileDialog& dialog) override;
  void ShowSave(FileDialog& dialog) override;

 private:
  void ShowFileDialog(FileDialog& dialog, bool save);

  const PathMap& paths_;
};

// Owns the QApplication of a process that shows windows.
class QtSession {
 public:
  // `application_name` is the caption of message boxes.
  explicit QtSession(const QString& application_name = QStringLiteral("corabind"));
  ~QtSession();
  QtSession(const QtSession&) = delete;
  QtSession& operator=(const QtSession&) = delete;

  // From any thread: from now on every window is cancelled or closed soon
  // after it shows, so that a modal call returns.
  static void CloseEveryWindowFromNowOn();

 private:
  int argc_ = 1;
  char name_[9] = "corabind";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

}  // namespace corabind::qt
