#pragma once

#include <QString>

namespace qor {

// The two databases we store in. Statements are written once; the few places where
// the dialects differ go through these functions.
enum class SqlDialect { SQLite, PostgreSQL };

QString dialectName(SqlDialect dialect);
// The Qt SQL driver that speaks the dialect.
QString driverName(SqlDialect dialect);
// "column = ?" that also holds when both sides are null.
QString nullSafeEquals(SqlDialect dialect, const QString &column);
// A date-time column selected as text "yyyy-MM-dd HH:mm:ss.zzz" under its own name, so
// both dialects hand back the same text and no driver applies a time zone to it.
QString selectDateTime(SqlDialect dialect, const QString &column);
// Starts a transaction that takes the write lock at once, so two writers never
// deadlock upgrading a read lock (SQLite's deferred BEGIN would).
QString beginTransactionStatement(SqlDialect dialect);

} // namespace qor
