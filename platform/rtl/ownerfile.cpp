#include "ownerfile.h"

#include <QFile>
#include <QFileInfo>

namespace qor {

void CreateOwnerOnlyFile(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink())
        return;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                  QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        file.close();
}

} // namespace qor
