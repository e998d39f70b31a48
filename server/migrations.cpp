#include "migrations.h"

#include "rtl/exceptions.h"
#include "sql/sqlconnection.h"
#include "sql/sqlquery.h"
#include "sql/sqltransaction.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

struct Migration
{
    int version;
    QString path;
};

QList<Migration> availableMigrations(SqlDialect dialect)
{
    QList<Migration> found;
    const QDir dir(u":/qor/db/"_s + dialectName(dialect));
    for (const QString &name : dir.entryList({u"*.sql"_s}, QDir::Files, QDir::Name)) {
        bool ok = false;
        const int version = name.section(u'_', 0, 0).toInt(&ok);
        if (ok && version > 0)
            found.append({version, dir.filePath(name)});
    }
    return found;
}

int currentVersion(const QSqlDatabase &db)
{
    SqlStatement query(db, u"SELECT MAX(VERSION) FROM QOR_SCHEMA"_s);
    query.exec();
    return query.next() ? query.value(0).toInt() : 0;
}

QString readScript(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EDatabaseError(u"Não foi possível ler a migração %1."_s.arg(path));
    return QString::fromUtf8(file.readAll());
}

} // namespace

void lockMigrations(const QSqlDatabase &db)
{
    if (dialectOf(db) != SqlDialect::PostgreSQL) // SQLite's BEGIN IMMEDIATE already serializes
        return;
    // What is read after the wait must include what the server that held the lock
    // committed. Under an administrator's default_transaction_isolation of repeatable read
    // or serializable the transaction would read one snapshot, taken before the wait, and
    // a server started at once with another would apply the schema or the demo data again
    // and fail to start.
    execSql(db, u"SET TRANSACTION ISOLATION LEVEL READ COMMITTED"_s);
    execSql(db, u"SELECT pg_advisory_xact_lock(12700)"_s);
}

QStringList splitSqlScript(const QString &script)
{
    QStringList statements;
    QString current;
    for (const QString &line : script.split(u'\n')) {
        if (line.trimmed().startsWith(u"--"_s))
            continue;
        current += line + u'\n';
        if (line.trimmed().endsWith(u';')) {
            current = current.trimmed();
            current.chop(1);
            statements.append(current);
            current.clear();
        }
    }
    if (!current.trimmed().isEmpty())
        statements.append(current.trimmed());
    return statements;
}

int migrateSchema(const QSqlDatabase &db)
{
    const SqlDialect dialect = dialectOf(db);
    // Only when missing: PostgreSQL refuses even CREATE TABLE IF NOT EXISTS to a role
    // without the right to create, as when an administrator made the schema and lets
    // the server's role only read and write it.
    QSqlQuery probe(db);
    const bool missing = !probe.exec(u"SELECT 1 FROM QOR_SCHEMA WHERE 1 = 0"_s);
    probe.finish();
    if (missing) {
        // PostgreSQL lets two servers creating the table at once collide in its catalogue
        // (a unique violation, not "already exists"): the second waits for the first.
        SqlTransaction transaction(db);
        lockMigrations(db);
        execSql(db,
                u"CREATE TABLE IF NOT EXISTS QOR_SCHEMA (VERSION integer NOT NULL PRIMARY KEY, "
                u"APPLIED varchar(23) NOT NULL)"_s);
        transaction.commit();
    }
    const QList<Migration> migrations = availableMigrations(dialect);
    const int newest = migrations.isEmpty() ? 0 : migrations.last().version;

    for (const Migration &migration : migrations) {
        SqlTransaction transaction(db);
        lockMigrations(db);
        if (currentVersion(db) >= migration.version)
            continue;
        try {
            for (const QString &statement : splitSqlScript(readScript(migration.path)))
                execSql(db, statement);
            SqlStatement record(db, u"INSERT INTO QOR_SCHEMA (VERSION, APPLIED) VALUES (?, ?)"_s);
            record.bind(migration.version)
                .bind(QDateTime::currentDateTimeUtc().toString(u"yyyy-MM-dd HH:mm:ss.zzz"_s));
            record.exec();
            transaction.commit();
        } catch (const EDatabaseError &e) {
            // The administrator has to know which script the database stopped before.
            throw EDatabaseError(
                u"Não foi possível atualizar o esquema do banco de dados para a "
                u"versão %1 (%2); nada dela foi aplicado. %3"_s.arg(migration.version)
                    .arg(QFileInfo(migration.path).fileName(), e.Message()));
        }
    }

    const int version = currentVersion(db);
    if (version > newest)
        throw EDatabaseError(u"O banco de dados está na versão %1 do esquema, mais nova que a "
                             u"deste servidor (%2). Atualize o qor-server."_s.arg(version)
                                 .arg(newest));
    return version;
}

} // namespace qor
