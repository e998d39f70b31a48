// qor-server's start on a database as an installation meets it: several servers starting
// at the same moment on the same new database (a restart overlapping the old process,
// two hosts of a cluster, systemd and an administrator by hand), with and without the
// demo data, and a schema it cannot bring up to date.
#include "planfixture.h"

#include "rtl/exceptions.h"
#include "sql/sqlconnection.h"
#include "sql/sqlquery.h"
#include "tokenfile.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <thread>

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
        runStatement(admin, u"CREATE DATABASE %1"_s.arg(uri.database));
        created = true;
    }
    ~NewDatabase()
    {
        if (!direct.isEmpty()) {
            QSqlDatabase::database(direct, false).close();
            QSqlDatabase::removeDatabase(direct);
        }
        if (created)
            runStatement(admin, u"DROP DATABASE IF EXISTS %1 WITH (FORCE)"_s.arg(uri.database));
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
    DatabaseUri admin;
    bool created = false;
    QString direct;
};

// A qor-server process on a free port; the log is kept in memory.
struct Started
{
    bool listening = false;
    quint16 port = 0;
    QString log;
};

std::unique_ptr<QProcess> launch(const DatabaseUri &uri, const QString &tokenFile, bool demo)
{
    QStringList arguments{u"--db"_s,         uri.toString(), u"--listen"_s,  u"127.0.0.1:0"_s,
                          u"--token-file"_s, tokenFile,      u"--workers"_s, u"1"_s};
    if (demo)
        arguments << u"--demo"_s;
    auto process = std::make_unique<QProcess>();
    process->start(ServerProcess::serverPath(), arguments);
    return process;
}

std::unique_ptr<QProcess> launch(const NewDatabase &database, const QString &tokenFile, bool demo)
{
    return launch(database.uri, tokenFile, demo);
}

// Waits for the "listening" line or the end of the process.
Started waitForStart(QProcess &process)
{
    static const QRegularExpression listening(u"qor-server listening on [^\\n]*:(\\d+)"_s);
    Started started;
    const QDeadlineTimer deadline(WaitMs);
    QString out;
    while (!deadline.hasExpired() && !started.listening) {
        if (process.state() == QProcess::NotRunning && !process.bytesAvailable())
            break;
        process.waitForReadyRead(500);
        out += QString::fromUtf8(process.readAllStandardOutput());
        const auto match = listening.match(out);
        started.listening = match.hasMatch();
        started.port = quint16(match.captured(1).toUInt());
    }
    return started;
}

// Stops the process and returns its log.
QString stop(QProcess &process)
{
    if (process.state() == QProcess::Running) {
        process.terminate();
        if (!process.waitForFinished(WaitMs))
            process.kill();
    }
    process.waitForFinished(WaitMs);
    return QString::fromUtf8(process.readAllStandardError());
}

Started finish(QProcess &process)
{
    Started started = waitForStart(process);
    started.log = stop(process);
    return started;
}

// Whether the server on `port` takes calls made with `token`.
bool answers(quint16 port, const QString &token)
{
    RpcClient client;
    RpcClientOptions options;
    options.port = port;
    options.token = token;
    client.setOptions(options);
    try {
        client.open();
        return client.call(u"GetPaciente"_s, {Branch, Maria}).value(u"ok"_s).toBool();
    } catch (const Exception &) {
        return false;
    }
}

struct TogetherCase
{
    Backend backend;
    bool demo;
    // The database's default_transaction_isolation, as an administrator may set it.
    const char *isolation = nullptr;
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
        if (GetParam().isolation)
            execSql(database.db(),
                    u"ALTER DATABASE %1 SET default_transaction_isolation = '%2'"_s.arg(
                        database.uri.database, QLatin1StringView(GetParam().isolation)));
        // One token file for all, as the servers of one installation share it.
        const QString tokenFile = database.dir.filePath(u"qor-server.token"_s);
        std::vector<std::unique_ptr<QProcess>> processes;
        for (int i = 0; i < Servers; ++i)
            processes.push_back(launch(database, tokenFile, GetParam().demo));
        std::vector<Started> started;
        for (auto &process : processes)
            started.push_back(waitForStart(*process));
        QFile file(tokenFile);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QString token = QString::fromUtf8(file.readAll()).trimmed();
        EXPECT_EQ(token.size(), 64);
        for (size_t i = 0; i < processes.size(); ++i) {
            // All of them serve with the one token in the file.
            const bool answered = started[i].listening && answers(started[i].port, token);
            const QString log = stop(*processes[i]);
            EXPECT_TRUE(started[i].listening) << log.toStdString();
            EXPECT_TRUE(answered) << log.toStdString();
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

INSTANTIATE_TEST_SUITE_P(
    Backends, StartingTogether,
    ::testing::Values(TogetherCase{Backend::SQLite, false}, TogetherCase{Backend::SQLite, true},
                      TogetherCase{Backend::PostgreSQL, false},
                      TogetherCase{Backend::PostgreSQL, true},
                      TogetherCase{Backend::PostgreSQL, true, "repeatable read"},
                      TogetherCase{Backend::PostgreSQL, true, "serializable"}),
    [](const ::testing::TestParamInfo<TogetherCase> &info) {
        std::string name =
            backendName(info.param.backend).toStdString() + (info.param.demo ? "_demo" : "_empty");
        if (info.param.isolation) {
            name += '_' + std::string(info.param.isolation);
            std::replace(name.begin(), name.end(), ' ', '_');
        }
        return name;
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

// The server's role may not create tables in the database's schema (PostgreSQL's default
// since version 15 for a role that does not own the database): the refusal in the log
// names the schema the administrator has to grant, and the server starts once granted.
class SchemaItMayNotCreateIn : public BackendTest
{
protected:
    void SetUp() override
    {
        BackendTest::SetUp();
        if (!IsSkipped() && GetParam() != Backend::PostgreSQL)
            GTEST_SKIP() << "a database server's rights on a schema";
    }
};

TEST_P(SchemaItMayNotCreateIn, NamesTheSchemaAndStartsOnceGranted)
{
    NewDatabase database(GetParam());
    const QString tokenFile = database.dir.filePath(u"qor-server.token"_s);
    DatabaseUri asRole = database.uri;
    asRole.user = u"qor_r_"_s + QString::number(QRandomGenerator::global()->generate64(), 36);
    execSql(database.db(), u"CREATE ROLE %1 LOGIN"_s.arg(asRole.user));
    const auto dropRole = qScopeGuard([&] {
        try { // a role left behind must not end the test binary from a destructor
            execSql(database.db(), u"DROP OWNED BY %1"_s.arg(asRole.user));
            execSql(database.db(), u"DROP ROLE %1"_s.arg(asRole.user));
        } catch (const Exception &e) {
            ADD_FAILURE() << e.Message().toStdString();
        }
    });
    execSql(database.db(), u"REVOKE CREATE ON SCHEMA public FROM PUBLIC"_s);

    auto refused = launch(asRole, tokenFile, true);
    const Started first = finish(*refused);
    EXPECT_FALSE(first.listening);
    EXPECT_EQ(refused->exitCode(), 1);
    EXPECT_TRUE(first.log.contains(u"o usuário não tem permissão de acesso ao esquema public."_s))
        << first.log.toStdString();

    execSql(database.db(), u"GRANT CREATE ON SCHEMA public TO %1"_s.arg(asRole.user));
    auto granted = launch(asRole, tokenFile, true);
    const Started second = finish(*granted);
    EXPECT_TRUE(second.listening) << second.log.toStdString();
    EXPECT_EQ(database.count(u"SELECT MAX(VERSION) FROM QOR_SCHEMA"_s), 1);
}

QOR_INSTANTIATE_BACKENDS(SchemaItMayNotCreateIn);

// Servers starting at once with no token file yet: each one gets the token, the same.
TEST(TokenFileTogether, GivesEveryServerTheOneTokenWritten)
{
    constexpr int Rounds = 100;
    constexpr int Servers = 6;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (int round = 0; round < Rounds; ++round) {
        const QString path = dir.filePath(u"token-%1"_s.arg(round));
        std::atomic<int> ready = 0;
        std::vector<QString> tokens(Servers), errors(Servers);
        std::vector<std::thread> threads;
        for (int i = 0; i < Servers; ++i) {
            threads.emplace_back([&, i] {
                ++ready;
                while (ready < Servers) // all at the same moment
                    std::this_thread::yield();
                try {
                    tokens[size_t(i)] = loadOrCreateToken(path);
                } catch (const Exception &e) {
                    errors[size_t(i)] = e.Message();
                }
            });
        }
        for (std::thread &thread : threads)
            thread.join();
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QString written = QString::fromUtf8(file.readAll()).trimmed();
        ASSERT_EQ(written.size(), 64);
        for (int i = 0; i < Servers; ++i) {
            ASSERT_TRUE(errors[size_t(i)].isEmpty())
                << "round " << round << ": " << errors[size_t(i)].toStdString();
            ASSERT_EQ(tokens[size_t(i)].toStdString(), written.toStdString()) << "round " << round;
        }
        // Nothing is left beside it but the token itself.
        ASSERT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), round + 1);
    }
}

// A new SQLite file another server is still writing (its first migration) when this one
// opens it: turning the file to WAL waits for that writer, as every write does, rather
// than refusing to open the database.
TEST(SqliteOpening, WaitsForAWriterOfANewFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"t.db"_s);
    const DatabaseUri uri = DatabaseUri::parse(u"sqlite:"_s + path);
    const QString writerName = u"startup-other-writer"_s;
    {
        // The other server's connection, still in SQLite's default journal.
        QSqlDatabase writer = QSqlDatabase::addDatabase(u"QSQLITE"_s, writerName);
        writer.setDatabaseName(path);
        ASSERT_TRUE(writer.open());
        execSql(writer, u"CREATE TABLE T (A integer)"_s);
        execSql(writer, u"BEGIN IMMEDIATE"_s);
        execSql(writer, u"INSERT INTO T VALUES (1)"_s);

        std::atomic<bool> opening = false;
        QString error, journal;
        std::thread opener([&] {
            const QString name = u"startup-opener"_s;
            opening = true;
            try {
                QSqlDatabase db = openDatabase(uri, name);
                SqlStatement mode(db, u"PRAGMA journal_mode"_s);
                mode.exec();
                journal = mode.next() ? mode.value(0).toString() : QString();
                db.close();
            } catch (const Exception &e) {
                error = e.Message();
            }
            QSqlDatabase::removeDatabase(name);
        });
        while (!opening)
            std::this_thread::yield();
        QThread::msleep(200); // so the opener meets the writer's lock, most times
        execSql(writer, u"COMMIT"_s);
        opener.join();
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        EXPECT_EQ(journal.toStdString(), "wal");
        writer.close();
    }
    QSqlDatabase::removeDatabase(writerName);
}

} // namespace
} // namespace qor::testing
