#pragma once

#include <QString>

namespace qor {

// True when nothing is at `path` (or it is empty) or it names a regular file. A named
// pipe or a device would leave whoever opens it waiting on the first read or write.
bool RegularOrAbsent(const QString &path);

} // namespace qor
