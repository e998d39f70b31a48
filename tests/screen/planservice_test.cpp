// The plan service client against a real qor-server: each method goes out under its
// name with its parameters in the server's order, and reads back the demo rows.
#include "support/serverprocess.h"

#include "data/packet.h"
#include "framework/consiste.h"
#include "framework/netconnection.h"
#include "remote/rpcclient.h"
#include "rtl/exceptions.h"
#include "service/planservice.h"

#include <QFile>
#include <QJsonDocument>
#include <functional>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

const QString Branch = u"0001"_s;
const QString Maria = u"000000000001"_s;

class PlanServiceTest : public BackendTest
{
protected:
    void SetUp() override
    {
        BackendTest::SetUp();
        if (IsSkipped())
            return;
        server = startServer();
        ASSERT_TRUE(server);
        connection = std::make_unique<TNetConnection>();
        connection->BeforeConnect = [this](QObject *) {
            connection->Host = server->host();
            connection->Port = server->port();
        };
        // The token travels through the settings the connection reads when it opens.
        qputenv("QOR_SETTINGS", settingsDir.filePath(u"s.ini"_s).toLocal8Bit());
        QFile file(settingsDir.filePath(u"s.ini"_s));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[server]\ntoken=" + server->token().toUtf8() + "\n");
        file.close();
        QObject::connect(connection->Client(), &RpcClient::callStarted,
                         [this](const QString &method, const QJsonArray &params) {
                             sent.append({method, params});
                         });
    }
    void TearDown() override
    {
        connection.reset();
        server.reset();
        qunsetenv("QOR_SETTINGS");
    }

    std::unique_ptr<ServerProcess> server;
    std::unique_ptr<TNetConnection> connection;
    QTemporaryDir settingsDir;
    QList<std::pair<QString, QJsonArray>> sent;
};

struct ReadCase
{
    const char *name;
    std::function<QJsonObject(const PlanService &, TDateTime)> call;
    QString method;
    std::function<QJsonArray(const QJsonValue &date)> params;
    int rows;
};

TEST_P(PlanServiceTest, ReadersSendTheirParametersInTheServersOrder)
{
    const ReadCase cases[] = {
        {"GetPaciente",
         [](const PlanService &s, TDateTime) { return s.GetPaciente(Branch, Maria); },
         u"GetPaciente"_s,
         [](const QJsonValue &) {
             return QJsonArray{Branch, Maria};
         },
         1},
        {"GetPeso",
         [](const PlanService &s, TDateTime day) { return s.GetPeso(Branch, Maria, day); },
         u"GetPeso"_s,
         [](const QJsonValue &d) {
             return QJsonArray{Branch, Maria, d};
         },
         1},
        {"GetPlaneja",
         [](const PlanService &s, TDateTime day) { return s.GetPlaneja(Branch, day, Maria); },
         u"GetPlaneja"_s,
         [](const QJsonValue &d) {
             return QJsonArray{Branch, d, Maria};
         },
         3},
        {"VerifExerc planned",
         [](const PlanService &s, TDateTime day) {
             return s.VerifExerc(Branch, Maria, day, u"017190"_s);
         },
         u"VerifExerc"_s,
         [](const QJsonValue &d) {
             return QJsonArray{Branch, Maria, d, u"017190"_s};
         },
         1},
        {"VerifExerc not planned",
         [](const PlanService &s, TDateTime day) {
             return s.VerifExerc(Branch, Maria, day, u"999999"_s);
         },
         u"VerifExerc"_s,
         [](const QJsonValue &d) {
             return QJsonArray{Branch, Maria, d, u"999999"_s};
         },
         0},
        {"GetMetoAval",
         [](const PlanService &s, TDateTime day) {
             return s.GetMetoAval(Branch, Maria, u"01"_s, day);
         },
         u"GetMetoAval"_s,
         [](const QJsonValue &d) {
             return QJsonArray{Branch, Maria, u"01"_s, d};
         },
         1},
    };
    const TDateTime today = Date();
    const QJsonValue isoToday =
        QJsonValue(QDate::currentDate().toString(u"yyyy-MM-dd"_s) + u"T00:00:00.000"_s);
    const PlanService service(connection.get());
    for (const ReadCase &c : cases) {
        SCOPED_TRACE(c.name);
        sent.clear();
        const QJsonObject raw = c.call(service, today);
        ASSERT_EQ(sent.size(), 1);
        EXPECT_EQ(sent[0].first, c.method);
        EXPECT_EQ(sent[0].second, c.params(isoToday))
            << QJsonDocument(sent[0].second).toJson(QJsonDocument::Compact).toStdString();
        const TDataPacket packet = decodePacket(CheckResultServ(raw, true, 0));
        EXPECT_EQ(packet.rows.size(), c.rows);
    }
}

TEST_P(PlanServiceTest, WritersSendTheDeltaAndFailuresComeBackAsResults)
{
    const PlanService service(connection.get());
    const TDataPacket plan =
        decodePacket(CheckResultServ(service.GetPlaneja(Branch, Date(), Maria), true, 0));
    ASSERT_FALSE(plan.rows.isEmpty());

    // Deleting a row the server has: one SetPlaneja carrying the delta object.
    TDelta remove;
    remove.fields = plan.fields;
    remove.changes.append({TChangeOp::Delete, plan.rows.first(), {}});
    sent.clear();
    EXPECT_NO_THROW(CheckResultServ(service.SetPlaneja(remove), true, 0));
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0].first, u"SetPlaneja"_s);
    EXPECT_EQ(sent[0].second, QJsonArray{encodeDelta(remove)});
    EXPECT_EQ(decodePacket(CheckResultServ(service.GetPlaneja(Branch, Date(), Maria), true, 0))
                  .rows.size(),
              plan.rows.size() - 1);

    // The same delete again finds nothing: the server's refusal is a result to check.
    const QJsonObject refused = service.SetPlaneja(remove);
    EXPECT_THROW(CheckResultServ(refused, true, 0), Exception);

    // A stopped server is a transport failure, raised by the call itself.
    server->stop();
    EXPECT_THROW(service.GetPaciente(Branch, Maria), Exception);
}

QOR_INSTANTIATE_BACKENDS(PlanServiceTest);

} // namespace
} // namespace qor::testing
