// The test binary lives apart from the parser helper it was built with: point
// the HTML layer at it, unless the caller chose another.
#include <cstdlib>

namespace {
const int kHelperSet = ::setenv("CORABIND_HTML_HELPER", CORABIND_HTML_HELPER_PATH, 0);
}  // namespace
