#include "platform/qt/fonts.h"

#include <QApplication>
#include <QFontDatabase>
#include <array>

#include "core/text.h"
#include "platform/qt/qt_text.h"

namespace corabind::qt {

namespace {

bool IsKoreanSystemFace(const std::u16string& family) {
  static constexpr std::array<std::u16string_view, 8> kFaces = {
      u"dotum", u"dotumche", u"gulim", u"gulimche", u"돋움", u"돋움체", u"굴림", u"굴림체"};
  const std::u16string lower = AsciiLower(family);
  for (auto face : kFaces) {
    if (lower == face) return true;
  }
  return false;
}

}  // namespace

QString InstalledFamily(const std::u16string& family) {
  if (family.empty()) return {};
  const QString wanted = ToQString(family);
  if (QFontDatabase::hasFamily(wanted)) return wanted;
  if (!IsKoreanSystemFace(family)) return {};
  // Gothic (sans-serif) Hangul faces from common Linux font packages, the
  // closest in look to the designed faces first.
  for (const char* face : {"NanumGothic", "NanumBarunGothic", "Noto Sans CJK KR", "Noto Sans KR",
                           "UnDotum", "Baekmuk Gulim", "Baekmuk Dotum"}) {
    if (QFontDatabase::hasFamily(QString::fromLatin1(face))) return QString::fromLatin1(face);
  }
  return {};
}

QFont ResolveFont(const Font& wanted, const Font& window) {
  QFont font = QApplication::font();
  const std::u16string& family = wanted.family.empty() ? window.family : wanted.family;
  const double points = wanted.points > 0 ? wanted.points : window.points;
  if (const QString installed = InstalledFamily(family); !installed.isEmpty())
    font.setFamilies({installed});
  if (points > 0) font.setPointSizeF(points);
  return font;
}

}  // namespace corabind::qt
