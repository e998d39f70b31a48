#include "sqlreasons.h"

#include "sqlerror.h"

using namespace Qt::StringLiterals;

namespace qor {

namespace {

// The name a PostgreSQL text quotes after `before`: role "qor" -> qor.
QString quotedAfter(const QString &text, QLatin1StringView before)
{
    const qsizetype at = text.indexOf(before);
    if (at < 0)
        return {};
    const qsizetype start = at + before.size();
    const qsizetype end = text.indexOf(u'"', start);
    return end < 0 ? QString() : text.mid(start, end - start);
}

// PostgreSQL reports a refused connection without a SQLSTATE, in the client library's
// words: those are read from the text.
QString postgresReason(const QSqlError &error)
{
    const QString code = error.nativeErrorCode();
    const QString text = error.databaseText();
    if (code == "42P01"_L1) {
        const QString table = quotedAfter(text, "relation \""_L1);
        if (!table.isEmpty())
            return u"a tabela %1 não existe"_s.arg(table);
    }
    if (code == "42501"_L1) {
        // The object is named: an administrator granting rights needs to know which (a
        // role that may not create in the schema public is refused its first start).
        const QLatin1StringView deniedFor("permission denied for ");
        if (const qsizetype at = text.indexOf(deniedFor); at >= 0) {
            const QString object = text.mid(at + deniedFor.size()).section(u'\n', 0, 0).trimmed();
            const QString kind = object.section(u' ', 0, 0);
            const QString name = object.section(u' ', 1);
            static const struct
            {
                QLatin1StringView kind;
                const char16_t *words;
            } kinds[] = {
                {"table"_L1, u"à tabela"},       {"schema"_L1, u"ao esquema"},
                {"sequence"_L1, u"à sequência"}, {"view"_L1, u"à visão"},
                {"database"_L1, u"ao banco"},    {"function"_L1, u"à função"},
            };
            for (const auto &k : kinds) {
                if (kind == k.kind && !name.isEmpty())
                    return u"o usuário não tem permissão de acesso %1 %2"_s.arg(
                        QString::fromUtf16(k.words), name);
            }
        }
        return u"o usuário não tem permissão para esta operação"_s;
    }
    if (code == "22P05"_L1)
        return u"o texto informado tem caracteres que a codificação do banco de dados "
               u"não aceita"_s;
    if (code == "53100"_L1)
        return u"não há espaço em disco no servidor do banco de dados"_s;
    if (code == "28P01"_L1 || text.contains("password authentication failed"_L1))
        return u"usuário ou senha recusados pelo servidor do banco de dados"_s;
    if (text.contains("no password supplied"_L1))
        return u"a senha não foi informada (escreva-a no arquivo ~/.pgpass)"_s;
    if (text.contains("does not exist"_L1)) {
        if (const QString role = quotedAfter(text, "role \""_L1); !role.isEmpty())
            return u"o usuário %1 não existe no servidor do banco de dados"_s.arg(role);
        if (const QString database = quotedAfter(text, "database \""_L1); !database.isEmpty())
            return u"o banco %1 não existe no servidor do banco de dados"_s.arg(database);
    }
    if (text.contains("Connection refused"_L1))
        return u"conexão recusada pelo servidor do banco de dados"_s;
    if (text.contains("could not translate host name"_L1))
        return u"servidor do banco de dados não encontrado"_s;
    if (text.contains("timeout expired"_L1))
        return u"tempo esgotado ao conectar ao servidor do banco de dados"_s;
    return {};
}

QString sqliteReason(const QSqlError &error)
{
    // The primary result code: SQLite may report an extended one.
    switch (error.nativeErrorCode().toInt() & 0xff) {
    case 1: { // SQLITE_ERROR: among others, a table that is not there
        const QString text = error.databaseText();
        if (text.startsWith("no such table: "_L1))
            return u"a tabela %1 não existe"_s.arg(text.mid(15).trimmed());
        return {};
    }
    case 5: // SQLITE_BUSY
    case 6: // SQLITE_LOCKED
        return u"o banco de dados está ocupado por outra gravação"_s;
    case 8: // SQLITE_READONLY
        return u"o banco de dados não aceita gravações"_s;
    case 10: // SQLITE_IOERR
        return u"falha de leitura ou gravação no disco"_s;
    case 11: // SQLITE_CORRUPT
        return u"o arquivo do banco de dados está danificado"_s;
    case 13: // SQLITE_FULL
        return u"não há espaço em disco"_s;
    case 14: // SQLITE_CANTOPEN
        return u"não foi possível abrir o arquivo (a pasta não existe ou não permite acesso)"_s;
    case 26: // SQLITE_NOTADB
        return u"o arquivo não é um banco de dados"_s;
    default:
        return {};
    }
}

} // namespace

QString databaseFailureReason(SqlDialect dialect, const QSqlError &error)
{
    const QString reason =
        dialect == SqlDialect::PostgreSQL ? postgresReason(error) : sqliteReason(error);
    if (!reason.isEmpty())
        return reason;
    if (classifySqlError(dialect, error) == SqlErrorKind::Busy)
        return u"o banco de dados está ocupado; tente novamente"_s;
    // The database's first line, else Qt's text: drivers add lines of detail and hints a
    // user need not read.
    QString detail = error.databaseText().section(u'\n', 0, 0).trimmed();
    if (detail.isEmpty())
        detail = error.text().trimmed();
    if (detail.endsWith(u'.')) // the message around it ends the sentence
        detail.chop(1);
    return detail;
}

} // namespace qor
