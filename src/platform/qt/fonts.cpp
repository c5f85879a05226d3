#include "platform/qt/fonts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <map>

#include "core/text.h"
#include "platform/qt/qt_text.h"

namespace corabind::qt {

namespace {

bool IsOneOf(const std::u16string& lower, std::initializer_list<std::u16string_view> faces) {
  for (auto face : faces) {
    if (lower == face) return true;
  }
  return false;
}

// Latin faces first, then the Korean ones, each list from common Debian
// font packages; Qt takes the first installed face of the list and falls
// back along it for characters that face lacks.
QStringList Faces(bool fixed_pitch) {
  if (fixed_pitch) {
    return {QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Liberation Mono"),
            QStringLiteral("NanumGothicCoding"), QStringLiteral("NanumGothic"),
            QStringLiteral("Noto Sans Mono CJK KR")};
  }
  return {QStringLiteral("DejaVu Sans"),      QStringLiteral("Liberation Sans"),
          QStringLiteral("NanumGothic"),      QStringLiteral("NanumBarunGothic"),
          QStringLiteral("Noto Sans CJK KR"), QStringLiteral("UnDotum"),
          QStringLiteral("Baekmuk Gulim")};
}

// The smallest size a caption is shrunk to; below it text stops being
// readable and a clipped end is the lesser harm.
constexpr double kSmallestPoints = 6;

}  // namespace

QStringList FontFamilies(const std::u16string& family) {
  const std::u16string lower = AsciiLower(family);
  const bool fixed_pitch = IsOneOf(lower, {u"dotumche", u"gulimche", u"돋움체", u"굴림체"});
  QStringList faces = Faces(fixed_pitch);
  const bool designed_korean =
      fixed_pitch || IsOneOf(lower, {u"dotum", u"gulim", u"돋움", u"굴림"});
  if (!family.empty() && !designed_korean && QFontDatabase::hasFamily(ToQString(family)))
    faces.prepend(ToQString(family));
  return faces;
}

QFont ResolveFont(const Font& wanted, const Font& window) {
  QFont font = QApplication::font();
  const std::u16string& family = wanted.family.empty() ? window.family : wanted.family;
  const double points = wanted.points > 0 ? wanted.points : window.points;
  font.setFamilies(FontFamilies(family));
  if (points > 0) font.setPointSizeF(points);
  return font;
}

bool TextFits(const QFont& font, const QString& text, QSize room, bool wrap) {
  // A line feed breaks the line, as in a label.
  QString laid_out = text;
  laid_out.replace(QLatin1Char('\n'), QChar::LineSeparator);
  QTextLayout layout(laid_out, font);
  QTextOption option;
  option.setWrapMode(wrap ? QTextOption::WordWrap : QTextOption::NoWrap);
  layout.setTextOption(option);
  // Lines stacked as a label draws them: leading between lines only.
  const qreal leading = QFontMetricsF(font).leading();
  qreal height = 0;
  int lines = 0;
  bool fits = true;
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(room.width());
    if (lines++ > 0) height += leading;
    height += line.height();
    if (line.naturalTextWidth() > room.width()) fits = false;
    const QString part = text.mid(line.textStart(), line.textLength());
    if (wrap &&
        std::none_of(part.begin(), part.end(), [](QChar c) { return c.isLetterOrNumber(); }))
      fits = fits && lines == 1;
  }
  layout.endLayout();
  return fits && std::ceil(height) <= room.height();
}

namespace {

// `font`, or the largest smaller size at which `text` fits `room`.
QFont Shrunk(QFont font, const QString& text, QSize room, bool wrap) {
  for (double points = font.pointSizeF(); points > kSmallestPoints; points -= 0.25) {
    font.setPointSizeF(points);
    if (TextFits(font, text, room, wrap)) break;
  }
  return font;
}

void FitCaption(QWidget& view) {
  QString text;
  QSize room;
  bool wrap = false;
  const QStyle& style = *view.style();
  if (auto* label = qobject_cast<QLabel*>(&view)) {
    text = label->text();
    room = label->contentsRect().size();
    wrap = label->wordWrap();
  } else if (auto* button = qobject_cast<QAbstractButton*>(&view)) {
    text = button->text();
    // What the style adds to the text: the indicator and its spacing for
    // option buttons and check boxes, margins for push buttons.
    int taken = 2 * style.pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
    if (!qobject_cast<QPushButton*>(button))
      taken = button->sizeHint().width() -
              button->fontMetrics().size(Qt::TextShowMnemonic, text).width();
    room = QSize(view.width() - taken, view.height());
  } else if (auto* frame = qobject_cast<QGroupBox*>(&view)) {
    text = frame->title();
    // The title sits inset from both ends of the frame's line.
    room = QSize(view.width() - 16, view.height());
  }
  if (text.isEmpty()) return;
  view.setFont(Shrunk(view.font(), text, room, wrap));
}

}  // namespace

void FitCaptions(QWidget& window) {
  std::map<QWidget*, double> group_points;  // by the group's container
  for (QWidget* view : window.findChildren<QWidget*>()) {
    FitCaption(*view);
    if (qobject_cast<QRadioButton*>(view)) {
      auto [it, added] = group_points.try_emplace(view->parentWidget(), view->font().pointSizeF());
      if (!added) it->second = std::min(it->second, view->font().pointSizeF());
    }
  }
  for (auto* option : window.findChildren<QRadioButton*>()) {
    QFont font = option->font();
    font.setPointSizeF(group_points[option->parentWidget()]);
    option->setFont(font);
  }
}

void FitListHeading(QLabel& heading, QListWidget& list) {
  // A line's text is inset from the list's frame by the style's item
  // margin on both sides (as the style lays item text out), and loses the
  // width of the scroll bar that more lines than rows bring.
  const QStyle& style = *list.style();
  const int margin = style.pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &list) + 1;
  const int bar = style.pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &list);
  const QRect own = heading.contentsRect();
  const int in_list = list.contentsRect().width() - 2 * margin - bar;
  const QFont font = Shrunk(heading.font(), heading.text(),
                            QSize(std::min(own.width(), in_list), own.height()), false);
  heading.setFont(font);
  list.setFont(font);
}

}  // namespace corabind::qt
