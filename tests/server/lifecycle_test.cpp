// qor-server as a process: its token file, its log, many connections at once, a stop
// with a call in flight, and a restart on the same database.
#include "planfixture.h"
#include "rawconnection.h"

#include "rtl/exceptions.h"
#include "sql/sqlconnection.h"
#include "sql/sqlquery.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QThread>
#include <csignal>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

// The processor time a process has used so far, user and system.
double cpuSeconds(qint64 pid)
{
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    // After the command's closing parenthesis: state is field 3, utime 14 and stime 15.
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return double(fields[11].toLongLong() + fields[12].toLongLong())
        / double(::sysconf(_SC_CLK_TCK));
}

// A save that changes the hours of two rows of the demo plan, 002054 and then 017190.
QJsonObject twoRowSave(TDateTime consulta)
{
    return deltaJson(planDeltaFields(),
                     {updateOf(planRow(Maria, consulta, u"002054"_s, 0.75, {}, 3.5),
                               planRow(Maria, consulta, u"002054"_s, 1.25, {}, 3.5)),
                      updateOf(planRow(Maria, consulta, u"017190"_s, 1.0, {}, 3.5),
                               planRow(Maria, consulta, u"017190"_s, 1.5, {}, 3.5))});
}

// Another workstation sends `delta` on a thread of its own; its outcome goes to *result.
std::thread saveFromAnotherWorkstation(const ServerProcess &server, const QJsonObject &delta,
                                       std::string *result)
{
    return std::thread([&server, delta, result] {
        try {
            RpcClient other;
            other.setOptions(server.clientOptions());
            other.open();
            *result = outcome(other.call(u"SetPlaneja"_s, {delta}));
        } catch (const Exception &e) {
            *result = "raised: " + e.Message().toStdString();
        }
    });
}

class ServerLifecycle : public PlanServerTest
{
protected:
    // The stored hours of the rows twoRowSave changes; -1 each when they are not both there.
    std::pair<double, double> twoRowHours()
    {
        const TDataPacket plan =
            select(u"SELECT CDEXERFISICO, QTHREXERFISI FROM PLAEXERFISI WHERE CDEXERFISICO IN "
                   u"('002054', '017190') ORDER BY CDEXERFISICO"_s,
                   {{u"CDEXERFISICO"_s, TFieldType::String, 6},
                    {u"QTHREXERFISI"_s, TFieldType::Float, 0}});
        return plan.rows.size() == 2
            ? std::make_pair(plan.rows[0][1].toDouble(), plan.rows[1][1].toDouble())
            : std::make_pair(-1.0, -1.0);
    }
    QJsonObject insertDelta(const QString &code, double hours)
    {
        return deltaJson(planDeltaFields(),
                         {insertOf(planRow(Maria, consulta, code, hours, {}, 7.0))});
    }

    // Holds the plan table from the test's own connection, so the next write waits
    // inside the server.
    void holdPlanTable(QSqlDatabase &db)
    {
        if (GetParam() == Backend::SQLite) {
            execSql(db, u"BEGIN IMMEDIATE"_s);
        } else {
            execSql(db, u"BEGIN"_s);
            execSql(db, u"LOCK TABLE PLAEXERFISI IN ACCESS EXCLUSIVE MODE"_s);
        }
    }
    // SIGTERM to the server, then, once it says it is stopping, the table let go.
    void terminateThenRelease(QSqlDatabase &db)
    {
        ASSERT_EQ(::kill(pid_t(server->pid()), SIGTERM), 0);
        ASSERT_TRUE(waitForLog(u"sinal 15"_s)) << server->log().toStdString();
        execSql(db, u"COMMIT"_s);
    }

    // Waits (without asserting on time) until the server's log holds the text.
    bool waitForLog(const QString &text)
    {
        const QDeadlineTimer deadline(60000);
        while (!deadline.hasExpired()) {
            if (server->log().contains(text))
                return true;
            QThread::msleep(10);
        }
        return false;
    }
};

TEST_P(ServerLifecycle, CreatesAnOwnerOnlyTokenAndKeepsItAcrossRestarts)
{
    struct stat info = {};
    ASSERT_EQ(::stat(server->tokenFile().toLocal8Bit().constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600);
    const QString token = server->token();
    EXPECT_EQ(token.size(), 64);
    EXPECT_TRUE(token.contains(QRegularExpression(u"^[0-9a-f]+$"_s)));

    EXPECT_EQ(server->stop(), 0);
    QString error;
    ASSERT_TRUE(server->start(&error)) << error.toStdString();
    EXPECT_EQ(server->token(), token);
}

TEST_P(ServerLifecycle, LogsCallsWithoutPatientData)
{
    ok(u"GetPaciente"_s, {Branch, Maria});
    ok(u"GetPeso"_s, {Branch, Maria, consultaIso()});
    ok(u"SetPlaneja"_s, {insertDelta(u"012020"_s, 0.5)});
    call(u"SetPlaneja"_s, {insertDelta(u"012020"_s, 0.5)}); // duplicate
    call(u"Maria da Silva"_s, {Maria}); // a name where a method goes

    EXPECT_TRUE(waitForLog(u"SetPlaneja"_s));
    const QString log = server->log();
    EXPECT_TRUE(log.contains(u"GetPaciente"_s));
    EXPECT_TRUE(log.contains(u"GetPeso"_s));
    EXPECT_TRUE(log.contains(u"erro %1"_s.arg(int(RpcDuplicate)))) << log.toStdString();
    for (const QString &secret : {u"Maria"_s, Maria, u"68,5"_s, u"012020"_s})
        EXPECT_FALSE(log.contains(secret)) << secret.toStdString() << " in\n" << log.toStdString();
}

struct SameRowCase
{
    const char *name;
    QString method;
    QString table;
    QJsonObject delta;
    QString duplicate;
};

// In order: the weight of the last case hangs on the method of the one before.
TEST_P(ServerLifecycle, LetsOnlyOneOfManyWorkstationsAddTheSameRow)
{
    const QList<TFieldDef> metoFields = metoAvalDeltaFields();
    const QList<TFieldDef> pesoFields = pesoDeltaFields();
    const SameRowCase cases[] = {
        {"exercise", u"SetPlaneja"_s, u"PLAEXERFISI"_s, insertDelta(u"012020"_s, 0.5),
         u"Exercício físico já cadastrado."_s},
        {"assessment method", u"SetMetoAval"_s, u"METOAVAL"_s,
         deltaJson(metoFields, {insertOf({Branch, Joao, consulta, u"01"_s, u"N"_s})}),
         u"Método de avaliação já cadastrado para a consulta."_s},
        {"weight", u"SetPeso"_s, u"INFOAVAL"_s,
         deltaJson(pesoFields, {insertOf({Branch, Joao, consulta, u"01"_s, u"01"_s, u"72,5"_s})}),
         u"Informação de avaliação já cadastrada para a consulta."_s},
    };
    for (const SameRowCase &c : cases) {
        SCOPED_TRACE(c.name);
        const int before = count(c.table);
        constexpr int Workstations = 8;
        std::vector<std::string> outcomes(Workstations);
        std::vector<std::thread> threads;
        for (int i = 0; i < Workstations; ++i) {
            threads.emplace_back([&, i] {
                try {
                    RpcClient client;
                    client.setOptions(server->clientOptions());
                    client.open();
                    outcomes[i] = outcome(client.call(c.method, {c.delta}));
                } catch (const Exception &e) {
                    outcomes[i] = e.Message().toStdString();
                }
            });
        }
        for (std::thread &t : threads)
            t.join();
        const std::string duplicate =
            std::to_string(RpcDuplicate) + ": " + c.duplicate.toStdString();
        EXPECT_EQ(std::count(outcomes.begin(), outcomes.end(), "ok"), 1);
        EXPECT_EQ(std::count(outcomes.begin(), outcomes.end(), duplicate), Workstations - 1);
        EXPECT_EQ(count(c.table), before + 1);
    }
}

TEST_P(ServerLifecycle, FinishesTheCallInFlightWhenTerminated)
{
    QSqlDatabase db = server->db();
    holdPlanTable(db);
    RawConnection raw(server->host(), server->port());
    ASSERT_TRUE(raw.isConnected());
    raw.sendRequest(1, u"Authenticate"_s, {server->token()});
    ASSERT_TRUE(raw.readReply().contains(u"result"_s));
    raw.sendRequest(2, u"SetPlaneja"_s, {insertDelta(u"012020"_s, 0.5)});
    // A later request on another connection answered: the first has reached the server,
    // whether or not its worker has read it yet.
    ok(u"GetPaciente"_s, {Branch, Maria});

    ASSERT_NO_FATAL_FAILURE(terminateThenRelease(db));

    const QJsonObject reply = raw.readReply();
    EXPECT_EQ(reply.value(u"id"_s).toInt(), 2);
    EXPECT_TRUE(reply.contains(u"result"_s)) << QJsonDocument(reply).toJson().toStdString();
    EXPECT_EQ(server->stop(), 0);
    EXPECT_EQ(count(u"PLAEXERFISI"_s), 4);
    RawConnection late(server->host(), server->port());
    EXPECT_FALSE(late.isConnected());
}

TEST_P(ServerLifecycle, AnswersRequestsThatArrivedBeforeTheStop)
{
    // One worker, so a request waits, read by no one, behind a write held by the test.
    client.reset();
    ServerProcess::Options options;
    options.workers = 1;
    server = startServer(options);
    ASSERT_TRUE(server);
    RawConnection writer(server->host(), server->port());
    RawConnection reader(server->host(), server->port());
    for (RawConnection *raw : {&writer, &reader}) {
        raw->sendRequest(1, u"Authenticate"_s, {server->token()});
        ASSERT_TRUE(raw->readReply().contains(u"result"_s));
    }
    QSqlDatabase db = server->db();
    holdPlanTable(db);
    writer.sendRequest(2, u"SetPlaneja"_s, {insertDelta(u"012020"_s, 0.5)});
    QThread::msleep(200); // lets the worker take the write first
    reader.sendRequest(3, u"GetPaciente"_s, {Branch, Maria});
    reader.socket().flush();

    ASSERT_NO_FATAL_FAILURE(terminateThenRelease(db));

    const QJsonObject written = writer.readReply();
    EXPECT_EQ(written.value(u"id"_s).toInt(), 2);
    EXPECT_TRUE(written.contains(u"result"_s)) << QJsonDocument(written).toJson().toStdString();
    const QJsonObject read = reader.readReply();
    EXPECT_EQ(read.value(u"id"_s).toInt(), 3);
    EXPECT_TRUE(read.value(u"result"_s).toObject().value(u"ok"_s).toBool())
        << QJsonDocument(read).toJson().toStdString();
    EXPECT_EQ(server->stop(), 0);
    EXPECT_EQ(count(u"PLAEXERFISI"_s), 4);
}

TEST_P(ServerLifecycle, AcceptsAgainAfterRunningOutOfDescriptors)
{
#ifdef __SANITIZE_ADDRESS__
    // A sanitized server's checks open a pipe to probe memory; with no descriptor left
    // they report valid objects as invalid ones.
    GTEST_SKIP() << "the sanitizers need descriptors of their own";
#endif
    ServerProcess::Options options;
    options.maxOpenFiles = 48;
    const std::unique_ptr<ServerProcess> started = startServer(options);
    ASSERT_TRUE(started);
    ServerProcess &limited = *started;
    // Kept open until the crowd has gone: a descriptor freed meanwhile would let one
    // accept succeed, ending the run of failures, and the next failure is reported anew.
    const std::unique_ptr<RpcClient> first = limited.connect();
    ASSERT_TRUE(first->call(u"GetPaciente"_s, {Branch, Maria}).value(u"ok"_s).toBool());
    {
        // More connections than the server has descriptors for: the kernel completes them
        // all, the server accepts what it can.
        std::vector<std::unique_ptr<RawConnection>> crowd;
        for (int i = 0; i < 100; ++i)
            crowd.push_back(std::make_unique<RawConnection>(limited.host(), limited.port()));
        const QDeadlineTimer deadline(60000);
        while (!limited.log().contains(u"não foi possível aceitar conexões"_s)
               && !deadline.hasExpired())
            QThread::msleep(10);
        ASSERT_TRUE(limited.log().contains(u"não foi possível aceitar conexões"_s))
            << limited.log().toStdString();
        // While they wait, the server waits too, instead of retrying round and round.
        const double cpuBefore = cpuSeconds(limited.pid());
        QElapsedTimer wall;
        wall.start();
        QThread::msleep(1000);
        const double busy = (cpuSeconds(limited.pid()) - cpuBefore) / (wall.elapsed() / 1000.0);
        EXPECT_LT(busy, 0.25) << "share of a processor the waiting server used";
        EXPECT_EQ(limited.log().count(u"não foi possível aceitar conexões"_s), 1);
    }
    // The crowd has gone: the next workstation is served.
    std::unique_ptr<RpcClient> next;
    ASSERT_NO_THROW(next = limited.connect()) << limited.log().toStdString();
    EXPECT_TRUE(next->call(u"GetPaciente"_s, {Branch, Maria}).value(u"ok"_s).toBool());
}

TEST_P(ServerLifecycle, GivesUpOnATableHeldElsewhereAndStoresNothingLater)
{
    // Held for longer than the server waits for it (but not the client): the save is
    // refused as busy, and once the table is let go nothing of it is stored behind the
    // back of a client that was told it failed.
    QSqlDatabase db = server->db();
    holdPlanTable(db);
    std::string result;
    try {
        result = outcome(call(u"SetPlaneja"_s, {insertDelta(u"012020"_s, 0.5)}));
    } catch (const Exception &e) {
        result = "raised: " + e.Message().toStdString();
    }
    execSql(db, u"COMMIT"_s);
    EXPECT_EQ(result,
              std::to_string(RpcDatabaseError) + ": "
                  + u"O banco de dados está ocupado. Tente novamente."_s.toStdString());
    EXPECT_EQ(count(u"PLAEXERFISI"_s), 3);
}

TEST_P(ServerLifecycle, ServesAgainAfterARestartOnTheSameDatabase)
{
    ok(u"SetPlaneja"_s, {insertDelta(u"012020"_s, 0.5)});
    EXPECT_EQ(server->stop(), 0);
    EXPECT_THROW(client->call(u"GetPaciente"_s, {Branch, Maria}), Exception);

    QString error;
    ASSERT_TRUE(server->start(&error)) << error.toStdString();
    // The same client reconnects by itself; the write survived and demo data was not
    // created twice.
    const TDataPacket plan = decodePacket(ok(u"GetPlaneja"_s, {Branch, consultaIso(), Maria}));
    EXPECT_EQ(plan.rows.size(), 4);
    EXPECT_EQ(count(u"EXERFISICO"_s), 28);
    EXPECT_EQ(count(u"PACIENTE"_s), 2);
}

TEST_P(ServerLifecycle, ReportsAMissingTableAsADatabaseError)
{
    execSql(server->db(), u"DROP TABLE INFOAVAL"_s);
    const QJsonObject result = call(u"GetPeso"_s, {Branch, Maria, consultaIso()});
    EXPECT_EQ(result.value(u"error"_s).toObject().value(u"code"_s).toInt(), RpcDatabaseError)
        << outcome(result);
    // Said in Portuguese, not in the driver's English; each database names the table in
    // its own case.
    const QString table = GetParam() == Backend::PostgreSQL ? u"infoaval"_s : u"INFOAVAL"_s;
    EXPECT_EQ(
        result.value(u"error"_s).toObject().value(u"message"_s).toString().toStdString(),
        u"Falha ao acessar o banco de dados: a tabela %1 não existe."_s.arg(table).toStdString())
        << outcome(result);
    // Other methods carry on.
    EXPECT_EQ(decodePacket(ok(u"GetPaciente"_s, {Branch, Maria})).rows.size(), 1);
}

// The database ends the server's idle connections (a restart, an administrator): the
// next call of each kind is served at once on a new connection, and a save is kept once.
TEST_P(ServerLifecycle, ReconnectsWhenTheDatabaseDropsItsIdleConnections)
{
    if (GetParam() != Backend::PostgreSQL)
        GTEST_SKIP() << "only a database server drops connections";
    const auto dropServerConnections = [this] {
        const QString sessions = u"FROM pg_stat_activity WHERE datname = current_database() "
                                 u"AND pid <> pg_backend_pid()"_s;
        execSql(server->db(), u"SELECT pg_terminate_backend(pid) "_s + sessions);
        // Gone for certain, so the next call meets a dropped connection.
        for (int poll = 0; poll < 500; ++poll) {
            SqlStatement left(server->db(), u"SELECT COUNT(*) "_s + sessions);
            left.exec();
            if (left.next() && left.value(0).toInt() == 0)
                return;
            QThread::msleep(10);
        }
        ADD_FAILURE() << "the server's connections did not end";
    };
    struct Step
    {
        const char *what;
        QString method;
        QJsonArray params;
    };
    const Step steps[] = {
        {"a read", u"GetPaciente"_s, {Branch, Maria}},
        {"a save", u"SetPlaneja"_s, {insertDelta(u"012020"_s, 0.5)}},
        {"a read after a save", u"GetPlaneja"_s, {Branch, consultaIso(), Maria}},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.what);
        // The worker holds a connection, which is then dropped.
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (call(u"GetPaciente"_s, {Branch, Maria}).value(u"ok"_s).toBool())
                break;
        }
        dropServerConnections();
        EXPECT_EQ(outcome(call(step.method, step.params)), "ok");
    }
    EXPECT_EQ(select(u"SELECT CDEXERFISICO FROM PLAEXERFISI WHERE CDEXERFISICO = '012020'"_s,
                     {{u"CDEXERFISICO"_s, TFieldType::String, 6}})
                  .rows.size(),
              1);
}

// Two workstations change the same two plan rows in opposite order (the second one here,
// on the test's own connection): the database breaks the deadlock by failing one of
// them. Whichever it is, its changes are gone whole, and a failed save says "busy".
TEST_P(ServerLifecycle, BreaksADeadlockKeepingOnlyOneSideWhole)
{
    if (GetParam() != Backend::PostgreSQL)
        GTEST_SKIP() << "SQLite lets one writer in at a time";
    QSqlDatabase db = server->db();
    execSql(db, u"BEGIN"_s);
    execSql(db, u"UPDATE PLAEXERFISI SET QTHREXERFISI = 2 WHERE CDEXERFISICO = '017190'"_s);

    std::string serverOutcome;
    std::thread workstation =
        saveFromAnotherWorkstation(*server, twoRowSave(consulta), &serverOutcome);
    // Once the server waits for the row held here, this side reaches for the row the
    // server holds.
    const QString watcherName = u"qor-test-deadlock-watcher"_s;
    {
        QSqlDatabase watcher = openDatabase(server->database(), watcherName);
        bool waiting = false;
        for (int poll = 0; poll < 6000 && !waiting; ++poll) {
            SqlStatement query(watcher,
                               u"SELECT COUNT(*) FROM pg_stat_activity WHERE datname = "
                               u"current_database() AND wait_event_type = 'Lock'"_s);
            query.exec();
            waiting = query.next() && query.value(0).toInt() > 0;
            if (!waiting)
                QThread::msleep(10);
        }
        watcher.close();
        EXPECT_TRUE(waiting);
    }
    QSqlDatabase::removeDatabase(watcherName);
    bool thisSideWon = true;
    try {
        execSql(db, u"UPDATE PLAEXERFISI SET QTHREXERFISI = 3 WHERE CDEXERFISICO = '002054'"_s);
        execSql(db, u"COMMIT"_s);
    } catch (const EDatabaseError &) {
        thisSideWon = false;
        execSql(db, u"ROLLBACK"_s);
    }
    workstation.join();

    const std::pair<double, double> hours = twoRowHours();
    if (thisSideWon) {
        EXPECT_EQ(serverOutcome,
                  std::to_string(RpcDatabaseError) + ": "
                      + u"O banco de dados está ocupado. Tente novamente."_s.toStdString());
        EXPECT_EQ(hours, std::make_pair(3.0, 2.0));
    } else {
        EXPECT_EQ(serverOutcome, "ok");
        EXPECT_EQ(hours, std::make_pair(1.25, 1.5));
    }
}

// The database drops the server's connection in the middle of a save (an administrator
// ending it while it waits for a row held here): the save is reported as failed, none of
// it is kept, and the same save succeeds when tried again.
TEST_P(ServerLifecycle, KeepsNothingOfASaveWhoseConnectionWasDropped)
{
    if (GetParam() != Backend::PostgreSQL)
        GTEST_SKIP() << "only a database server drops connections";
    QSqlDatabase db = server->db();
    execSql(db, u"BEGIN"_s);
    execSql(db, u"SELECT 1 FROM PLAEXERFISI WHERE CDEXERFISICO = '017190' FOR UPDATE"_s);

    const QJsonObject delta = twoRowSave(consulta);
    std::string first;
    std::thread workstation = saveFromAnotherWorkstation(*server, delta, &first);
    const QString killerName = u"qor-test-killer"_s;
    {
        QSqlDatabase killer = openDatabase(server->database(), killerName);
        int ended = 0;
        for (int poll = 0; poll < 6000 && ended == 0; ++poll) {
            SqlStatement query(killer,
                               u"SELECT COUNT(pg_terminate_backend(pid)) FROM "
                               u"pg_stat_activity WHERE datname = current_database() "
                               u"AND wait_event_type = 'Lock'"_s);
            query.exec();
            ended = query.next() ? query.value(0).toInt() : 0;
            if (ended == 0)
                QThread::msleep(10);
        }
        killer.close();
        EXPECT_EQ(ended, 1);
    }
    QSqlDatabase::removeDatabase(killerName);
    workstation.join();
    execSql(db, u"COMMIT"_s);

    EXPECT_EQ(first,
              std::to_string(RpcDatabaseError) + ": "
                  + u"Sem conexão com o banco de dados. Tente novamente."_s.toStdString());
    EXPECT_EQ(twoRowHours(), std::make_pair(0.75, 1.0));
    // The dropped connection is not used again: the same save now goes through.
    bool saved = false;
    for (int attempt = 0; attempt < 8 && !saved; ++attempt)
        saved = call(u"SetPlaneja"_s, {delta}).value(u"ok"_s).toBool();
    EXPECT_TRUE(saved);
    EXPECT_EQ(twoRowHours(), std::make_pair(1.25, 1.5));
}

QOR_INSTANTIATE_BACKENDS(ServerLifecycle);

} // namespace
} // namespace qor::testing
