#pragma once

#include <QString>

namespace qor {

// The installation's token: read from the file, or, when the file is missing, made
// from the system's random source and written to a new file only its owner may read
// (0600). Raises Exception with a Portuguese message when it can do neither, or when
// the file is empty or no regular file (a named pipe, a device). `warning` receives a note when an
// existing file is readable by others.
QString loadOrCreateToken(const QString &path, QString *warning = nullptr);

} // namespace qor
