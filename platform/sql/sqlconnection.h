#pragma once

#include "databaseuri.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <memory>

namespace qor {

// How long a statement waits for a row or table another session holds, and a writer for
// its turn, before failing as busy: together well inside a client's call timeout, so a
// save the client was told had failed is never stored later behind its back.
constexpr int SqlLockWaitMs = 10000;
// A save of several changes may wait that long for each of them; one that has taken
// longer than this in all is rolled back instead of committed, for the same reason.
constexpr int SqlSaveBudgetMs = 2 * SqlLockWaitMs;

// Opens a connection under the given name, set up for our use: SQLite with foreign
// keys on, WAL and a busy wait; PostgreSQL in UTF-8 with the same bounded wait for
// locks. Raises EDatabaseError with the driver's reason when it cannot open.
QSqlDatabase openDatabase(const DatabaseUri &uri, const QString &connectionName);

// The calling thread's own connection to the database (a QSqlDatabase may only be
// used by the thread that made it). Opened on first use, reopened when it was lost,
// closed and removed when the thread ends.
QSqlDatabase threadDatabase(const DatabaseUri &uri);
// Closes and removes the calling thread's connection now (before the thread ends).
void closeThreadDatabase(const DatabaseUri &uri);

// A statement prepared once per thread connection and kept for reuse; null for a
// connection threadDatabase did not make on this thread. `prepared` tells whether the
// preparation succeeded; a statement that failed it is returned with its error and
// not kept.
std::shared_ptr<QSqlQuery> cachedStatement(const QSqlDatabase &db, const QString &sql,
                                           bool *prepared);

// How many statements the connection keeps (0 for one threadDatabase did not make).
int cachedStatementCount(const QSqlDatabase &db);

// Has a kept statement prepared afresh on its next use: PostgreSQL refuses to run a
// prepared statement again once a table it reads has changed the type of a column it
// returns. Not done at once: the statement may be failing inside a transaction that
// must be rolled back first.
void prepareCachedStatementAgain(const QString &connectionName, const QString &sql);

// False when the SQLite file this connection opened, or the write-ahead log it has open,
// is no longer the one its path names (removed, or moved away, while open): what is
// committed there is out of reach of every later connection. True for every other
// connection.
bool databaseFileInPlace(const QSqlDatabase &db);

SqlDialect dialectOf(const QSqlDatabase &db);
SqlDialect dialectOf(const QSqlDriver *driver);

} // namespace qor
