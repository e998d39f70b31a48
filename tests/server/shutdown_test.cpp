// qor-server told to stop after its workers have served calls: each worker releases its
// own database connection as it ends, and the process must wait for that instead of
// tearing the database libraries down under it (it used to die of SIGSEGV at exit).
#include "planfixture.h"

#include "remote/rpcclient.h"

#include <QJsonArray>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

class ServerShutdown : public PlanServerTest
{
};

TEST_P(ServerShutdown, ExitsCleanlyAfterEveryWorkerHeldAConnection)
{
    constexpr int Rounds = 8;
    constexpr int Clients = 6; // more than the default four workers
    for (int round = 0; round < Rounds; ++round) {
        SCOPED_TRACE(round);
        {
            std::vector<std::unique_ptr<RpcClient>> clients;
            for (int i = 0; i < Clients; ++i) {
                clients.push_back(std::make_unique<RpcClient>());
                clients.back()->setOptions(server->clientOptions());
                const QJsonObject reply =
                    clients.back()->call(u"GetPlaneja"_s, {Branch, consultaIso(), Maria});
                EXPECT_TRUE(reply.value(u"ok"_s).toBool());
            }
        }
        EXPECT_EQ(server->stop(), 0) << server->log().toStdString();
        QString error;
        ASSERT_TRUE(server->start(&error)) << error.toStdString();
    }
}

QOR_INSTANTIATE_BACKENDS(ServerShutdown);

} // namespace
} // namespace qor::testing
