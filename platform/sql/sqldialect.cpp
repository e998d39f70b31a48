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
    // "P.DTCONSPACI" keeps the name DTCONSPACI in the result. A year before Christ prints
    // as its number alone (1985 BC as "1985"): it keeps its era, so that it reads as no
    // date-time of ours rather than as the same year of ours.
    return u"to_char(%1, CASE WHEN %1 < '0001-01-01' THEN 'YYYY-MM-DD HH24:MI:SS.MS BC' "
           u"ELSE 'YYYY-MM-DD HH24:MI:SS.MS' END) AS %2"_s.arg(column, column.section(u'.', -1));
}

QString beginTransactionStatement(SqlDialect dialect)
{
    return dialect == SqlDialect::SQLite ? u"BEGIN IMMEDIATE"_s : u"BEGIN"_s;
}

} // namespace qor
