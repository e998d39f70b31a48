// qor-server when its storage fails under it or it ends abruptly: the file-size limit
// reached, the database made read-only or deleted, the server killed in the middle of a
// save, a workstation giving up on a save that waits. Each save must be told truly:
// stored when the workstation hears so, and nothing of it kept otherwise.
#include "planfixture.h"

#include "rtl/datetime.h"
#include "rtl/exceptions.h"
#include "sql/sqlquery.h"

#include <QCoreApplication>
#include <QDate>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QThread>
#include <csignal>
#include <fcntl.h>
#include <latch>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

// Catalogue codes not in the demo plan.
const QStringList FreeCodes{u"001010"_s, u"001020"_s, u"001030"_s, u"002010"_s, u"002048"_s,
                            u"002105"_s, u"002120"_s, u"002150"_s, u"002160"_s, u"003015"_s,
                            u"005010"_s, u"005043"_s, u"007021"_s, u"007030"_s};

// Makes a database file unwritable the way its owner meets it: read-only permissions, or,
// for root, whom permissions do not stop, the immutable attribute. Undone on destruction.
class WriteProtection
{
public:
    explicit WriteProtection(QString path)
        : m_path(std::move(path))
    { }
    ~WriteProtection() { off(); }

    bool on()
    {
        m_on = ::geteuid() == 0 ? setImmutable(m_path, true)
                                : QFile::setPermissions(m_path, QFileDevice::ReadOwner);
        return m_on;
    }
    // The file and the journals SQLite made meanwhile with the file's permissions.
    void off()
    {
        if (!m_on)
            return;
        m_on = false;
        if (::geteuid() == 0) {
            setImmutable(m_path, false);
            return;
        }
        for (const QString &suffix : {QString(), u"-wal"_s, u"-shm"_s}) {
            if (QFile::exists(m_path + suffix))
                QFile::setPermissions(m_path + suffix,
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        }
    }

private:
    static bool setImmutable(const QString &path, bool immutable)
    {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (done) {
            flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
            done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return done;
    }

    QString m_path;
    bool m_on = false;
};

class StorageFailures : public PlanServerTest
{
protected:
    void SetUp() override
    {
        PlanServerTest::SetUp();
        if (!IsSkipped() && GetParam() != Backend::SQLite)
            GTEST_SKIP() << "the server keeps no database files of its own on PostgreSQL";
    }

    QJsonObject insertDelta(const QString &code, TDateTime date)
    {
        return deltaJson(planDeltaFields(), {insertOf(planRow(Maria, date, code, 0.5, {}, 7.0))});
    }

    // The outcome of adding `code` to the plan of the demo consultation (or of `date`); a
    // call that raised (the connection lost, the server gone) as "raised: ...".
    std::string save(const QString &code, TDateTime date = 0)
    {
        try {
            return outcome(call(u"SetPlaneja"_s, {insertDelta(code, date == 0 ? consulta : date)}));
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

// A file of the database is made read-only before the server's worker opens its
// connection (an administrator's mistake, a backup tool): reads are served, saves are
// refused with a clear message, and once the file is writable again saves are stored
// without a restart.
TEST_P(StorageFailures, StoresAgainOnceTheDatabaseIsWritableAgain)
{
    const struct
    {
        const char *name;
        QString suffix;
    } cases[] = {{"database file", QString()}, {"shared memory", u"-shm"_s}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        client.reset();
        server = startServer();
        ASSERT_TRUE(server);
        client = server->connect();
        server->db(); // a connection of the test's own: the journals are there
        const QString code = FreeCodes[&c - cases];
        WriteProtection protection(server->database().path + c.suffix);
        if (!protection.on())
            GTEST_SKIP() << "this file system cannot make the file read-only";
        EXPECT_EQ(decodePacket(ok(u"GetPaciente"_s, {Branch, Maria})).rows.size(), 1);
        EXPECT_EQ(save(code),
                  std::to_string(RpcDatabaseError) + ": "
                      + u"O banco de dados não aceita gravações no momento; nada foi gravado."_s
                            .toStdString());
        EXPECT_FALSE(stored(code));

        protection.off();
        EXPECT_EQ(save(code), "ok");
        EXPECT_TRUE(stored(code));
        EXPECT_EQ(decodePacket(ok(u"GetPlaneja"_s, {Branch, consultaIso(), Maria})).rows.size(), 4);
    }
}

struct RemovalCase
{
    const char *name;
    QStringList removed; // the database path's suffixes removed
    bool wholeFolder; // else those files only
};

// The database is deleted under the running server (a cleaning script, an administrator
// in the wrong folder). The server's open connection could still write to the deleted
// file, but nothing written there can ever be read again: the save is refused instead of
// being reported stored. The same goes for its write-ahead log alone, taken for a
// leftover: what is committed to a removed log never reaches the file.
TEST_P(StorageFailures, RefusesSavesOnceTheDatabaseFileIsRemoved)
{
    const RemovalCase cases[] = {{"database file", {QString(), u"-wal"_s, u"-shm"_s}, false},
                                 {"write-ahead log", {u"-wal"_s}, false},
                                 {"data folder", {}, true}};
    for (const RemovalCase &c : cases) {
        SCOPED_TRACE(c.name);
        client.reset();
        server = startServer();
        ASSERT_TRUE(server);
        client = server->connect();
        ok(u"GetPaciente"_s, {Branch, Maria}); // the worker's connection, on the file
        const QString path = server->database().path;
        // The server's log is in the same folder: kept open to be read once it is gone.
        QFile log(QFileInfo(path).dir().filePath(u"server.log"_s));
        ASSERT_TRUE(log.open(QIODevice::ReadOnly));
        if (c.wholeFolder) {
            ASSERT_TRUE(QDir(QFileInfo(path).path()).removeRecursively());
        } else {
            for (const QString &suffix : c.removed)
                ASSERT_TRUE(QFile::remove(path + suffix));
        }
        const std::string result = save(FreeCodes[0]);
        EXPECT_EQ(result,
                  std::to_string(RpcDatabaseError) + ": "
                      + u"O banco de dados não aceita gravações no momento; nada foi gravado."_s
                            .toStdString());
        if (c.wholeFolder) {
            // The database cannot be opened again: the workstation is told so in its own
            // words, not with the server's file path and the driver's English.
            EXPECT_EQ(outcome(call(u"GetPaciente"_s, {Branch, Maria})),
                      std::to_string(RpcDatabaseError) + ": "
                          + u"Sem conexão com o banco de dados. Tente novamente."_s.toStdString());
            // The administrator finds which database and why in the server's log.
            const QString logged = QString::fromUtf8(log.readAll());
            EXPECT_TRUE(logged.contains(u"GetPaciente sem conexão com o banco de dados: Não foi "
                                        u"possível abrir o banco de dados sqlite:%1"_s.arg(path)))
                << logged.toStdString();
        }
        EXPECT_TRUE(server->isRunning());
    }
}

// The server is killed (SIGKILL, a power cut) while a save waits for the plan table held
// here: the waiting client is told the connection was lost, nothing of the save is found
// after the restart, and the same client's next call reconnects and is served.
TEST_P(StorageFailures, KeepsNothingOfASaveCutOffByAKill)
{
    QSqlDatabase db = server->db();
    execSql(db, u"BEGIN IMMEDIATE"_s);
    const pid_t pid = pid_t(server->pid());
    // Not a measure of anything: only lets the save reach the server and wait there.
    std::thread killer([pid] {
        QThread::msleep(300);
        ::kill(pid, SIGKILL);
    });
    const std::string cut = save(FreeCodes[0]);
    killer.join();
    execSql(db, u"COMMIT"_s);
    EXPECT_EQ(cut, "raised: " + u"Conexão com o servidor de aplicação perdida."_s.toStdString());

    server->stop();
    QString error;
    ASSERT_TRUE(server->start(&error)) << error.toStdString();
    EXPECT_FALSE(stored(FreeCodes[0]));
    EXPECT_EQ(save(FreeCodes[0]), "ok");
    EXPECT_TRUE(stored(FreeCodes[0]));
}

// Every save the clients were told was stored is there after a kill, read back by the
// restarted server from the journal the killed one left (no other connection has the
// database open meanwhile).
TEST_P(StorageFailures, KeepsEverySaveAnsweredBeforeAKill)
{
    client.reset();
    server = startServer();
    ASSERT_TRUE(server);
    client = server->connect();
    const TDateTime other = DateToDateTime(QDate(2025, 3, 10));
    const QStringList codes = FreeCodes.mid(0, 5);
    for (const QString &code : codes)
        ASSERT_EQ(save(code, other), "ok");
    EXPECT_GT(QFileInfo(server->database().path + u"-wal"_s).size(), 0);

    ASSERT_EQ(::kill(pid_t(server->pid()), SIGKILL), 0);
    server->stop();
    QString error;
    ASSERT_TRUE(server->start(&error)) << error.toStdString();
    // The same client: the event loop, run between user actions, finds its connection
    // lost, and the next call opens it again.
    QCoreApplication::processEvents();
    const TDataPacket plan = decodePacket(ok(u"GetPlaneja"_s, {Branch, isoDateTime(other), Maria}));
    QStringList found;
    for (const QVariantList &row : plan.rows)
        found.append(row[3].toString());
    EXPECT_EQ(found, codes);
}

// Saves from several workstations queue behind one another on one of the server's
// workers while something else holds the database (another program, a second server
// started by mistake). The last of them is only taken up as its workstation gives up
// waiting; a save its workstation was told had failed must not be stored afterwards
// when the database is let go.
TEST_P(StorageFailures, StoresNothingForAWorkstationThatGaveUpWhileItsSaveWasQueued)
{
    client.reset();
    ServerProcess::Options options;
    options.workers = 1;
    server = startServer(options);
    ASSERT_TRUE(server);
    QSqlDatabase db = server->db();
    execSql(db, u"BEGIN IMMEDIATE"_s);

    // Each waits in turn for as long as the server waits for a lock; the last is taken
    // up when its workstation's own wait has run out.
    constexpr int Workstations = 4;
    std::vector<std::string> outcomes(Workstations);
    std::latch connected(Workstations);
    std::vector<std::thread> threads;
    for (int i = 0; i < Workstations; ++i) {
        threads.emplace_back([&, i] {
            RpcClient workstation;
            workstation.setOptions(server->clientOptions());
            try {
                workstation.open();
            } catch (const Exception &e) {
                outcomes[i] = "raised: " + e.Message().toStdString();
            }
            connected.arrive_and_wait(); // all authenticated before the worker is held up
            if (!outcomes[i].empty())
                return;
            try {
                outcomes[i] = outcome(
                    workstation.call(u"SetPlaneja"_s, {insertDelta(FreeCodes[i], consulta)}));
            } catch (const Exception &e) {
                outcomes[i] = "raised: " + e.Message().toStdString();
            }
        });
    }
    for (std::thread &t : threads)
        t.join();
    execSql(db, u"COMMIT"_s); // the database is let go once every workstation has its answer
    // Every save has ended in the server, one way or the other.
    const QDeadlineTimer deadline(60000);
    while (server->log().count(u"SetPlaneja"_s) < Workstations && !deadline.hasExpired())
        QThread::msleep(10);
    ASSERT_EQ(server->log().count(u"SetPlaneja"_s), Workstations) << server->log().toStdString();

    for (int i = 0; i < Workstations; ++i) {
        SCOPED_TRACE(outcomes[i]);
        EXPECT_EQ(stored(FreeCodes[i]), outcomes[i] == "ok") << FreeCodes[i].toStdString();
    }
}

QOR_INSTANTIATE_BACKENDS(StorageFailures);

class PostgresReadOnly : public PlanServerTest
{
protected:
    void SetUp() override
    {
        PlanServerTest::SetUp();
        if (!IsSkipped() && GetParam() != Backend::PostgreSQL)
            GTEST_SKIP() << "a database server's own read-only setting";
    }
    void setReadOnly(bool readOnly)
    {
        execSql(server->db(),
                u"ALTER DATABASE %1 %2"_s.arg(server->database().database,
                                              readOnly ? u"SET default_transaction_read_only = on"_s
                                                       : u"RESET default_transaction_read_only"_s));
    }
};

// The database is made read-only for a while (maintenance, a replica that has not been
// promoted yet) while the server's worker opens its connection: saves are refused with
// a clear message, and stored again once the database takes writes, without a restart.
TEST_P(PostgresReadOnly, StoresAgainOnceTheDatabaseTakesWritesAgain)
{
    setReadOnly(true);
    const QJsonObject delta =
        deltaJson(planDeltaFields(), {insertOf(planRow(Maria, consulta, u"001010"_s, 0.5))});
    EXPECT_EQ(decodePacket(ok(u"GetPaciente"_s, {Branch, Maria})).rows.size(), 1);
    EXPECT_EQ(outcome(call(u"SetPlaneja"_s, {delta})),
              std::to_string(RpcDatabaseError) + ": "
                  + u"O banco de dados não aceita gravações no momento; nada foi gravado."_s
                        .toStdString());
    setReadOnly(false);
    EXPECT_EQ(outcome(call(u"SetPlaneja"_s, {delta})), "ok");
    EXPECT_EQ(count(u"PLAEXERFISI"_s), 4);
}

QOR_INSTANTIATE_BACKENDS(PostgresReadOnly);

class PostgresStatementTimeout : public PlanServerTest
{
protected:
    void SetUp() override
    {
        PlanServerTest::SetUp();
        if (!IsSkipped() && GetParam() != Backend::PostgreSQL)
            GTEST_SKIP() << "a database server's own time limit on statements";
    }
};

// The administrator bounds every statement of the database (statement_timeout) below the
// server's own wait for locks: a save waiting for a table held elsewhere is refused as
// busy, in Portuguese, nothing of it is stored, and it is stored once the table is free.
TEST_P(PostgresStatementTimeout, RefusesAWaitingSaveAsBusyAndStoresNothing)
{
    QSqlDatabase db = server->db();
    execSql(
        db,
        u"ALTER DATABASE %1 SET statement_timeout = '500ms'"_s.arg(server->database().database));
    const QJsonObject delta =
        deltaJson(planDeltaFields(), {insertOf(planRow(Maria, consulta, u"001010"_s, 0.5))});
    execSql(db, u"BEGIN"_s);
    execSql(db, u"LOCK TABLE PLAEXERFISI IN ACCESS EXCLUSIVE MODE"_s);
    std::string result;
    try {
        result = outcome(call(u"SetPlaneja"_s, {delta}));
    } catch (const Exception &e) {
        result = "raised: " + e.Message().toStdString();
    }
    execSql(db, u"ROLLBACK"_s);
    EXPECT_EQ(result,
              std::to_string(RpcDatabaseError) + ": "
                  + u"O banco de dados está ocupado. Tente novamente."_s.toStdString());
    EXPECT_EQ(count(u"PLAEXERFISI"_s), 3);
    EXPECT_EQ(outcome(call(u"SetPlaneja"_s, {delta})), "ok");
    EXPECT_EQ(count(u"PLAEXERFISI"_s), 4);
}

QOR_INSTANTIATE_BACKENDS(PostgresStatementTimeout);

} // namespace
} // namespace qor::testing
