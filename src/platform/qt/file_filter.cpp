#include "platform/qt/file_filter.h"

#include <QStringList>

#include "platform/qt/qt_text.h"

namespace corabind::qt {

QString ToQtFilter(std::u16string_view filter) {
  if (filter.empty()) return {};
  const QStringList parts = ToQString(filter).split(QLatin1Char('|'));
  QStringList entries;
  for (qsizetype i = 0; i < parts.size(); i += 2) {
    const QString& description = parts[i];
    QStringList patterns;
    if (i + 1 < parts.size()) {
      for (QString p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        p = p.trimmed();
        if (p == QLatin1String("*.*")) p = QStringLiteral("*");
        if (!p.isEmpty()) patterns << p;
      }
    }
    if (patterns.isEmpty()) patterns << QStringLiteral("*");
    entries << description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                   QLatin1Char(')');
  }
  return entries.join(QStringLiteral(";;"));
}

}  // namespace corabind::qt
