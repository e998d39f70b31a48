#include "sqlconnection.h"

#include "rtl/exceptions.h"
#include "rtl/ownerfile.h"
#include "sqlerror.h"
#include "sqlreasons.h"

#include <QAtomicInteger>
#include <QDeadlineTimer>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

// A connection that cannot be opened or set up is no connection: callers that serve
// others (the server) say so without the address, which only the administrator needs.
[[noreturn]] void cannotOpen(const DatabaseUri &uri, const QString &reason,
                             SqlErrorKind kind = SqlErrorKind::Connection)
{
    throw ESqlError(kind, QString(),
                    u"Não foi possível abrir o banco de dados %1: %2."_s.arg(uri.toDisplayString(),
                                                                             reason.trimmed()));
}

void runSetup(QSqlDatabase &db, const DatabaseUri &uri, const QString &statement)
{
    QSqlQuery query(db);
    // Turning a new SQLite file to WAL while another process opens it too is refused
    // as busy at once, without the busy timeout's wait: wait here as the timeout would.
    const QDeadlineTimer deadline(SqlLockWaitMs);
    while (!query.exec(statement)) {
        const QSqlError error = query.lastError();
        const bool busy = classifySqlError(uri.dialect, error) == SqlErrorKind::Busy;
        if (!busy || deadline.hasExpired())
            cannotOpen(uri, databaseFailureReason(uri.dialect, error),
                       busy ? SqlErrorKind::Busy : SqlErrorKind::Connection);
        QThread::msleep(20);
    }
}

// The connections this thread made, with their prepared statements; removed when
// the thread ends.
struct ThreadConnection
{
    QString name;
    QSqlDatabase db;
    QHash<QString, std::shared_ptr<QSqlQuery>> statements;
    QSet<QString> stale; // kept statements to prepare again before their next use
};

void release(ThreadConnection &connection)
{
    connection.statements.clear(); // queries first: they hold the connection
    connection.stale.clear();
    connection.db.close();
    connection.db = QSqlDatabase();
    QSqlDatabase::removeDatabase(connection.name);
}

struct ThreadConnections
{
    QHash<QString, ThreadConnection> byUri;
    ~ThreadConnections()
    {
        for (ThreadConnection &connection : byUri)
            release(connection);
    }
    ThreadConnection *byName(const QString &name)
    {
        for (ThreadConnection &connection : byUri) {
            if (connection.name == name)
                return &connection;
        }
        return nullptr;
    }
};

thread_local ThreadConnections threadConnections;

// The SQLite file a connection opened, as device and inode, kept on its driver object.
constexpr const char *OpenedFileProperty = "qorOpenedFile";
// Its write-ahead log, likewise, when the connection has one open.
constexpr const char *OpenedLogProperty = "qorOpenedLog";

QString writeAheadLogPath(const QString &databasePath)
{
    return databasePath + u"-wal"_s;
}

QString fileIdentity(const QString &path)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return u"%1:%2"_s.arg(quint64(info.st_dev)).arg(quint64(info.st_ino));
}

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
        cannotOpen(uri, u"o driver %1 do Qt não está instalado"_s.arg(driver));

    QSqlDatabase db = QSqlDatabase::addDatabase(driver, connectionName);
    if (uri.dialect == SqlDialect::SQLite) {
        // Health data: SQLite would make a new file (and its journals, which take the
        // main file's mode) readable by everyone under the usual umask.
        if (uri.path != u":memory:"_s)
            CreateOwnerOnlyFile(uri.path);
        db.setDatabaseName(uri.path);
        // Writers wait for each other instead of failing at once.
        db.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=%1"_s.arg(SqlLockWaitMs));
    } else {
        db.setHostName(uri.host);
        db.setPort(uri.port);
        db.setUserName(uri.user);
        db.setPassword(uri.password);
        db.setDatabaseName(uri.database);
        db.setConnectOptions(u"connect_timeout=10"_s);
    }
    if (!db.open()) {
        const QString reason = databaseFailureReason(uri.dialect, db.lastError());
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
        cannotOpen(uri, reason);
    }
    try {
        if (uri.dialect == SqlDialect::SQLite) {
            // Foreign keys are off by default and per connection.
            runSetup(db, uri, u"PRAGMA foreign_keys = ON"_s);
            runSetup(db, uri, u"PRAGMA journal_mode = WAL"_s);
            // A save the client is told was stored must survive a power cut or a
            // system crash too, as PostgreSQL's commits do: NORMAL would let the last
            // ones roll back then.
            runSetup(db, uri, u"PRAGMA synchronous = FULL"_s);
        } else {
            runSetup(db, uri, u"SET client_encoding TO 'UTF8'"_s);
            runSetup(db, uri, u"SET lock_timeout = %1"_s.arg(SqlLockWaitMs));
            // Floats are read as text: a server set to print fewer digits than a double
            // needs (extra_float_digits 0) would hand back 0.3 for 0.30000000000000004,
            // and the row read would no longer match the row stored when it is saved.
            runSetup(db, uri, u"SET extra_float_digits = 3"_s);
        }
        if (uri.dialect == SqlDialect::SQLite && uri.path != u":memory:"_s) {
            db.driver()->setProperty(OpenedFileProperty, fileIdentity(uri.path));
            // Turning a database that has tables to WAL opens its log, which the connection
            // keeps open until it closes; a new, empty one has none yet.
            const QString log = fileIdentity(writeAheadLogPath(uri.path));
            if (!log.isEmpty())
                db.driver()->setProperty(OpenedLogProperty, log);
        }
    } catch (...) {
        // A connection that opened but cannot be set up (a file that is no database)
        // is closed and forgotten: each retry would otherwise keep one more open.
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
        throw;
    }
    return db;
}

QSqlDatabase threadDatabase(const DatabaseUri &uri)
{
    const QString key = uri.toString();
    auto it = threadConnections.byUri.find(key);
    if (it != threadConnections.byUri.end()) {
        if (it->db.isOpen())
            return it->db;
        // Lost (e.g. the database server restarted): start afresh.
        release(*it);
        threadConnections.byUri.erase(it);
    }
    ThreadConnection connection;
    connection.name = newConnectionName(uri);
    connection.db = openDatabase(uri, connection.name);
    threadConnections.byUri.insert(key, connection);
    return connection.db;
}

void closeThreadDatabase(const DatabaseUri &uri)
{
    auto it = threadConnections.byUri.find(uri.toString());
    if (it == threadConnections.byUri.end())
        return;
    release(*it);
    threadConnections.byUri.erase(it);
}

std::shared_ptr<QSqlQuery> cachedStatement(const QSqlDatabase &db, const QString &sql,
                                           bool *prepared)
{
    *prepared = true;
    ThreadConnection *connection = threadConnections.byName(db.connectionName());
    if (!connection)
        return {};
    const auto found = connection->statements.constFind(sql);
    const bool inUse = found != connection->statements.cend() && found->use_count() > 1;
    if (found != connection->statements.cend() && !inUse) {
        if (connection->stale.remove(sql)) {
            *prepared = (*found)->prepare(sql);
            if (!*prepared) {
                const std::shared_ptr<QSqlQuery> failed = *found;
                connection->statements.remove(sql);
                return failed;
            }
        }
        return *found;
    }
    auto query = std::make_shared<QSqlQuery>(connection->db);
    query->setForwardOnly(true);
    *prepared = query->prepare(sql);
    // A failed one is prepared again next time; one made because the kept one is in
    // use (the same statement nested) is not kept.
    if (*prepared && !inUse)
        connection->statements.insert(sql, query);
    return query;
}

int cachedStatementCount(const QSqlDatabase &db)
{
    const ThreadConnection *connection = threadConnections.byName(db.connectionName());
    return connection ? int(connection->statements.size()) : 0;
}

void prepareCachedStatementAgain(const QString &connectionName, const QString &sql)
{
    ThreadConnection *connection = threadConnections.byName(connectionName);
    if (connection && connection->statements.contains(sql))
        connection->stale.insert(sql);
}

bool databaseFileInPlace(const QSqlDatabase &db)
{
    const QSqlDriver *driver = db.driver();
    const QVariant opened = driver ? driver->property(OpenedFileProperty) : QVariant();
    if (opened.isValid() && fileIdentity(db.databaseName()) != opened.toString())
        return false;
    // Commits go to the log before they reach the file: one written to a log removed
    // under the connection is lost when the connection closes, and read by no other.
    const QVariant log = driver ? driver->property(OpenedLogProperty) : QVariant();
    return !log.isValid() || fileIdentity(writeAheadLogPath(db.databaseName())) == log.toString();
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
