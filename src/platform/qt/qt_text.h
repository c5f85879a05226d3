// Text crosses between the control (UTF-16 std::u16string) and Qt (QString,
// also UTF-16) without any re-encoding.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace corabind::qt {

inline QString ToQString(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::u16string FromQString(const QString& text) {
  return text.toStdU16String();
}

}  // namespace corabind::qt
