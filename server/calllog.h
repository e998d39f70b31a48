#pragma once

#include <QString>

namespace qor {

// One log line per call: method, duration, outcome and error code. Never the params,
// which carry patient data; a method name we do not serve is not echoed either.
QString formatCallLog(const QString &method, qint64 microseconds, bool ok, int errorCode);

} // namespace qor
