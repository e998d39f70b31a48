#pragma once

#include "sqlerror.h"
#include "writerturns.h"

#include <QDeadlineTimer>
#include <QSqlDatabase>
#include <optional>

namespace qor {

// Raised when a transaction could not even begin: none of its statements ran, so the
// work may be tried again whole (on a new connection when this one was lost).
class ETransactionNotBegun : public ESqlError
{
public:
    explicit ETransactionNotBegun(const ESqlError &cause)
        : ESqlError(cause)
    { }
};

// One transaction: begun on construction, rolled back on destruction unless committed.
// Raises ETransactionNotBegun when begin fails and ESqlError when commit fails. On SQLite it first
// waits for this thread's turn to write (see WriterTurn), held until commit or rollback.
class SqlTransaction
{
public:
    explicit SqlTransaction(const QSqlDatabase &db);
    ~SqlTransaction();
    SqlTransaction(const SqlTransaction &) = delete;
    SqlTransaction &operator=(const SqlTransaction &) = delete;

    void commit();
    // Commits only while the deadline has not passed; otherwise rolls back and raises
    // ESqlError (busy): whoever asked for the change may have given up waiting.
    void commitBefore(const QDeadlineTimer &deadline);

private:
    std::optional<WriterTurn> m_turn; // released after the rollback in the destructor
    QSqlDatabase m_db;
    bool m_open = false;
};

} // namespace qor
