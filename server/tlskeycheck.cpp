#include "tlskeycheck.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace qor {

QString tlsKeyExposure(const QString &keyPath)
{
    if (keyPath.isEmpty())
        return {};
    const QFileInfo info(keyPath);
    // The group may read it: installations give the service's group access (0640).
    if (!info.isFile()
        || !(info.permissions() & (QFileDevice::ReadOther | QFileDevice::WriteOther)))
        return {};
    return u"A chave privada TLS em %1 pode ser lida ou alterada por outros usuários; "
           u"use chmod 600 (ou 640 com o grupo do serviço)."_s.arg(keyPath);
}

} // namespace qor
