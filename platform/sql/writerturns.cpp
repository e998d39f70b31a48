#include "writerturns.h"

#include "sqlerror.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <condition_variable>
#include <mutex>

using namespace Qt::StringLiterals;

namespace qor {

// A ticket queue: turns are served in the order they were asked for.
struct WriterQueue
{
    std::mutex mutex;
    std::condition_variable served;
    quint64 nextTicket = 0;
    quint64 serving = 0;
    QSet<quint64> abandoned; // tickets ahead whose holders stopped waiting; skipped when reached

    // Under mutex: the turn moves past `serving` and any abandoned tickets behind it.
    void advance()
    {
        ++serving;
        while (abandoned.remove(serving))
            ++serving;
    }
};

namespace {

std::shared_ptr<WriterQueue> queueFor(const QString &databaseName)
{
    static std::mutex mutex;
    static QHash<QString, std::shared_ptr<WriterQueue>> queues;
    const std::lock_guard lock(mutex);
    std::shared_ptr<WriterQueue> &queue = queues[databaseName];
    if (!queue)
        queue = std::make_shared<WriterQueue>();
    return queue;
}

} // namespace

namespace {
// The queues whose turn this thread holds.
thread_local QList<const WriterQueue *> heldHere;
} // namespace

WriterTurn::WriterTurn(const QString &databaseName, std::chrono::milliseconds patience)
    : m_queue(queueFor(databaseName))
{
    // A thread that already has the turn would wait for itself for ever; it goes on
    // without a second turn, and the database refuses the nested transaction itself.
    if (heldHere.contains(m_queue.get())) {
        m_queue.reset();
        return;
    }
    std::unique_lock lock(m_queue->mutex);
    const quint64 ticket = m_queue->nextTicket++;
    if (!m_queue->served.wait_for(lock, patience, [&] { return m_queue->serving == ticket; })) {
        m_queue->abandoned.insert(ticket);
        throw ESqlError(SqlErrorKind::Busy, QString(),
                        u"O banco de dados está ocupado: outra gravação não terminou."_s);
    }
    heldHere.append(m_queue.get());
}

WriterTurn::~WriterTurn()
{
    if (!m_queue)
        return;
    heldHere.removeOne(m_queue.get());
    {
        const std::lock_guard lock(m_queue->mutex);
        m_queue->advance();
    }
    // Every waiter looks at its ticket; there are no more of them than worker threads.
    m_queue->served.notify_all();
}

int WriterTurn::queued(const QString &databaseName)
{
    const std::shared_ptr<WriterQueue> queue = queueFor(databaseName);
    const std::lock_guard lock(queue->mutex);
    return int(queue->nextTicket - queue->serving) - int(queue->abandoned.size());
}

} // namespace qor
