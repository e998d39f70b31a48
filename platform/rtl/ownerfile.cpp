#include "ownerfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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

bool OpenOwnerOnlySave(QSaveFile &file)
{
    const bool isNew = !QFileInfo::exists(file.fileName());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (isNew) // the mode of the temporary file, which becomes the file on commit
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

} // namespace qor
