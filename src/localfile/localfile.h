// The local file job: the members SaveToLocal and GetLocalHTMLFile, through
// the control's file dialog.
#pragma once

#include <string>

#include "core/control_data.h"
#include "core/variant.h"

namespace corabind::localfile {

Variant SaveToLocal(ControlData& control, const std::u16string& Source,
                    const std::u16string& filename, VariantBool saveas);
std::u16string GetLocalHTMLFile(ControlData& control);

}  // namespace corabind::localfile
