#pragma once

#include "data/packet.h"
#include "tables.h"

#include <QSqlDatabase>

namespace qor {

// Applies a client's delta to one table in one transaction. Rows are found by primary
// key; an update must also find the original values of the columns it changes, and a
// delete the original values of every stored column, or the whole delta fails as a
// conflict. Any failure rolls everything back and raises RpcError with a Portuguese
// message: RpcConflict, RpcDuplicate, RpcDatabaseError (missing parent, database
// failure) or invalid params (unknown field, wrong type, value too long, key missing).
void applyDelta(const QSqlDatabase &db, const TableSpec &table, const TDelta &delta);

} // namespace qor
