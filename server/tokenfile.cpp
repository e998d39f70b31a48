#include "tokenfile.h"

#include "rtl/exceptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

constexpr auto OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

QString newToken()
{
    QByteArray bytes(32, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()),
                                          bytes.size() / int(sizeof(quint32)));
    return QString::fromLatin1(bytes.toHex());
}

} // namespace

QString loadOrCreateToken(const QString &path, QString *warning)
{
    QFile file(path);
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly))
            throw Exception(
                u"Não foi possível ler o arquivo de token %1: %2."_s.arg(path, file.errorString()));
        const QString token = QString::fromUtf8(file.readAll()).trimmed();
        if (token.isEmpty())
            throw Exception(u"O arquivo de token %1 está vazio."_s.arg(path));
        const auto others = QFileDevice::ReadGroup | QFileDevice::ReadOther
            | QFileDevice::WriteGroup | QFileDevice::WriteOther;
        if (warning && (file.permissions() & others))
            *warning = u"O arquivo de token %1 pode ser lido por outros usuários; "
                       u"use chmod 600."_s.arg(path);
        return token;
    }

    QDir().mkpath(QFileInfo(path).absolutePath());
    // Created with owner-only permissions, never briefly readable by others.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, OwnerOnly))
        throw Exception(
            u"Não foi possível criar o arquivo de token %1: %2."_s.arg(path, file.errorString()));
    const QString token = newToken();
    if (file.write(token.toLatin1() + '\n') < 0 || !file.flush()) {
        file.remove();
        throw Exception(u"Não foi possível gravar o arquivo de token %1."_s.arg(path));
    }
    file.setPermissions(OwnerOnly);
    return token;
}

} // namespace qor
