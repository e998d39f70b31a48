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

// A statement that failed. The message is Portuguese with the reason databaseFailureReason gives;
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
