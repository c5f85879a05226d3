// The fonts a form names, as this machine can show them.
#pragma once

#include <QFont>
#include <QString>

#include "core/widgets.h"

namespace corabind::qt {

// The installed family to use for `family`: itself when installed; for the
// Korean system faces the dialogs were designed with (Dotum, Gulim and
// their fixed-pitch forms) an installed Korean face such as NanumGothic;
// otherwise "" (the application's default font).
QString InstalledFamily(const std::u16string& family);

// The font of a widget whose design names `wanted`; an empty family or size
// takes that of `window` (the form's font), then the application's default.
QFont ResolveFont(const Font& wanted, const Font& window);

}  // namespace corabind::qt
