// qor-server when its storage fails under it or it ends abruptly: the file-size limit
// reached, the database made read-only, the server killed in the middle of a save.
// Each save the server answers must be told truly: stored when it says so, and nothing
// of it kept when it says it failed.
#include "planfixture.h"

#include "rtl/exceptions.h"
#include "sql/sqlquery.h"

#include <QJsonArray>
#include <csignal>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

// Catalogue codes not in the demo plan.
const QStringList FreeCodes{u"001010"_s, u"001020"_s, u"001030"_s, u"002010"_s, u"002048"_s,
                            u"002105"_s, u"002120"_s, u"002150"_s, u"002160"_s, u"003015"_s,
                            u"005010"_s, u"005043"_s, u"007021"_s, u"007030"_s};

class StorageFailures : public PlanServerTest
{
protected:
    void SetUp() override
    {
        PlanServerTest::SetUp();
        if (!IsSkipped() && GetParam() != Backend::SQLite)
            GTEST_SKIP() << "the server keeps no database files of its own on PostgreSQL";
    }

    QJsonObject insertDelta(const QString &code)
    {
        return deltaJson(planDeltaFields(),
                         {insertOf(planRow(Maria, consulta, code, 0.5, {}, 7.0))});
    }

    // The outcome of adding `code` to the demo plan; a call that raised (the connection
    // lost, the server gone) as "raised: ...".
    std::string save(const QString &code)
    {
        try {
            return outcome(call(u"SetPlaneja"_s, {insertDelta(code)}));
        } catch (const Exception &e) {
            return "raised: " + e.Message().toStdString();
        }
    }

    bool stored(const QString &code)
    {
        return select(u"SELECT CDEXERFISICO FROM PLAEXERFISI WHERE CDEXERFISICO = ?"_s,
                      {{u"CDEXERFISICO"_s, TFieldType::String, 6}}, {code})
                   .rows.size()
            == 1;
    }

    bool setFileSizeLimit(rlim_t bytes)
    {
        rlimit limit = {};
        if (::prlimit(pid_t(server->pid()), RLIMIT_FSIZE, nullptr, &limit) != 0)
            return false;
        limit.rlim_cur = bytes == RLIM_INFINITY ? limit.rlim_max : bytes;
        return ::prlimit(pid_t(server->pid()), RLIMIT_FSIZE, &limit, nullptr) == 0;
    }
};

// The files grow past what the process may write (a quota, a limit set by the service
// manager): the saves that do not fit are refused, the server stays up, and once the
// limit is lifted it stores again.
TEST_P(StorageFailures, RefusesSavesBeyondTheFileSizeLimitAndStaysUp)
{
    ok(u"GetPaciente"_s, {Branch, Maria}); // the worker's connection and its shared memory
    ASSERT_TRUE(setFileSizeLimit(40000));
    int refused = 0;
    for (const QString &code : FreeCodes.mid(0, 10)) {
        SCOPED_TRACE(code.toStdString());
        const std::string result = save(code);
        if (result == "ok") {
            EXPECT_TRUE(stored(code));
            continue;
        }
        ++refused;
        EXPECT_EQ(result.rfind(std::to_string(RpcDatabaseError) + ": ", 0), 0u) << result;
        EXPECT_FALSE(stored(code));
    }
    EXPECT_GT(refused, 0) << "every save fitted: the limit was not reached";
    EXPECT_TRUE(server->isRunning()) << server->log().toStdString();

    ASSERT_TRUE(setFileSizeLimit(RLIM_INFINITY));
    EXPECT_EQ(save(FreeCodes[10]), "ok");
    EXPECT_TRUE(stored(FreeCodes[10]));
}

QOR_INSTANTIATE_BACKENDS(StorageFailures);

} // namespace
} // namespace qor::testing
