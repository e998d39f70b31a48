#include "adoibquery.h"

#include "dbgeral.h"
#include "rtl/exceptions.h"
#include "sql/sqlquery.h"

#include <QMetaType>
#include <QSqlField>
#include <QSqlRecord>

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

TFieldType fieldTypeOf(const QSqlField &field)
{
    switch (field.metaType().id()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return TFieldType::Float;
    case QMetaType::QDateTime:
    case QMetaType::QDate:
        return TFieldType::DateTime;
    default:
        return TFieldType::String;
    }
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

void TADOIBQuery::Open()
{
    Close();
    QSqlDatabase db = Database();
    if (!db.isValid() || !db.isOpen())
        throw EDatabaseError(u"Não há conexão aberta com o banco de dados."_s);
    const QString text = SQLFor(db.driverName());
    if (text.trimmed().isEmpty())
        throw EDatabaseError(u"A consulta não tem texto SQL."_s);
    if (BeforeOpen)
        BeforeOpen(this);

    const ParsedSql parsed = parseParams(text);
    SqlStatement statement(db, parsed.text); // raises ESqlError, a EDatabaseError
    for (const QString &name : parsed.occurrences) {
        QVariant value;
        for (const auto &param : m_params) {
            if (param->Name().compare(name, Qt::CaseInsensitive) == 0)
                value = param->Value();
        }
        statement.bind(value.isValid() ? value : QVariant(QMetaType(QMetaType::QString)));
    }
    statement.exec();

    if (Fields().isEmpty()) {
        const QSqlRecord record = statement.query().record();
        for (int i = 0; i < record.count(); ++i)
            AddField(record.fieldName(i), fieldTypeOf(record.field(i)),
                     fieldTypeOf(record.field(i)) == TFieldType::String ? 255 : 0);
    }
    QList<TFieldDef> defs;
    const QList<TField *> dataFields = DataFields();
    for (TField *field : dataFields)
        defs.append({field->FieldName(), field->DataType(), field->Size()});
    const TDataPacket packet = packetFromQuery(statement.query(), defs);

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
