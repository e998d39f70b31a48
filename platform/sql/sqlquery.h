#pragma once

#include "data/packet.h"
#include "sqldialect.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <memory>

namespace qor {

// What becomes of a value a number or date-time column holds that is no number or date
// (SQLite keeps "4,5", "" or "0000-00-00" as written): it raises, or it is read as null,
// so that one bad row of a listing neither hides the others nor gives a figure of its
// own, and a date that only informs does not stop what it comes with.
enum class UnreadableValues { Raise, ReadAsNull };

// A prepared, parameterised statement that raises ESqlError instead of returning false.
class SqlStatement
{
public:
    // Prepared once per thread connection (see cachedStatement), or here for others.
    SqlStatement(const QSqlDatabase &db, const QString &sql);
    ~SqlStatement();
    SqlStatement(const SqlStatement &) = delete;
    SqlStatement &operator=(const SqlStatement &) = delete;

    SqlStatement &bind(const QVariant &value); // positional, in the order of the '?'
    // Binds one of our values (null, QString, double; date-times as TDateTime) in the
    // column's stored form.
    SqlStatement &bind(TFieldType type, const QVariant &value);
    void exec();
    // Runs the statement and reads every row with the given metadata.
    TDataPacket packet(const QList<TFieldDef> &fields,
                       UnreadableValues unreadable = UnreadableValues::Raise);
    // False after the last row. A failure while reading rows raises: taken for the end
    // of the rows, it would pass for "no such row".
    bool next();
    QVariant value(int index) const { return m_query->value(index); }
    int rowsAffected() const { return m_query->numRowsAffected(); }
    QSqlQuery &query() { return *m_query; }

private:
    [[noreturn]] void fail() const;

    std::shared_ptr<QSqlQuery> m_query;
    QString m_connectionName;
    SqlDialect m_dialect;
    int m_bound = 0;
};

// Runs a statement that takes no parameters (DDL, transaction control).
void execSql(const QSqlDatabase &db, const QString &sql);

// Our value for a column in its stored form, and back.
QVariant toSqlValue(TFieldType type, const QVariant &value);
QVariant fromSqlValue(TFieldType type, const QVariant &sqlValue);

// The rows of an executed query as a data packet with the given field metadata.
// Columns are matched by name, ignoring case (PostgreSQL folds unquoted names to
// lower case). A field the query lacks raises EDatabaseError.
TDataPacket packetFromQuery(QSqlQuery &query, const QList<TFieldDef> &fields,
                            UnreadableValues unreadable = UnreadableValues::Raise);

} // namespace qor
