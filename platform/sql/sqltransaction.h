#pragma once

#include "writerturns.h"

#include <QSqlDatabase>
#include <optional>

namespace qor {

// One transaction: begun on construction, rolled back on destruction unless committed.
// Raises ESqlError when begin or commit fails. On SQLite it first waits for this
// thread's turn to write (see WriterTurn), held until commit or rollback.
class SqlTransaction
{
public:
    explicit SqlTransaction(const QSqlDatabase &db);
    ~SqlTransaction();
    SqlTransaction(const SqlTransaction &) = delete;
    SqlTransaction &operator=(const SqlTransaction &) = delete;

    void commit();

private:
    std::optional<WriterTurn> m_turn; // released after the rollback in the destructor
    QSqlDatabase m_db;
    bool m_open = false;
};

} // namespace qor
