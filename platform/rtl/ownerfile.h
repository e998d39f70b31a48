#pragma once

#include <QString>

namespace qor {

// Creates an empty file that only its owner may read and write, when nothing is at
// `path` yet (not even a dangling link); anything already there is left as it is. For
// files that will hold health data or the installation's token, made before the program
// that fills them (SQLite, QSettings) would create them under the umask. Quiet when it
// cannot: whoever opens the file next says why.
void CreateOwnerOnlyFile(const QString &path);

} // namespace qor
