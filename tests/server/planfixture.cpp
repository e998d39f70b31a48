#include "planfixture.h"

#include "sql/sqldatetime.h"
#include "sql/sqlquery.h"

#include <QJsonArray>

using namespace Qt::StringLiterals;

namespace qor::testing {

void PlanServerTest::SetUp()
{
    BackendTest::SetUp();
    if (IsSkipped())
        return;
    server = startServer();
    ASSERT_TRUE(server);
    client = server->connect();
    const TDataPacket dates = select(u"SELECT DTCONSPACI FROM METOAVAL WHERE CDPACIENTE = ?"_s,
                                     {{u"DTCONSPACI"_s, TFieldType::DateTime, 0}}, {Maria});
    ASSERT_EQ(dates.rows.size(), 1);
    consulta = dates.rows[0][0].toDouble();
}

void PlanServerTest::TearDown()
{
    client.reset();
    server.reset();
}

QJsonObject PlanServerTest::call(const QString &method, const QJsonArray &params)
{
    return client->call(method, params);
}

QJsonValue PlanServerTest::ok(const QString &method, const QJsonArray &params)
{
    const QJsonObject result = call(method, params);
    EXPECT_EQ(outcome(result), "ok") << method.toStdString();
    return result.value(u"data"_s);
}

TDataPacket PlanServerTest::select(const QString &sql, const QList<TFieldDef> &fields,
                                   const QVariantList &binds)
{
    // Date-time columns are read through the same text form the server uses.
    const qsizetype from = sql.indexOf(u" FROM "_s);
    QString columns = sql.left(from);
    for (const TFieldDef &field : fields) {
        if (field.type == TFieldType::DateTime)
            columns.replace(field.name, selectDateTime(server->database().dialect, field.name));
    }
    const QString text = columns + sql.mid(from);
    SqlStatement statement(server->db(), text);
    for (const QVariant &value : binds)
        statement.bind(
            value.typeId() == QMetaType::Double ? TFieldType::DateTime : TFieldType::String, value);
    return statement.packet(fields);
}

int PlanServerTest::count(const QString &table)
{
    SqlStatement statement(server->db(), u"SELECT COUNT(*) FROM %1"_s.arg(table));
    statement.exec();
    return statement.next() ? statement.value(0).toInt() : -1;
}

QString PlanServerTest::consultaIso() const
{
    return isoDateTime(consulta);
}

QList<TFieldDef> planDeltaFields()
{
    return {
        {u"CDFILIAL"_s, TFieldType::String, 4},     {u"CDPACIENTE"_s, TFieldType::String, 12},
        {u"DTCONSPACI"_s, TFieldType::DateTime, 0}, {u"CDEXERFISICO"_s, TFieldType::String, 6},
        {u"QTHREXERFISI"_s, TFieldType::Float, 0},  {u"DSEXERFISICO"_s, TFieldType::String, 100},
        {u"QTENERCONSPL"_s, TFieldType::Float, 0},  {u"QTENERCONS"_s, TFieldType::Float, 0}};
}

QList<TFieldDef> metoAvalDeltaFields()
{
    return {{u"CDFILIAL"_s, TFieldType::String, 4},
            {u"CDPACIENTE"_s, TFieldType::String, 12},
            {u"DTCONSPACI"_s, TFieldType::DateTime, 0},
            {u"CDTBMETOAVAL"_s, TFieldType::String, 2},
            {u"IDTABELAAV"_s, TFieldType::String, 1}};
}

QList<TFieldDef> pesoDeltaFields()
{
    return {{u"CDFILIAL"_s, TFieldType::String, 4},     {u"CDPACIENTE"_s, TFieldType::String, 12},
            {u"DTCONSPACI"_s, TFieldType::DateTime, 0}, {u"CDTBMETOAVAL"_s, TFieldType::String, 2},
            {u"CDTIPODADO"_s, TFieldType::String, 2},   {u"DSINFOAVAL"_s, TFieldType::String, 30}};
}

QVariantList planRow(const QString &paciente, TDateTime consulta, const QString &codigo,
                     QVariant horas, const QString &nome, QVariant kcal)
{
    return {Branch, paciente, consulta, codigo, horas, nome, kcal, kcal};
}

QJsonObject deltaJson(const QList<TFieldDef> &fields, const QList<TDeltaChange> &changes)
{
    return encodeDelta(TDelta{fields, changes});
}

TDeltaChange insertOf(const QVariantList &row)
{
    return {TChangeOp::Insert, {}, row};
}

TDeltaChange updateOf(const QVariantList &oldRow, const QVariantList &newRow)
{
    return {TChangeOp::Update, oldRow, newRow};
}

TDeltaChange deleteOf(const QVariantList &row)
{
    return {TChangeOp::Delete, row, {}};
}

QString isoDateTime(TDateTime value)
{
    return encodeValue(TFieldType::DateTime, value).toString();
}

std::string outcome(const QJsonObject &result)
{
    if (result.value(u"ok"_s).toBool())
        return "ok";
    const QJsonObject error = result.value(u"error"_s).toObject();
    return QString::number(error.value(u"code"_s).toInt()).toStdString() + ": "
        + error.value(u"message"_s).toString().toStdString();
}

} // namespace qor::testing
