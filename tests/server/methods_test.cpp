// The reading methods through a real qor-server: argument order, packet metadata and
// rows of the demo consultation; bad argument lists refused with the method's name.
#include "planfixture.h"

#include "remote/rpcerror.h"
#include "sql/sqlquery.h"

#include <QJsonArray>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

TFieldDef S(const QString &name, int size)
{
    return {name, TFieldType::String, size};
}
TFieldDef D(const QString &name)
{
    return {name, TFieldType::DateTime, 0};
}
TFieldDef F(const QString &name)
{
    return {name, TFieldType::Float, 0};
}

// What the screen's datasets are defined with.
const QList<TFieldDef> PacienteFields{S(u"CDFILIAL"_s, 4), S(u"CDPACIENTE"_s, 12),
                                      S(u"NMPACIENTE"_s, 80), D(u"DTNASCPACI"_s)};
const QList<TFieldDef> PesoFields{S(u"CDFILIAL"_s, 4),   S(u"CDPACIENTE"_s, 12),
                                  D(u"DTCONSPACI"_s),    S(u"CDTBMETOAVAL"_s, 2),
                                  S(u"CDTIPODADO"_s, 2), S(u"DSINFOAVAL"_s, 30)};
const QList<TFieldDef> PlanejaFields{
    S(u"CDFILIAL"_s, 4),  S(u"CDPACIENTE"_s, 12),    D(u"DTCONSPACI"_s),   S(u"CDEXERFISICO"_s, 6),
    F(u"QTHREXERFISI"_s), S(u"DSEXERFISICO"_s, 100), F(u"QTENERCONSPL"_s), F(u"QTENERCONS"_s)};
const QList<TFieldDef> VerifFields{S(u"CDFILIAL"_s, 4), S(u"CDPACIENTE"_s, 12), D(u"DTCONSPACI"_s),
                                   S(u"CDEXERFISICO"_s, 6)};
const QList<TFieldDef> MetoAvalFields{S(u"CDFILIAL"_s, 4), S(u"CDPACIENTE"_s, 12),
                                      D(u"DTCONSPACI"_s), S(u"CDTBMETOAVAL"_s, 2),
                                      S(u"IDTABELAAV"_s, 1)};

// Params are built from the consultation date (ISO text); "@" stands for it.
struct ReadCase
{
    const char *name;
    QString method;
    QStringList params;
    QList<TFieldDef> fields;
    // Expected rows, values as text ("@" for the consultation date); empty: no rows.
    QList<QStringList> rows;
};

QString cell(const QVariant &value, TFieldType type, TDateTime consulta)
{
    if (!value.isValid() || value.isNull())
        return u"null"_s;
    if (type == TFieldType::DateTime) {
        if (value.toDouble() == consulta)
            return u"@"_s;
        return DateTimeToQDate(value.toDouble()).toString(Qt::ISODate);
    }
    if (type == TFieldType::Float)
        return QString::number(value.toDouble());
    return value.toString();
}

class ReadMethods : public PlanServerTest
{
};

TEST_P(ReadMethods, ReturnTheDemoRowsWithTheScreensMetadata)
{
    const QList<ReadCase> cases{
        {"patient",
         u"GetPaciente"_s,
         {Branch, Maria},
         PacienteFields,
         {{Branch, Maria, u"Maria da Silva"_s, u"1985-03-14"_s}}},
        {"patient with accents",
         u"GetPaciente"_s,
         {Branch, Joao},
         PacienteFields,
         {{Branch, Joao, u"João Pereira"_s, u"1990-07-01"_s}}},
        {"unknown patient", u"GetPaciente"_s, {Branch, u"000000000099"_s}, PacienteFields, {}},
        {"other branch", u"GetPaciente"_s, {u"0002"_s, Maria}, PacienteFields, {}},
        {"weight",
         u"GetPeso"_s,
         {Branch, Maria, u"@"_s},
         PesoFields,
         {{Branch, Maria, u"@"_s, u"01"_s, u"01"_s, u"68,5"_s}}},
        {"no weight", u"GetPeso"_s, {Branch, Joao, u"@"_s}, PesoFields, {}},
        {"plan in code order",
         u"GetPlaneja"_s,
         {Branch, u"@"_s, Maria},
         PlanejaFields,
         {{Branch, Maria, u"@"_s, u"002054"_s, u"0.75"_s,
           u"Musculação, vários exercícios, 8 a 15 repetições"_s, u"3.5"_s, u"3.5"_s},
          {Branch, Maria, u"@"_s, u"017190"_s, u"1"_s,
           u"Caminhada, 4,5 a 5,1 km/h, plano, ritmo moderado"_s, u"3.5"_s, u"3.5"_s},
          {Branch, Maria, u"@"_s, u"018310"_s, u"0.5"_s, u"Natação, lazer, geral"_s, u"6"_s,
           u"6"_s}}},
        {"empty plan", u"GetPlaneja"_s, {Branch, u"@"_s, Joao}, PlanejaFields, {}},
        {"planned exercise",
         u"VerifExerc"_s,
         {Branch, Maria, u"@"_s, u"017190"_s},
         VerifFields,
         {{Branch, Maria, u"@"_s, u"017190"_s}}},
        {"exercise not planned",
         u"VerifExerc"_s,
         {Branch, Maria, u"@"_s, u"012020"_s},
         VerifFields,
         {}},
        {"code not adjusted",
         u"VerifExerc"_s,
         {Branch, Maria, u"@"_s, u"17190"_s},
         VerifFields,
         {}},
        {"assessment method",
         u"GetMetoAval"_s,
         {Branch, Maria, u"01"_s, u"@"_s},
         MetoAvalFields,
         {{Branch, Maria, u"@"_s, u"01"_s, u"N"_s}}},
        {"no assessment method",
         u"GetMetoAval"_s,
         {Branch, Joao, u"01"_s, u"@"_s},
         MetoAvalFields,
         {}},
        {"other method code",
         u"GetMetoAval"_s,
         {Branch, Maria, u"02"_s, u"@"_s},
         MetoAvalFields,
         {}},
    };
    for (const ReadCase &c : cases) {
        SCOPED_TRACE(c.name);
        QJsonArray params;
        for (const QString &p : c.params)
            params.append(p == u"@"_s ? consultaIso() : p);
        const TDataPacket packet = decodePacket(ok(c.method, params));
        EXPECT_EQ(packet.fields, c.fields);
        QList<QStringList> rows;
        for (const QVariantList &row : packet.rows) {
            QStringList cells;
            for (int i = 0; i < row.size() && i < packet.fields.size(); ++i)
                cells.append(cell(row[i], packet.fields[i].type, consulta));
            rows.append(cells);
        }
        EXPECT_EQ(rows, c.rows);
    }
}

TEST_P(ReadMethods, FindTheConsultationOnlyAtItsExactDateTime)
{
    // A day later, and one millisecond later, are other consultations.
    const QList<std::pair<TDateTime, int>> cases{
        {consulta, 3},
        {consulta + 1, 0},
        {consulta - 1, 0},
        {consulta + 1.0 / 86400000.0, 0},
    };
    for (const auto &[date, rows] : cases) {
        SCOPED_TRACE(isoDateTime(date).toStdString());
        const TDataPacket packet =
            decodePacket(ok(u"GetPlaneja"_s, {Branch, isoDateTime(date), Maria}));
        EXPECT_EQ(packet.rows.size(), rows);
    }
}

struct BadCall
{
    const char *name;
    QString method;
    QJsonArray params; // "@" is replaced by the consultation date
    int code;
    QString messagePart;
};

TEST_P(ReadMethods, RefuseWrongArgumentsNamingTheMethod)
{
    const QList<BadCall> cases{
        {"patient before date in GetPlaneja",
         u"GetPlaneja"_s,
         {Branch, Maria, u"@"_s},
         -32602,
         u"GetPlaneja"_s},
        {"date second in GetPeso", u"GetPeso"_s, {Branch, u"@"_s, Maria}, -32602, u"GetPeso"_s},
        {"method code last in GetMetoAval",
         u"GetMetoAval"_s,
         {Branch, Maria, u"@"_s, u"01"_s},
         -32602,
         u"GetMetoAval"_s},
        {"too few", u"GetPaciente"_s, {Branch}, -32602, u"GetPaciente"_s},
        {"too many", u"GetPaciente"_s, {Branch, Maria, Maria}, -32602, u"GetPaciente"_s},
        {"number for a code",
         u"VerifExerc"_s,
         {Branch, Maria, u"@"_s, 17190},
         -32602,
         u"VerifExerc"_s},
        {"null branch", u"GetPeso"_s, {QJsonValue(), Maria, u"@"_s}, -32602, u"GetPeso"_s},
        {"impossible date",
         u"GetPeso"_s,
         {Branch, Maria, u"2024-13-45T00:00:00.000"_s},
         -32602,
         u"GetPeso"_s},
        {"number for a date", u"GetPeso"_s, {Branch, Maria, 45000}, -32602, u"GetPeso"_s},
        {"text for a delta", u"SetPlaneja"_s, {u"delta"_s}, -32602, u"SetPlaneja"_s},
        {"no delta", u"SetPeso"_s, {}, -32602, u"SetPeso"_s},
        {"delta without changes list",
         u"SetMetoAval"_s,
         {QJsonObject{{u"fields"_s, 1}}},
         -32602,
         u"SetMetoAval"_s},
        {"unknown method",
         u"GetPlanejamento"_s,
         {Branch},
         -32601,
         u"Método desconhecido: GetPlanejamento."_s},
    };
    for (const BadCall &c : cases) {
        SCOPED_TRACE(c.name);
        QJsonArray params;
        for (const QJsonValue &p : c.params)
            params.append(p == QJsonValue(u"@"_s) ? QJsonValue(consultaIso()) : p);
        const QJsonObject result = call(c.method, params);
        ASSERT_FALSE(result.value(u"ok"_s).toBool());
        const QJsonObject error = result.value(u"error"_s).toObject();
        EXPECT_EQ(error.value(u"code"_s).toInt(), c.code);
        EXPECT_TRUE(error.value(u"message"_s).toString().contains(c.messagePart))
            << error.value(u"message"_s).toString().toStdString();
    }
    // The connection is still in step after all of them.
    EXPECT_EQ(decodePacket(ok(u"GetPaciente"_s, {Branch, Maria})).rows.size(), 1);
}

// Another program wrote a figure into the plan that is no number (a text, which SQLite
// keeps in a numeric column, or an infinity): the plan is refused with a sentence that
// says so, as a database error rather than the server's own fault, and the server goes
// on serving the same connection; once the figure is mended the plan reads again.
TEST_P(ReadMethods, RefuseAPlanHoldingAFigureThatIsNoNumberAndKeepServing)
{
    const QList<std::pair<const char *, QString>> cases{
        {"hours", u"QTHREXERFISI"_s},
        {"energy cost", u"QTENERCONSPL"_s},
    };
    const QString unreadable = u"Valor numérico inválido no banco de dados"_s;
    for (const auto &[name, column] : cases) {
        SCOPED_TRACE(name);
        execSql(server->db(),
                u"UPDATE PLAEXERFISI SET %1 = 'Infinity' WHERE CDEXERFISICO = "
                u"'017190'"_s.arg(column));
        const QJsonObject result = call(u"GetPlaneja"_s, {Branch, consultaIso(), Maria});
        ASSERT_FALSE(result.value(u"ok"_s).toBool());
        const QJsonObject error = result.value(u"error"_s).toObject();
        EXPECT_EQ(error.value(u"code"_s).toInt(), RpcDatabaseError);
        EXPECT_TRUE(error.value(u"message"_s).toString().startsWith(unreadable))
            << error.value(u"message"_s).toString().toStdString();
        EXPECT_EQ(decodePacket(ok(u"GetPaciente"_s, {Branch, Maria})).rows.size(), 1);

        execSql(server->db(),
                u"UPDATE PLAEXERFISI SET %1 = 1 WHERE CDEXERFISICO = '017190'"_s.arg(column));
        EXPECT_EQ(decodePacket(ok(u"GetPlaneja"_s, {Branch, consultaIso(), Maria})).rows.size(), 3);
    }
}

QOR_INSTANTIATE_BACKENDS(ReadMethods);

} // namespace
} // namespace qor::testing
