#include "sqldialect.h"

using namespace Qt::StringLiterals;

namespace qor {

QString dialectName(SqlDialect dialect)
{
    return dialect == SqlDialect::SQLite ? u"sqlite"_s : u"postgresql"_s;
}

QString driverName(SqlDialect dialect)
{
    return dialect == SqlDialect::SQLite ? u"QSQLITE"_s : u"QPSQL"_s;
}

QString nullSafeEquals(SqlDialect dialect, const QString &column)
{
    return dialect == SqlDialect::SQLite ? column + u" IS ?"_s
                                         : column + u" IS NOT DISTINCT FROM ?"_s;
}

QString selectDateTime(SqlDialect dialect, const QString &column)
{
    if (dialect == SqlDialect::SQLite)
        return column;
    // "P.DTCONSPACI" keeps the name DTCONSPACI in the result.
    return u"to_char(%1, 'YYYY-MM-DD HH24:MI:SS.MS') AS %2"_s.arg(column, column.section(u'.', -1));
}

QString beginTransactionStatement(SqlDialect dialect)
{
    return dialect == SqlDialect::SQLite ? u"BEGIN IMMEDIATE"_s : u"BEGIN"_s;
}

} // namespace qor
