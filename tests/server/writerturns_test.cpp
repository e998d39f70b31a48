// Writers of one SQLite file take turns in the order they asked, and a turn is handed
// on however its transaction ends.
#include "sql/databaseuri.h"
#include "sql/sqlconnection.h"
#include "sql/sqlerror.h"
#include "sql/sqlquery.h"
#include "sql/sqltransaction.h"
#include "sql/writerturns.h"

#include "rtl/exceptions.h"

#include <QDeadlineTimer>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <thread>

using namespace Qt::StringLiterals;

namespace qor {
namespace {

// Long enough never to run out in these tests.
constexpr std::chrono::milliseconds Patient{60000};

// A safety net against a hung test, never a measure of speed.
bool waitUntilQueued(const QString &database, int count)
{
    const QDeadlineTimer deadline(10000);
    while (WriterTurn::queued(database) < count) {
        if (deadline.hasExpired())
            return false;
        QThread::usleep(200);
    }
    return true;
}

// Writers waiting in line on one database, each on a thread of its own, recording the
// order in which they got their turn. A writer asks only once the one before is in line.
class WritersInLine
{
public:
    // `held`: turns already held or waited for, ahead of the first writer.
    WritersInLine(QString database, int held)
        : m_database(std::move(database))
        , m_held(held)
    { }
    ~WritersInLine() { join(); }

    void enqueue(char name)
    {
        m_threads.emplace_back([this, name] {
            const WriterTurn turn(m_database, Patient);
            const std::lock_guard lock(m_mutex);
            m_order.push_back(name);
        });
        m_queuedInOrder =
            m_queuedInOrder && waitUntilQueued(m_database, m_held + int(m_threads.size()));
    }
    void join()
    {
        for (std::thread &t : m_threads)
            t.join();
        m_threads.clear();
    }
    bool queuedInOrder() const { return m_queuedInOrder; }
    std::vector<char> order()
    {
        const std::lock_guard lock(m_mutex);
        return m_order;
    }

private:
    QString m_database;
    int m_held;
    std::mutex m_mutex;
    std::vector<char> m_order;
    std::vector<std::thread> m_threads;
    bool m_queuedInOrder = true;
};

TEST(WriterTurns, AreServedInTheOrderAsked)
{
    const QString database = u"/turns/first-come.db"_s;
    WritersInLine line(database, 1);
    {
        const WriterTurn holder(database, Patient);
        // Another database is not held up by this one.
        {
            const WriterTurn other(u"/turns/another.db"_s, Patient);
        }
        for (const char name : {'B', 'C', 'D'})
            line.enqueue(name);
        EXPECT_TRUE(line.order().empty());
    }
    line.join();
    ASSERT_TRUE(line.queuedInOrder());
    EXPECT_EQ(line.order(), (std::vector<char>{'B', 'C', 'D'}));
    EXPECT_EQ(WriterTurn::queued(database), 0);
}

// A writer held up behind a turn that is not handed back gives up as busy, without
// taking the turn from anyone: those before and after it are still served, in order.
TEST(WriterTurns, AWriterOutOfPatienceGivesUpItsPlaceAsBusy)
{
    const QString database = u"/turns/patience.db"_s;
    WritersInLine line(database, 1);
    {
        const WriterTurn holder(database, Patient);
        line.enqueue('B');
        // Two in a row, each on a thread of its own (this one holds the turn): the turn
        // passes over both places given up, not just the first.
        for (int impatient = 0; impatient < 2; ++impatient) {
            std::optional<SqlErrorKind> refusal;
            std::thread([&] {
                try {
                    const WriterTurn turn(database, std::chrono::milliseconds(20));
                } catch (const ESqlError &e) {
                    refusal = e.kind();
                }
            }).join();
            EXPECT_EQ(refusal, SqlErrorKind::Busy);
        }
        EXPECT_EQ(WriterTurn::queued(database), 2); // the holder and B
        line.enqueue('C');
        EXPECT_TRUE(line.order().empty());
    }
    line.join();
    ASSERT_TRUE(line.queuedInOrder());
    EXPECT_EQ(line.order(), (std::vector<char>{'B', 'C'}));
    EXPECT_EQ(WriterTurn::queued(database), 0);
    // The turn did not stop at the ticket given up.
    std::thread([&] {
        const WriterTurn next(database, std::chrono::milliseconds(0));
        EXPECT_EQ(WriterTurn::queued(database), 1);
    }).join();
}

// Rows t * rows + i for i < rows, each in its own transaction: committed when i % 3 == 0,
// left to roll back when i % 3 == 1, failing on a taken key when i % 3 == 2.
int writeRows(const QSqlDatabase &db, int t, int rows)
{
    int refused = 0;
    for (int i = 0; i < rows; ++i) {
        const int n = t * rows + i;
        try {
            SqlTransaction transaction(db);
            SqlStatement(db, u"INSERT INTO T (N) VALUES (?)"_s).bind(n).exec();
            if (i % 3 == 1)
                continue;
            if (i % 3 == 2)
                SqlStatement(db, u"INSERT INTO T (N) VALUES (?)"_s).bind(n).exec();
            transaction.commit();
        } catch (const Exception &) {
            ++refused;
        }
    }
    return refused;
}

TEST(WriterTurns, PassOnWhenTransactionsCommitFailOrRollBack)
{
    QTemporaryDir dir;
    const DatabaseUri uri = DatabaseUri::parse(u"sqlite:"_s + dir.filePath(u"turns.db"_s));
    execSql(threadDatabase(uri), u"CREATE TABLE T (N INTEGER PRIMARY KEY)"_s);

    constexpr int Threads = 6, Rows = 40;
    std::atomic<int> refused{0};
    std::vector<std::thread> writers;
    for (int t = 0; t < Threads; ++t) {
        writers.emplace_back([&, t] {
            refused += writeRows(threadDatabase(uri), t, Rows);
            closeThreadDatabase(uri);
        });
    }
    for (std::thread &t : writers)
        t.join();
    {
        SqlStatement count(threadDatabase(uri), u"SELECT COUNT(*) FROM T"_s);
        count.exec();
        ASSERT_TRUE(count.next());
        EXPECT_EQ(count.value(0).toInt(), Threads * ((Rows + 2) / 3));
    }
    EXPECT_EQ(refused.load(), Threads * (Rows / 3));
    EXPECT_EQ(WriterTurn::queued(threadDatabase(uri).databaseName()), 0);
    closeThreadDatabase(uri);
}

// A thread that handed its turn back asks for it afresh next time, and waits its turn
// behind whoever holds it now.
TEST(WriterTurns, ATurnHandedBackIsAskedForAgain)
{
    const QString database = u"/turns/again.db"_s;
    QSemaphore handedBack, heldElsewhere;
    std::optional<SqlErrorKind> refusal;
    std::thread writer([&] {
        {
            const WriterTurn first(database, Patient);
        }
        handedBack.release();
        heldElsewhere.acquire();
        try {
            const WriterTurn second(database, std::chrono::milliseconds(20));
        } catch (const ESqlError &e) {
            refusal = e.kind();
        }
    });
    handedBack.acquire();
    {
        const WriterTurn holder(database, Patient);
        heldElsewhere.release();
        writer.join();
    }
    EXPECT_EQ(refusal, SqlErrorKind::Busy);
    EXPECT_EQ(WriterTurn::queued(database), 0);
}

TEST(WriterTurns, ANestedTransactionIsRefusedInsteadOfWaitingForItself)
{
    QTemporaryDir dir;
    const DatabaseUri uri = DatabaseUri::parse(u"sqlite:"_s + dir.filePath(u"nested.db"_s));
    {
        const QSqlDatabase db = threadDatabase(uri);
        execSql(db, u"CREATE TABLE T (N INTEGER PRIMARY KEY)"_s);
        {
            SqlTransaction outer(db);
            EXPECT_THROW(SqlTransaction inner(db), Exception);
            SqlStatement(db, u"INSERT INTO T (N) VALUES (1)"_s).exec();
            outer.commit();
        }
        // The turn was handed back: the next transaction is not held up.
        SqlTransaction after(db);
        after.commit();
        EXPECT_EQ(WriterTurn::queued(db.databaseName()), 0);
    }
    closeThreadDatabase(uri);
}

} // namespace
} // namespace qor
