#include "sqlquery.h"

#include "sqlconnection.h"
#include "sqldatetime.h"
#include "sqlerror.h"
#include "sqlreasons.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlRecord>
#include <cmath>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

[[noreturn]] void raise(SqlDialect dialect, const QSqlError &error)
{
    throw ESqlError(
        classifySqlError(dialect, error), error.nativeErrorCode(),
        u"Falha ao acessar o banco de dados: %1."_s.arg(databaseFailureReason(dialect, error)));
}

} // namespace

SqlStatement::SqlStatement(const QSqlDatabase &db, const QString &sql)
    : m_connectionName(db.connectionName())
    , m_dialect(dialectOf(db))
{
    bool prepared = false;
    m_query = cachedStatement(db, sql, &prepared);
    if (!m_query) {
        m_query = std::make_shared<QSqlQuery>(db);
        m_query->setForwardOnly(true);
        prepared = m_query->prepare(sql);
    }
    if (!prepared)
        fail();
}

SqlStatement::~SqlStatement()
{
    // A reused statement must not keep its result (and SQLite its read snapshot).
    m_query->finish();
}

SqlStatement &SqlStatement::bind(const QVariant &value)
{
    m_query->bindValue(m_bound++, value);
    return *this;
}

SqlStatement &SqlStatement::bind(TFieldType type, const QVariant &value)
{
    return bind(toSqlValue(type, value));
}

void SqlStatement::exec()
{
    if (!m_query->exec())
        fail();
}

bool SqlStatement::next()
{
    if (m_query->next())
        return true;
    if (m_query->lastError().isValid())
        fail();
    return false;
}

TDataPacket SqlStatement::packet(const QList<TFieldDef> &fields, UnreadableValues unreadable)
{
    exec();
    return packetFromQuery(*m_query, fields, unreadable);
}

void SqlStatement::fail() const
{
    const QSqlError error = m_query->lastError();
    // "cached plan must not change result type": a column it returns changed its type.
    if (m_dialect == SqlDialect::PostgreSQL && error.nativeErrorCode() == u"0A000"_s)
        prepareCachedStatementAgain(m_connectionName, m_query->lastQuery());
    raise(m_dialect, error);
}

void execSql(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        raise(dialectOf(db), query.lastError());
}

QVariant toSqlValue(TFieldType type, const QVariant &value)
{
    if (!value.isValid() || value.isNull()) {
        // A typed null, so drivers that care bind the right kind of null.
        return QVariant(type == TFieldType::Float ? QMetaType(QMetaType::Double)
                                                  : QMetaType(QMetaType::QString));
    }
    switch (type) {
    case TFieldType::String:
        return value.toString();
    case TFieldType::Float:
        return value.toDouble();
    case TFieldType::DateTime:
        return dateTimeToSqlText(value.toDouble());
    }
    return {};
}

QVariant fromSqlValue(TFieldType type, const QVariant &sqlValue)
{
    if (!sqlValue.isValid() || sqlValue.isNull())
        return {};
    switch (type) {
    case TFieldType::String:
        return sqlValue.toString();
    case TFieldType::Float: {
        bool ok = false;
        const double value = sqlValue.toDouble(&ok);
        // SQLite keeps "inf" and "nan" as text and 9e999 as an infinity, and reading them
        // succeeds: no packet carries such a figure, so it is as unreadable as "4,5".
        if (!ok || !std::isfinite(value))
            throw EDatabaseError(
                u"Valor numérico inválido no banco de dados: \"%1\"."_s.arg(sqlValue.toString()));
        return value;
    }
    case TFieldType::DateTime:
        // A driver's own date-time (PostgreSQL's timestamp) is local time: the calendar
        // moment stored, also one that a daylight-saving change skips (invalid to Qt).
        if (sqlValue.metaType().id() == QMetaType::QDateTime
            && sqlValue.toDateTime().timeSpec() == Qt::LocalTime) {
            try {
                const TDateTime value = QDateTimeToDateTime(sqlValue.toDateTime());
                // PostgreSQL keeps years beyond 9999 and before Christ, which no date-time
                // text of ours (nor any packet) can hold.
                dateTimeToSqlText(value);
                return value;
            } catch (const EConvertError &) {
                // No date in it: refused below as the database's invalid date-time.
            }
        }
        return sqlTextToDateTime(sqlValue.toString());
    }
    return {};
}

TDataPacket packetFromQuery(QSqlQuery &query, const QList<TFieldDef> &fields,
                            UnreadableValues unreadable)
{
    const auto read = [unreadable](const TFieldDef &field, const QVariant &sqlValue) {
        if (unreadable == UnreadableValues::Raise
            || (field.type != TFieldType::Float && field.type != TFieldType::DateTime))
            return fromSqlValue(field.type, sqlValue);
        try {
            return fromSqlValue(field.type, sqlValue);
        } catch (const EDatabaseError &) {
            return QVariant();
        }
    };
    const QSqlRecord record = query.record();
    QList<int> columns;
    columns.reserve(fields.size());
    for (const TFieldDef &field : fields) {
        int found = -1;
        for (int i = 0; i < record.count() && found < 0; ++i) {
            if (record.fieldName(i).compare(field.name, Qt::CaseInsensitive) == 0)
                found = i;
        }
        if (found < 0)
            throw EDatabaseError(u"A consulta não traz o campo %1."_s.arg(field.name));
        columns.append(found);
    }

    TDataPacket packet;
    packet.fields = fields;
    while (query.next()) {
        QVariantList row;
        row.reserve(fields.size());
        for (qsizetype i = 0; i < fields.size(); ++i)
            row.append(read(fields[i], query.value(columns[i])));
        packet.rows.append(std::move(row));
    }
    if (query.lastError().isValid())
        raise(dialectOf(query.driver()), query.lastError());
    return packet;
}

} // namespace qor
