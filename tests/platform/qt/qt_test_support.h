// Helpers for driving real Qt windows from tests under the offscreen
// platform: a modal window blocks its caller, so the test queues what the
// user does and it runs once the window is up.
#pragma once

#include <QApplication>
#include <QStandardPaths>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "platform/qt/qt_desktop.h"

namespace corabind::qt::testing {

inline void EnsureApplication() {
  // Settings that Qt's own dialogs keep (the file dialog's columns, its
  // last folder) go to a test location, not the user's.
  QStandardPaths::setTestModeEnabled(true);
  // Kept for the whole test run: Qt does not support a second QApplication.
  static QtSession* session = new QtSession(QStringLiteral("corabind"));
  (void)session;
}

// Runs `act` on the next modal window whose class is W (and whose object
// name is `name` when given) as soon as it is shown.
template <class W>
void WhenModal(std::function<void(W&)> act, QString name = {}) {
  QTimer::singleShot(0, [act = std::move(act), name] {
    auto* w = qobject_cast<W*>(QApplication::activeModalWidget());
    if (!w || !w->isVisible() || (!name.isEmpty() && w->objectName() != name)) {
      WhenModal<W>(std::move(act), name);
      return;
    }
    act(*w);
  });
}

inline QString Q(const std::u16string& s) {
  return QString::fromStdU16String(s);
}

template <class W>
W& Child(QWidget& window, const char* name) {
  auto* w = window.findChild<W*>(QString::fromLatin1(name));
  if (!w) throw std::runtime_error(std::string("no widget ") + name);
  return *w;
}

}  // namespace corabind::qt::testing

// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
