#include "regularfile.h"

#include <QFileInfo>

namespace qor {

bool RegularOrAbsent(const QString &path)
{
    const QFileInfo info(path);
    return path.isEmpty() || !info.exists() || info.isFile();
}

} // namespace qor
