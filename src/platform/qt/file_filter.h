// The file dialog component's filter ("description|pattern|description|
// pattern", patterns joined by ";") in the form QFileDialog takes.
#pragma once

#include <QString>
#include <string_view>

namespace corabind::qt {

// "HTML(*.htm)|*.htm;*.html|All|*.*" gives "HTML(*.htm) (*.htm *.html);;All (*)".
// "*.*" means every file, as on the system the filters were written for (in
// Qt it would need a dot). A description without a pattern shows every
// file; an empty filter gives "" (no filter).
QString ToQtFilter(std::u16string_view filter);

}  // namespace corabind::qt
