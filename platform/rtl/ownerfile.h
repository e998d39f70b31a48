#pragma once

#include <QString>

class QSaveFile;

namespace qor {

// Creates an empty file that only its owner may read and write, when nothing is at
// `path` yet (not even a dangling link); anything already there is left as it is. For
// files that will hold health data or the installation's token, made before the program
// that fills them (SQLite, QSettings) would create them under the umask. Quiet when it
// cannot: whoever opens the file next says why.
void CreateOwnerOnlyFile(const QString &path);

// Opens `file` to be written and put in place whole on commit, for a file that holds
// health data (an export, a picture of the screen): made anew, it is owner-only whatever
// the umask; a file already at the path keeps the mode its owner gave it, which QSaveFile
// carries over. Quiet when the mode cannot be set (a file system without modes).
bool OpenOwnerOnlySave(QSaveFile &file);

} // namespace qor
