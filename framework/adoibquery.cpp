#include "adoibquery.h"

#include "dbgeral.h"
#include "rtl/exceptions.h"
#include "sql/sqlconnection.h"
#include "sql/sqlquery.h"
#include "sql/sqlreasons.h"

#include <QMetaType>
#include <QSqlError>
#include <QSqlRecord>
#include <optional>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

bool isNameStart(QChar c)
{
    return c.isLetter() || c == u'_';
}

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

// The text with each ":NAME" placeholder replaced by "?", and the names in order of
// occurrence. Quoted strings and identifiers are left alone, and so are "::" casts.
struct ParsedSql
{
    QString text;
    QStringList occurrences;
};

ParsedSql parseParams(const QString &sql)
{
    ParsedSql parsed;
    parsed.text.reserve(sql.size());
    QChar quote;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            parsed.text.append(c);
            continue;
        }
        if (c == u'\'' || c == u'"') {
            quote = c;
            parsed.text.append(c);
            continue;
        }
        const bool placeholder = c == u':' && i + 1 < sql.size() && isNameStart(sql.at(i + 1))
            && (i == 0 || sql.at(i - 1) != u':');
        if (!placeholder) {
            parsed.text.append(c);
            continue;
        }
        qsizetype end = i + 1;
        while (end < sql.size() && isNameChar(sql.at(end)))
            ++end;
        parsed.occurrences.append(sql.mid(i + 1, end - i - 1));
        parsed.text.append(u'?');
        i = end - 1;
    }
    return parsed;
}

TFieldType fieldTypeOf(const QVariant &value)
{
    if (isNumber(value))
        return TFieldType::Float;
    const int type = value.metaType().id();
    if (type == QMetaType::QDateTime || type == QMetaType::QDate)
        return TFieldType::DateTime;
    return TFieldType::String;
}

[[noreturn]] void fail(SqlDialect dialect, const QSqlError &error)
{
    throw EDatabaseError(
        u"Falha ao consultar o banco de dados: %1."_s.arg(databaseFailureReason(dialect, error)));
}

[[noreturn]] void fail(const QSqlDatabase &db, const QSqlError &error)
{
    fail(dialectOf(db), error);
}

// Prepares the text, binds the parameters by name and runs it; false when it failed.
bool run(QSqlQuery &query, const ParsedSql &parsed, const QList<std::shared_ptr<TParam>> &params)
{
    query.setForwardOnly(true);
    if (!query.prepare(parsed.text))
        return false;
    for (const QString &name : parsed.occurrences) {
        QVariant value;
        for (const auto &param : params) {
            if (param->Name().compare(name, Qt::CaseInsensitive) == 0)
                value = param->Value();
        }
        query.addBindValue(value.isValid() ? value : QVariant(QMetaType(QMetaType::QString)));
    }
    return query.exec();
}

} // namespace

TADOIBQuery::TADOIBQuery(QObject *parent)
    : TDataSet(parent)
{
    // Read-only: the rows come from the database and never go back.
    const auto refuse = [](TDataSet *) {
        throw EDatabaseError(u"Esta consulta é somente para leitura."_s);
    };
    BeforeInsert = refuse;
    BeforeEdit = refuse;
    BeforeDelete = refuse;
}

TADOIBQuery::~TADOIBQuery() = default;

QSqlDatabase TADOIBQuery::Database() const
{
    if (m_database.isValid())
        return m_database;
    if (TdtmDBGeral *module = dtmDBGeral())
        return module->Database();
    return {};
}

QString TADOIBQuery::SQLFor(const QString &driverName) const
{
    const QStringList *chosen = &SQL;
    if (driverName == "QOCI"_L1)
        chosen = &SQL_ORACLE;
    else if (driverName == "QODBC"_L1 || driverName == "QTDS"_L1)
        chosen = &SQL_MSSQL;
    else if (driverName == "QIBASE"_L1)
        chosen = &SQL_IB;
    if (chosen->join(QString()).trimmed().isEmpty())
        chosen = &SQL;
    return chosen->join(u'\n');
}

QStringList TADOIBQuery::ParamNames() const
{
    QStringList names;
    const QString text = SQLFor(Database().driverName());
    for (const QString &name : parseParams(text).occurrences) {
        if (!names.contains(name, Qt::CaseInsensitive))
            names.append(name);
    }
    return names;
}

TParam *TADOIBQuery::ParamByName(const QString &name)
{
    for (const auto &param : m_params) {
        if (param->Name().compare(name, Qt::CaseInsensitive) == 0)
            return param.get();
    }
    if (!ParamNames().contains(name, Qt::CaseInsensitive))
        throw EDatabaseError(u"Parâmetro não encontrado na consulta: %1"_s.arg(name));
    m_params.append(std::make_shared<TParam>(name));
    return m_params.constLast().get();
}

TDataPacket TADOIBQuery::packetOfFields(QSqlQuery &query) const
{
    QList<TFieldDef> defs;
    const QList<TField *> dataFields = DataFields();
    for (const TField *field : dataFields)
        defs.append({field->FieldName(), field->DataType(), field->Size()});
    // Raises when a defined field is missing; one unreadable number spoils only its cell.
    return packetFromQuery(query, defs, UnreadableValues::ReadAsNull);
}

TDataPacket TADOIBQuery::packetWithOwnFields(QSqlQuery &query)
{
    // Some drivers (SQLite) tell a column's type only through its values: read the
    // rows first, then type each column by its first non-null value.
    const QSqlRecord record = query.record();
    QList<QVariantList> raw;
    while (query.next()) {
        QVariantList row;
        for (int i = 0; i < record.count(); ++i)
            row.append(query.value(i));
        raw.append(row);
    }
    // A row that could not be read ends the walk as the last row would: the rows
    // before it are not the whole result.
    if (query.lastError().isValid())
        fail(dialectOf(query.driver()), query.lastError());
    TDataPacket packet;
    for (int i = 0; i < record.count(); ++i) {
        TFieldType type = TFieldType::String;
        for (const QVariantList &row : std::as_const(raw)) {
            if (!row[i].isNull()) {
                type = fieldTypeOf(row[i]);
                break;
            }
        }
        packet.fields.append({record.fieldName(i), type, type == TFieldType::String ? 255 : 0});
        AddField(record.fieldName(i), type, packet.fields.constLast().size);
    }
    for (const QVariantList &row : std::as_const(raw)) {
        QVariantList values;
        for (int i = 0; i < row.size(); ++i)
            values.append(fromSqlValue(packet.fields[i].type, row[i]));
        packet.rows.append(values);
    }
    return packet;
}

void TADOIBQuery::Open()
{
    Close();
    QSqlDatabase db = m_database;
    if (!db.isValid()) {
        if (TdtmDBGeral *module = dtmDBGeral())
            db = module->CurrentDatabase(); // raises when the catalogue file is gone
    }
    if (!db.isValid() || !db.isOpen())
        throw EDatabaseError(u"Não há conexão aberta com o banco de dados."_s);
    const QString text = SQLFor(db.driverName());
    if (text.trimmed().isEmpty())
        throw EDatabaseError(u"A consulta não tem texto SQL."_s);
    if (BeforeOpen)
        BeforeOpen(this);

    const ParsedSql parsed = parseParams(text);
    std::optional<QSqlQuery> query(std::in_place, db);
    if (!run(*query, parsed, m_params)) {
        // A connection the database server dropped is only noticed by a failing
        // statement: the module's connection is opened again and the read, which changes
        // nothing, runs once more on it.
        TdtmDBGeral *module = m_database.isValid() ? nullptr : dtmDBGeral();
        if (!module || db.isOpen())
            fail(db, query->lastError());
        query.reset(); // the dropped connection is closed with no query left on it
        db = QSqlDatabase();
        db = module->CurrentDatabase(); // raises when it cannot be opened again
        query.emplace(db);
        if (!run(*query, parsed, m_params))
            fail(db, query->lastError());
    }

    const TDataPacket packet =
        Fields().isEmpty() ? packetWithOwnFields(*query) : packetOfFields(*query);

    QList<TRecord> records;
    records.reserve(packet.rows.size());
    for (const QVariantList &row : packet.rows) {
        TRecord record = NewRecord();
        record.values = row;
        records.append(std::move(record));
    }
    ReplaceRecords(std::move(records));
}

} // namespace qor
