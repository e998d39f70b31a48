#include "sqlerror.h"

using namespace Qt::StringLiterals;

namespace qor {

SqlErrorKind classifySqlError(SqlDialect dialect, const QSqlError &error)
{
    const QString code = error.nativeErrorCode();
    if (dialect == SqlDialect::PostgreSQL) {
        // No SQLSTATE: the failure happened in the client library, i.e. the link.
        if (error.type() == QSqlError::ConnectionError || code.isEmpty())
            return SqlErrorKind::Connection;
        // SQLSTATE classes.
        if (code == u"23505"_s)
            return SqlErrorKind::UniqueViolation;
        if (code == u"23503"_s)
            return SqlErrorKind::ForeignKeyViolation;
        if (code == u"22001"_s)
            return SqlErrorKind::ValueTooLong;
        // 57014: a statement_timeout the administrator set ran out (or a cancel).
        if (code == u"40001"_s || code == u"40P01"_s || code == u"55P03"_s || code == u"57014"_s)
            return SqlErrorKind::Busy;
        if (code == u"25006"_s) // read_only_sql_transaction
            return SqlErrorKind::ReadOnly;
        if (code.startsWith(u"08"_s) || code.startsWith(u"57P0"_s))
            return SqlErrorKind::Connection;
        return SqlErrorKind::Other;
    }
    // SQLite reports the primary result code (and marks most statement failures as
    // connection errors, so the type says nothing); the text tells which constraint.
    const QString text = error.databaseText();
    const int primary = code.toInt() & 0xff;
    if (primary == 19) { // SQLITE_CONSTRAINT
        if (text.contains(u"UNIQUE"_s) || text.contains(u"PRIMARY KEY"_s))
            return SqlErrorKind::UniqueViolation;
        if (text.contains(u"FOREIGN KEY"_s))
            return SqlErrorKind::ForeignKeyViolation;
        return SqlErrorKind::Other;
    }
    if (primary == 5 || primary == 6) // SQLITE_BUSY, SQLITE_LOCKED
        return SqlErrorKind::Busy;
    if (primary == 8) // SQLITE_READONLY
        return SqlErrorKind::ReadOnly;
    return SqlErrorKind::Other;
}

ESqlError::ESqlError(SqlErrorKind kind, const QString &nativeCode, const QString &message)
    : EDatabaseError(message)
    , m_kind(kind)
    , m_nativeCode(nativeCode)
{ }

} // namespace qor
