#include "tokenfile.h"

#include "rtl/exceptions.h"
#include "rtl/regularfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryFile>
#include <cerrno>
#include <cstring>
#include <unistd.h>

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

QString readToken(const QString &path, QString *warning)
{
    // A named pipe would hold the start for good, deaf to SIGTERM; a device such as
    // /dev/zero never ends, and the server would fill its memory.
    if (!RegularOrAbsent(path))
        throw Exception(u"O arquivo de token %1 não é um arquivo comum."_s.arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Exception(
            u"Não foi possível ler o arquivo de token %1: %2."_s.arg(path, file.errorString()));
    const QString token = QString::fromUtf8(file.readAll()).trimmed();
    if (token.isEmpty())
        throw Exception(u"O arquivo de token %1 está vazio."_s.arg(path));
    const auto others = QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup
        | QFileDevice::WriteOther;
    if (warning && (file.permissions() & others))
        *warning =
            u"O arquivo de token %1 pode ser lido por outros usuários; use chmod 600."_s.arg(path);
    return token;
}

} // namespace

QString loadOrCreateToken(const QString &path, QString *warning)
{
    if (QFile::exists(path))
        return readToken(path, warning);

    QDir().mkpath(QFileInfo(path).absolutePath());
    // Written whole under a name of its own (owner-only, never briefly readable by
    // others), then linked into place: a server starting at the same moment finds no
    // file or the whole token, never an empty one, and whoever links second takes the
    // token already there, so all of them serve with the same one.
    QTemporaryFile file(path + u".XXXXXX"_s);
    if (!file.open())
        throw Exception(
            u"Não foi possível criar o arquivo de token %1: %2."_s.arg(path, file.errorString()));
    const QString token = newToken();
    if (file.write(token.toLatin1() + '\n') < 0 || !file.flush())
        throw Exception(u"Não foi possível gravar o arquivo de token %1."_s.arg(path));
    file.setPermissions(OwnerOnly);
    if (::link(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(path).constData())
        != 0) {
        if (errno == EEXIST)
            return readToken(path, warning); // another server's, or a link in its place
        throw Exception(u"Não foi possível criar o arquivo de token %1: %2."_s.arg(
            path, QString::fromLocal8Bit(std::strerror(errno))));
    }
    return token; // the temporary name goes with `file`, the token stays under `path`
}

} // namespace qor
