#pragma once

#include <QSqlDatabase>

namespace qor {

// One transaction: begun on construction, rolled back on destruction unless committed.
// Raises ESqlError when begin or commit fails.
class SqlTransaction
{
public:
    explicit SqlTransaction(const QSqlDatabase &db);
    ~SqlTransaction();
    SqlTransaction(const SqlTransaction &) = delete;
    SqlTransaction &operator=(const SqlTransaction &) = delete;

    void commit();

private:
    QSqlDatabase m_db;
    bool m_open = false;
};

} // namespace qor
