#include "sqlconnection.h"

#include "rtl/exceptions.h"

#include <QAtomicInteger>
#include <QHash>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

[[noreturn]] void cannotOpen(const DatabaseUri &uri, const QString &reason)
{
    throw EDatabaseError(u"Não foi possível abrir o banco de dados %1: %2"_s.arg(
        uri.toDisplayString(), reason.trimmed()));
}

void runSetup(QSqlDatabase &db, const DatabaseUri &uri, const QString &statement)
{
    QSqlQuery query(db);
    if (!query.exec(statement))
        cannotOpen(uri, query.lastError().text());
}

// The connections this thread made, removed when the thread ends.
struct ThreadConnections
{
    QHash<QString, QString> names; // URI -> connection name
    ~ThreadConnections()
    {
        for (const QString &name : std::as_const(names)) {
            QSqlDatabase::database(name, false).close();
            QSqlDatabase::removeDatabase(name);
        }
    }
};

thread_local ThreadConnections threadConnections;

QString newConnectionName(const DatabaseUri &uri)
{
    static QAtomicInteger<quint64> counter;
    return u"qor-%1-%2"_s.arg(dialectName(uri.dialect)).arg(counter.fetchAndAddRelaxed(1));
}

} // namespace

QSqlDatabase openDatabase(const DatabaseUri &uri, const QString &connectionName)
{
    const QString driver = driverName(uri.dialect);
    if (!QSqlDatabase::isDriverAvailable(driver))
        cannotOpen(uri, u"o driver %1 do Qt não está instalado."_s.arg(driver));

    QSqlDatabase db = QSqlDatabase::addDatabase(driver, connectionName);
    if (uri.dialect == SqlDialect::SQLite) {
        db.setDatabaseName(uri.path);
        // Writers wait for each other instead of failing at once.
        db.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=10000"_s);
    } else {
        db.setHostName(uri.host);
        db.setPort(uri.port);
        db.setUserName(uri.user);
        db.setPassword(uri.password);
        db.setDatabaseName(uri.database);
        db.setConnectOptions(u"connect_timeout=10"_s);
    }
    if (!db.open()) {
        const QString reason = db.lastError().text();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
        cannotOpen(uri, reason);
    }
    if (uri.dialect == SqlDialect::SQLite) {
        // Foreign keys are off by default and per connection.
        runSetup(db, uri, u"PRAGMA foreign_keys = ON"_s);
        runSetup(db, uri, u"PRAGMA journal_mode = WAL"_s);
        runSetup(db, uri, u"PRAGMA synchronous = NORMAL"_s);
    } else {
        runSetup(db, uri, u"SET client_encoding TO 'UTF8'"_s);
    }
    return db;
}

QSqlDatabase threadDatabase(const DatabaseUri &uri)
{
    const QString key = uri.toString();
    auto it = threadConnections.names.constFind(key);
    if (it != threadConnections.names.constEnd()) {
        QSqlDatabase db = QSqlDatabase::database(*it, false);
        if (db.isOpen())
            return db;
        // Lost (e.g. the database server restarted): start afresh.
        const QString name = *it;
        threadConnections.names.remove(key);
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
    }
    const QString name = newConnectionName(uri);
    QSqlDatabase db = openDatabase(uri, name);
    threadConnections.names.insert(key, name);
    return db;
}

void closeThreadDatabase(const DatabaseUri &uri)
{
    const QString name = threadConnections.names.take(uri.toString());
    if (name.isEmpty())
        return;
    QSqlDatabase::database(name, false).close();
    QSqlDatabase::removeDatabase(name);
}

SqlDialect dialectOf(const QSqlDatabase &db)
{
    return dialectOf(db.driver());
}

SqlDialect dialectOf(const QSqlDriver *driver)
{
    return driver && driver->dbmsType() == QSqlDriver::PostgreSQL ? SqlDialect::PostgreSQL
                                                                  : SqlDialect::SQLite;
}

} // namespace qor
