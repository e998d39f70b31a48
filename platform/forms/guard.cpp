#include "forms/guard.h"

#include "forms/application.h"

#include <QtGlobal>

namespace qor {

void handleGuardedException(std::exception_ptr error) noexcept
{
    // HandleException does not throw; the extra net keeps a fault in the handler
    // itself from unwinding into Qt.
    try {
        Application()->HandleException(error);
    } catch (...) {
        qWarning("qor: exception while reporting an exception");
    }
}

} // namespace qor
