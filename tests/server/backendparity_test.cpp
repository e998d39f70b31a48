// The same calls, over the same uncommon but valid data, answered by a server on SQLite
// and by one on PostgreSQL: the answers must be the same, byte for byte. A clinic moving
// from one database to the other, or a workstation talking to either, sees the same plan,
// figures, dates and texts. Runs only where a PostgreSQL cluster is at hand.
#include "planfixture.h"

#include "sql/sqlquery.h"
#include "support/scopedtimezone.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <limits>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

const QString Filial = u"0001"_s;

class BackendParity : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!ServerProcess::postgresAvailable())
            GTEST_SKIP() << "QOR_TEST_PG is not set";
        for (Backend backend : {Backend::SQLite, Backend::PostgreSQL}) {
            ServerProcess::Options options;
            options.backend = backend;
            options.demo = false;
            auto server = std::make_unique<ServerProcess>(options);
            QString error;
            ASSERT_TRUE(server->start(&error)) << error.toStdString();
            clients.push_back(server->connect());
            servers.push_back(std::move(server));
        }
    }

    // Runs one statement on both databases directly, as another program would.
    void direct(const QString &sql, const QList<std::pair<TFieldType, QVariant>> &binds)
    {
        for (const auto &server : servers) {
            SqlStatement statement(server->db(), sql);
            for (const auto &[type, value] : binds)
                statement.bind(type, value);
            statement.exec();
        }
    }

    // Calls both servers; expects the same answer and returns it.
    QJsonObject both(const QString &method, const QJsonArray &params)
    {
        const QJsonObject sqlite = clients[0]->call(method, params);
        const QJsonObject postgresql = clients[1]->call(method, params);
        const QByteArray a = QJsonDocument(sqlite).toJson(QJsonDocument::Compact);
        const QByteArray b = QJsonDocument(postgresql).toJson(QJsonDocument::Compact);
        EXPECT_EQ(a.toStdString(), b.toStdString())
            << method.toStdString() << " "
            << QJsonDocument(params).toJson(QJsonDocument::Compact).toStdString();
        ++calls;
        return sqlite;
    }

    static QJsonArray rowsOf(const QJsonObject &answer)
    {
        return answer.value(u"data"_s).toObject().value(u"rows"_s).toArray();
    }

    ScopedTimeZone zone{"America/Sao_Paulo"};
    std::vector<std::unique_ptr<ServerProcess>> servers;
    std::vector<std::unique_ptr<RpcClient>> clients;
    int calls = 0;
};

// A delta of one change in its wire form: row is the new row of an insert and the old
// row of an update or a delete.
QJsonObject delta(const QList<TFieldDef> &fields, TChangeOp op, const QJsonArray &row,
                  const QJsonArray &newRow = {})
{
    QJsonObject change;
    switch (op) {
    case TChangeOp::Insert:
        change = {{u"op"_s, u"insert"_s}, {u"new"_s, row}};
        break;
    case TChangeOp::Update:
        change = {{u"op"_s, u"update"_s}, {u"old"_s, row}, {u"new"_s, newRow}};
        break;
    case TChangeOp::Delete:
        change = {{u"op"_s, u"delete"_s}, {u"old"_s, row}};
        break;
    }
    QJsonObject json = encodeDelta(TDelta{fields, {}});
    json.insert(u"changes"_s, QJsonArray{change});
    return json;
}

TEST_F(BackendParity, SameAnswersOverUncommonData)
{
    const double tiny = std::numeric_limits<double>::denorm_min();
    const double huge = std::numeric_limits<double>::max();
    struct Exercise
    {
        QString code;
        QString name;
        double energy;
    };
    // Codes differing only by case or a trailing space, beyond ASCII, and that sort
    // differently by byte and by letter; figures at the ends of what a double holds.
    const QList<Exercise> catalogue{
        {u"000001"_s, u"Caminhada, ritmo lento"_s, 0.1 + 0.2},
        {u"00000a"_s, u"  acentuação e cedilha  "_s, tiny},
        {u"00000A"_s, u"MAIÚSCULA"_s, huge},
        {u"00001 "_s, u"espaço no fim do código"_s, 1e-300},
        {u"0001ç"_s, u"aspas ' \" e barra \\ invertida"_s, 123456789.12345679},
        {u"Z"_s, u"tab\there, nova\nlinha, \x1b"_s, 1e22},
        {u"_x"_s, u"corrida 🏃 com emoji"_s, 3.3333333333333335},
    };
    for (const Exercise &e : catalogue) {
        direct(u"INSERT INTO EXERFISICO (CDEXERFISICO, DSEXERFISICO, QTENERCONS, CDEDICAO) "
               u"VALUES (?, ?, ?, '2011')"_s,
               {{TFieldType::String, e.code},
                {TFieldType::String, e.name},
                {TFieldType::Float, e.energy}});
    }
    struct Patient
    {
        QString code;
        QString name;
        QVariant birth;
    };
    const QList<Patient> patients{
        {u"P1"_s, u"Élida Çardoso 👩‍⚕️ 'x' \"y\" \\z"_s,
         EncodeDateTime(QDate(1900, 1, 1), 0)},
        {u"p1"_s, u"  minúsculas  "_s, EncodeDateTime(QDate(2100, 12, 31), 86'399'999)},
        {u"P1 "_s, u"espaço no fim"_s, QVariant()},
    };
    for (const Patient &p : patients) {
        direct(u"INSERT INTO PACIENTE (CDFILIAL, CDPACIENTE, NMPACIENTE, DTNASCPACI) "
               u"VALUES (?, ?, ?, ?)"_s,
               {{TFieldType::String, Filial},
                {TFieldType::String, p.code},
                {TFieldType::String, p.name},
                {TFieldType::DateTime, p.birth}});
    }
    for (const QString &code : {u"P1"_s, u"p1"_s, u"P1 "_s, u"P2"_s})
        both(u"GetPaciente"_s, {Filial, code});

    // Consultations at midnight, with milliseconds, in the hour skipped and the hour
    // repeated by daylight saving in São Paulo, and far from today. Each records a
    // weight typed in an unusual way.
    const QStringList dates{
        u"2024-06-01T00:00:00.000"_s, u"2024-06-01T12:34:56.789"_s, u"2018-11-04T00:30:00.000"_s,
        u"2019-02-16T23:30:00.000"_s, u"1900-01-01T00:00:00.000"_s, u"2100-12-31T23:59:59.999"_s,
    };
    const QStringList weights{
        u"68,5"_s,
        u" 70,25 "_s,
        u"açúcar 😀"_s,
        u"'\"\\\t"_s,
        u"68,5"_s + QChar(0xFFFF),
        QChar(0xFFFE) + u"68,5"_s,
    };
    for (qsizetype i = 0; i < dates.size(); ++i) {
        SCOPED_TRACE(dates[i].toStdString());
        const QJsonArray method{Filial, u"P1"_s, dates[i], u"01"_s, u"N"_s};
        both(u"SetMetoAval"_s, {delta(metoAvalDeltaFields(), TChangeOp::Insert, method)});
        both(u"GetMetoAval"_s, {Filial, u"P1"_s, u"01"_s, dates[i]});
        const QJsonArray weight{Filial, u"P1"_s, dates[i], u"01"_s, u"01"_s, weights[i]};
        both(u"SetPeso"_s, {delta(pesoDeltaFields(), TChangeOp::Insert, weight)});
        const QJsonArray stored =
            rowsOf(both(u"GetPeso"_s, {Filial, u"P1"_s, dates[i]})).at(0).toArray();
        if (!stored.isEmpty()) {
            QJsonArray changed = stored;
            changed[5] = u"71"_s;
            both(u"SetPeso"_s, {delta(pesoDeltaFields(), TChangeOp::Update, stored, changed)});
            both(u"GetPeso"_s, {Filial, u"P1"_s, dates[i]});
        }
        both(u"GetPlaneja"_s, {Filial, dates[i], u"P1"_s});
    }

    // A plan with every exercise, hours with many decimals or at the ends of a double;
    // then each row changed by the values it was read with, and some removed.
    const QString when = dates[1];
    const QList<double> hours{0.1 + 0.2, tiny, huge, 1.0 / 3, 167.99999999999997, -1.5, 1e15 + 0.3};
    for (qsizetype i = 0; i < catalogue.size(); ++i) {
        const QJsonArray row{Filial,
                             u"P1"_s,
                             when,
                             catalogue[i].code,
                             hours[i % hours.size()],
                             u"x"_s,
                             catalogue[i].energy,
                             catalogue[i].energy};
        both(u"SetPlaneja"_s, {delta(planDeltaFields(), TChangeOp::Insert, row)});
    }
    for (const QString &code : {u"00000a"_s, u"00000A"_s, u"00001 "_s, u"00001"_s, u"0001Ç"_s})
        both(u"VerifExerc"_s, {Filial, u"P1"_s, when, code});
    const QJsonArray plan = rowsOf(both(u"GetPlaneja"_s, {Filial, when, u"P1"_s}));
    EXPECT_EQ(plan.size(), catalogue.size());
    for (const QJsonValue &value : plan) {
        QJsonArray changed = value.toArray();
        changed[4] = 1.25;
        both(u"SetPlaneja"_s,
             {delta(planDeltaFields(), TChangeOp::Update, value.toArray(), changed)});
    }
    const QJsonArray updated = rowsOf(both(u"GetPlaneja"_s, {Filial, when, u"P1"_s}));
    for (qsizetype i = 0; i < updated.size(); i += 2) {
        both(u"SetPlaneja"_s,
             {delta(planDeltaFields(), TChangeOp::Delete, updated.at(i).toArray())});
    }
    both(u"GetPlaneja"_s, {Filial, when, u"P1"_s});
    EXPECT_GT(calls, 60);
}

} // namespace
} // namespace qor::testing
