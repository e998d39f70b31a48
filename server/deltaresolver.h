#pragma once

#include "data/packet.h"
#include "sql/sqlconnection.h"
#include "tables.h"

#include <QSqlDatabase>
#include <chrono>

namespace qor {

// Applies a client's delta to one table in one transaction. Rows are found by primary
// key; an update must also find the original values of the columns it changes, and a
// delete the original values of every stored column, or the whole delta fails as a
// conflict. Any failure rolls everything back and raises RpcError with a Portuguese
// message: RpcConflict, RpcDuplicate, RpcDatabaseError (missing parent, database
// failure) or invalid params (unknown field, wrong type, value too long, key missing).
// A delta that takes longer than `budget` in all (waiting for rows held elsewhere) is
// rolled back and raises ESqlError (busy) instead of being stored.
void applyDelta(const QSqlDatabase &db, const TableSpec &table, const TDelta &delta,
                std::chrono::milliseconds budget = std::chrono::milliseconds(SqlSaveBudgetMs));

} // namespace qor
