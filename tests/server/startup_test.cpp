// qor-server's start on a database as an installation meets it: several servers starting
// at the same moment on the same new database (a restart overlapping the old process,
// two hosts of a cluster, systemd and an administrator by hand), with and without the
// demo data, and a schema it cannot bring up to date.
#include "planfixture.h"

#include "rtl/exceptions.h"
#include "sql/sqlconnection.h"
#include "sql/sqlquery.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

constexpr int WaitMs = 120000; // generous: a loaded machine, sanitizers

// A new, empty database on the backend under test (a file not yet made, or a database
// created in the cluster named by QOR_TEST_PG), dropped at the end.
class NewDatabase
{
public:
    explicit NewDatabase(Backend backend)
    {
        if (backend == Backend::SQLite) {
            uri = DatabaseUri::parse(u"sqlite:"_s + dir.filePath(u"qor.db"_s));
            return;
        }
        admin = DatabaseUri::parse(qEnvironmentVariable("QOR_TEST_PG"));
        uri = admin;
        uri.database = u"qor_s_"_s + QString::number(QRandomGenerator::global()->generate64(), 36);
        runAsAdmin(u"CREATE DATABASE %1"_s.arg(uri.database));
        created = true;
    }
    ~NewDatabase()
    {
        if (!direct.isEmpty()) {
            QSqlDatabase::database(direct, false).close();
            QSqlDatabase::removeDatabase(direct);
        }
        if (created)
            runAsAdmin(u"DROP DATABASE IF EXISTS %1 WITH (FORCE)"_s.arg(uri.database));
    }
    QSqlDatabase db()
    {
        if (direct.isEmpty()) {
            direct = u"qor-startup-direct-"_s + uri.database + dir.path();
            return openDatabase(uri, direct);
        }
        return QSqlDatabase::database(direct);
    }
    int count(const QString &sql)
    {
        SqlStatement query(db(), sql);
        query.exec();
        return query.next() ? query.value(0).toInt() : -1;
    }

    QTemporaryDir dir;
    DatabaseUri uri;

private:
    void runAsAdmin(const QString &sql)
    {
        const QString name = u"qor-startup-admin"_s;
        {
            QSqlDatabase db = openDatabase(admin, name);
            execSql(db, sql);
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }

    DatabaseUri admin;
    bool created = false;
    QString direct;
};

// A qor-server process on a free port; the log is kept in memory.
struct Started
{
    bool listening = false;
    QString log;
};

std::unique_ptr<QProcess> launch(const NewDatabase &database, const QString &tokenFile, bool demo)
{
    QStringList arguments{
        u"--db"_s, database.uri.toString(), u"--listen"_s, u"127.0.0.1:0"_s, u"--token-file"_s,
        tokenFile, u"--workers"_s,          u"1"_s};
    if (demo)
        arguments << u"--demo"_s;
    auto process = std::make_unique<QProcess>();
    process->start(ServerProcess::serverPath(), arguments);
    return process;
}

// Waits for the "listening" line or the end of the process, then stops it.
Started finish(QProcess &process)
{
    Started started;
    const QDeadlineTimer deadline(WaitMs);
    QString out;
    while (!deadline.hasExpired() && !started.listening) {
        if (process.state() == QProcess::NotRunning && !process.bytesAvailable())
            break;
        process.waitForReadyRead(500);
        out += QString::fromUtf8(process.readAllStandardOutput());
        started.listening = out.contains(u"qor-server listening on"_s);
    }
    if (process.state() == QProcess::Running) {
        process.terminate();
        if (!process.waitForFinished(WaitMs))
            process.kill();
    }
    process.waitForFinished(WaitMs);
    started.log = QString::fromUtf8(process.readAllStandardError());
    return started;
}

struct TogetherCase
{
    Backend backend;
    bool demo;
};

class StartingTogether : public ::testing::TestWithParam<TogetherCase>
{
protected:
    void SetUp() override
    {
        if (GetParam().backend == Backend::PostgreSQL && !ServerProcess::postgresAvailable())
            GTEST_SKIP() << "QOR_TEST_PG is not set";
    }
};

// Every server starts, the schema is made once and whole, and the demo data, when
// asked for, exactly once. Repeated: a race shows only now and then.
TEST_P(StartingTogether, AllStartAndMakeTheSchemaAndTheDemoOnce)
{
    constexpr int Rounds = 4;
    constexpr int Servers = 4;
    for (int round = 0; round < Rounds; ++round) {
        SCOPED_TRACE(round);
        NewDatabase database(GetParam().backend);
        // One token file for all, as the servers of one installation share it.
        const QString tokenFile = database.dir.filePath(u"qor-server.token"_s);
        std::vector<std::unique_ptr<QProcess>> processes;
        for (int i = 0; i < Servers; ++i)
            processes.push_back(launch(database, tokenFile, GetParam().demo));
        for (auto &process : processes) {
            const Started started = finish(*process);
            EXPECT_TRUE(started.listening) << started.log.toStdString();
        }
        EXPECT_EQ(database.count(u"SELECT COUNT(*) FROM QOR_SCHEMA"_s), 1);
        EXPECT_EQ(database.count(u"SELECT MAX(VERSION) FROM QOR_SCHEMA"_s), 1);
        const int demo = GetParam().demo ? 1 : 0;
        EXPECT_EQ(database.count(u"SELECT COUNT(*) FROM EXERFISICO"_s), 28 * demo);
        EXPECT_EQ(database.count(u"SELECT COUNT(*) FROM PACIENTE"_s), 2 * demo);
        EXPECT_EQ(database.count(u"SELECT COUNT(*) FROM PLAEXERFISI"_s), 3 * demo);
        EXPECT_EQ(database.count(u"SELECT COUNT(*) FROM INFOAVAL"_s), 1 * demo);
        if (::testing::Test::HasFailure())
            return;
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, StartingTogether,
                         ::testing::Values(TogetherCase{Backend::SQLite, false},
                                           TogetherCase{Backend::SQLite, true},
                                           TogetherCase{Backend::PostgreSQL, false},
                                           TogetherCase{Backend::PostgreSQL, true}),
                         [](const ::testing::TestParamInfo<TogetherCase> &info) {
                             return backendName(info.param.backend).toStdString()
                                 + (info.param.demo ? "_demo" : "_empty");
                         });

// A clash with a table an administrator made stops the first migration at its last
// statement: nothing of it is kept, the server refuses to start naming the version, and
// starts once the clash is gone.
class SchemaItCannotMake : public BackendTest
{
};

TEST_P(SchemaItCannotMake, KeepsNothingHalfMadeAndStartsOnceFixed)
{
    NewDatabase database(GetParam());
    const QString tokenFile = database.dir.filePath(u"qor-server.token"_s);
    execSql(database.db(), u"CREATE TABLE PLAEXERFISI_EXERFISICO (X integer)"_s);

    auto refused = launch(database, tokenFile, true);
    const Started first = finish(*refused);
    EXPECT_FALSE(first.listening);
    EXPECT_EQ(refused->exitCode(), 1);
    EXPECT_TRUE(first.log.contains(u"esquema do banco de dados para a versão 1"_s))
        << first.log.toStdString();
    EXPECT_EQ(database.count(u"SELECT COUNT(*) FROM QOR_SCHEMA"_s), 0);
    // The tables the migration made before the failing statement went with it.
    EXPECT_THROW(database.count(u"SELECT COUNT(*) FROM PACIENTE"_s), EDatabaseError);

    execSql(database.db(), u"DROP TABLE PLAEXERFISI_EXERFISICO"_s);
    auto fixed = launch(database, tokenFile, true);
    const Started second = finish(*fixed);
    EXPECT_TRUE(second.listening) << second.log.toStdString();
    EXPECT_EQ(database.count(u"SELECT MAX(VERSION) FROM QOR_SCHEMA"_s), 1);
    EXPECT_EQ(database.count(u"SELECT COUNT(*) FROM PACIENTE"_s), 2);
}

QOR_INSTANTIATE_BACKENDS(SchemaItCannotMake);

} // namespace
} // namespace qor::testing
