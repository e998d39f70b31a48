#pragma once

#include "rtl/exceptions.h"
#include "sqldialect.h"

#include <QSqlError>

namespace qor {

// What a failed statement means to us, read from the driver's error in either dialect.
enum class SqlErrorKind {
    Other,
    UniqueViolation,
    ForeignKeyViolation,
    ValueTooLong,
    Busy, // locked, deadlock or serialization: the statement may be retried
    Connection, // the connection is gone
    ReadOnly, // the database refuses writes (permissions, a read-only file system or database)
};

SqlErrorKind classifySqlError(SqlDialect dialect, const QSqlError &error);

// What to show of a driver's error: our own words for a busy database and for a text the
// database's encoding cannot hold; otherwise the database's first line, else Qt's text
// (drivers add lines of detail and hints a user need not read).
QString sqlErrorDetail(SqlDialect dialect, const QSqlError &error);

// A statement that failed. The message is Portuguese with the driver's first line;
// kind and nativeCode are for callers that map errors and for logs.
class ESqlError : public EDatabaseError
{
public:
    ESqlError(SqlErrorKind kind, const QString &nativeCode, const QString &message);
    SqlErrorKind kind() const { return m_kind; }
    const QString &nativeCode() const { return m_nativeCode; }

private:
    SqlErrorKind m_kind;
    QString m_nativeCode;
};

} // namespace qor
