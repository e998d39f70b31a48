#include "writerturns.h"

#include <QHash>
#include <QList>
#include <condition_variable>
#include <mutex>

namespace qor {

// A ticket queue: turns are served in the order they were asked for.
struct WriterQueue
{
    std::mutex mutex;
    std::condition_variable served;
    quint64 nextTicket = 0;
    quint64 serving = 0;
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

WriterTurn::WriterTurn(const QString &databaseName)
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
    m_queue->served.wait(lock, [&] { return m_queue->serving == ticket; });
    heldHere.append(m_queue.get());
}

WriterTurn::~WriterTurn()
{
    if (!m_queue)
        return;
    heldHere.removeOne(m_queue.get());
    {
        const std::lock_guard lock(m_queue->mutex);
        ++m_queue->serving;
    }
    // Every waiter looks at its ticket; there are no more of them than worker threads.
    m_queue->served.notify_all();
}

int WriterTurn::queued(const QString &databaseName)
{
    const std::shared_ptr<WriterQueue> queue = queueFor(databaseName);
    const std::lock_guard lock(queue->mutex);
    return int(queue->nextTicket - queue->serving);
}

} // namespace qor
