#include "databaseuri.h"

#include "rtl/exceptions.h"

#include <QRegularExpression>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

// The address as it may be shown in logs and dialogs: whatever stands between "user:"
// and the last "@" is masked, so a password is hidden even where the rest is malformed.
QString withoutPassword(const QString &text)
{
    static const QRegularExpression password(u"^([A-Za-z][A-Za-z0-9+.-]*://[^:/?#@]*:).*@"_s);
    QString shown = text;
    return shown.replace(password, u"\\1***@"_s);
}

[[noreturn]] void refuse(const QString &text, const QString &why)
{
    throw EDatabaseError(
        u"Endereço de banco de dados inválido \"%1\": %2."_s.arg(withoutPassword(text), why));
}

} // namespace

DatabaseUri DatabaseUri::parse(const QString &text)
{
    DatabaseUri uri;
    if (text.startsWith(u"sqlite:"_s)) {
        uri.dialect = SqlDialect::SQLite;
        uri.path = text.mid(7);
        if (uri.path.startsWith(u"//"_s)) // sqlite:///abs/path
            uri.path = uri.path.mid(2);
        if (uri.path.isEmpty())
            refuse(text, u"falta o caminho do arquivo"_s);
        return uri;
    }
    if (!text.startsWith(u"postgresql://"_s) && !text.startsWith(u"postgres://"_s))
        refuse(text, u"use sqlite:CAMINHO ou postgresql://usuario@servidor:porta/banco"_s);

    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid()) // Qt's reason quotes the whole address, password and all
        refuse(text,
               u"endereço malformado (verifique a porta; no usuário e na senha, escreva os "
               u"caracteres especiais como %XX)"_s);
    // Connection options after "?" (sslmode=verify-full, say) are not passed on: taking
    // the address without them would connect with weaker settings than were asked for.
    // PostgreSQL's own environment variables (PGSSLMODE and the like) still apply.
    if (url.hasQuery() || url.hasFragment())
        refuse(text,
               u"opções após \"?\" não são aceitas; use as variáveis de ambiente do "
               u"PostgreSQL (PGSSLMODE, PGSSLROOTCERT...)"_s);
    uri.dialect = SqlDialect::PostgreSQL;
    uri.host = url.host();
    uri.port = url.port(5432);
    uri.user = url.userName();
    uri.password = url.password();
    uri.database = url.path().mid(1);
    if (uri.host.isEmpty())
        refuse(text, u"falta o servidor"_s);
    if (uri.database.isEmpty() || uri.database.contains(u'/'))
        refuse(text, u"falta o nome do banco"_s);
    if (uri.port <= 0 || uri.port > 65535)
        refuse(text, u"porta fora do intervalo"_s);
    return uri;
}

QString DatabaseUri::toString() const
{
    if (dialect == SqlDialect::SQLite)
        return u"sqlite:"_s + path;
    QUrl url;
    url.setScheme(u"postgresql"_s);
    url.setHost(host);
    url.setPort(port);
    url.setUserName(user);
    url.setPassword(password);
    url.setPath(u"/"_s + database);
    return url.toString();
}

QString DatabaseUri::toDisplayString() const
{
    if (dialect == SqlDialect::SQLite)
        return toString();
    DatabaseUri shown = *this;
    shown.password.clear();
    return shown.toString();
}

} // namespace qor
