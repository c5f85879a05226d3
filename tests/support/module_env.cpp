// The test binary lives apart from the modules it was built with: point the
// loader at them, unless the caller chose others.
#include <cstdlib>

namespace {
const int kSmtpSet = ::setenv("CORABIND_SMTP_MODULE", CORABIND_SMTP_MODULE_PATH, 0);
#ifdef CORABIND_QT_MODULE_PATH
const int kQtSet = ::setenv("CORABIND_QT_MODULE", CORABIND_QT_MODULE_PATH, 0);
#endif
}  // namespace
