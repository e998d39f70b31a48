#pragma once

#include <QString>

namespace qor {

// A warning for the log when users other than the server's own and its group may
// read or change the TLS private key; empty when it is kept as it should be.
QString tlsKeyExposure(const QString &keyPath);

} // namespace qor
