#pragma once

#include <QString>

namespace qor {

// Compares an offered access token with the installation's in time that depends on
// neither its content nor its length, so probing cannot learn it piece by piece.
// An empty expected token matches nothing.
bool tokensMatch(const QString &offered, const QString &expected);

} // namespace qor
