// The fonts a form names, as this machine can show them, and captions sized
// to fit the boxes the layout gives them.
#pragma once

#include <QFont>
#include <QSize>
#include <QString>
#include <QStringList>

#include "core/widgets.h"

class QLabel;
class QListWidget;
class QWidget;

namespace corabind::qt {

// The families to draw with for a designed `family`, best first. Latin
// letters, digits and the backslash come from a Latin face listed first
// (the Korean faces draw the backslash as a Won sign); Hangul falls back to
// the Korean face after it. The fixed-pitch Korean system faces (DotumChe,
// GulimChe) give a fixed-pitch list; Dotum, Gulim, an empty or an unknown
// family the proportional one. A family installed here leads its list.
QStringList FontFamilies(const std::u16string& family);

// The font of a widget whose design names `wanted`; an empty family or size
// takes that of `window` (the form's font), then the application's default.
QFont ResolveFont(const Font& wanted, const Font& window);

// Whether `text` drawn in `font` fits `room`: every line no wider, all lines
// no taller (descenders included). With `wrap`, the text breaks at spaces
// as a word-wrapping label breaks it, and a break may not leave a line of
// punctuation alone (a colon under its words).
bool TextFits(const QFont& font, const QString& text, QSize room, bool wrap);

// The layout's boxes were made for narrower faces than those installed
// here: a label's, button's or frame's caption in `window` that does not fit
// its box gets a smaller point size until it does; the boxes never change.
// Option buttons of one group then share the smallest size, so that the
// choices read as one list.
void FitCaptions(QWidget& window);

// A list and the label heading its columns share one font: the heading's
// (after FitCaptions), made smaller until the heading fits on one line both
// in its own box and inside the list beside a vertical scroll bar, so that
// any line as long as the heading shows whole.
void FitListHeading(QLabel& heading, QListWidget& list);

}  // namespace corabind::qt
