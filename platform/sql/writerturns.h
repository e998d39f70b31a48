#pragma once

#include <QString>
#include <chrono>
#include <memory>

namespace qor {

struct WriterQueue;

// SQLite lets one writer in at a time and makes the others sleep and retry; under
// steady writing a sleeping thread can lose every retry for a second and more. The
// writing threads of this process take turns on each database file here instead,
// first come first served, so SQLite's busy wait is left to writers in other processes.
class WriterTurn
{
public:
    // Waits until every earlier turn on this database has been handed back, for at most
    // `patience`; then gives its place up and raises ESqlError (busy), so a save queued
    // behind a writer held up elsewhere fails while its client still waits for the answer.
    WriterTurn(const QString &databaseName, std::chrono::milliseconds patience);
    ~WriterTurn(); // hands the turn to the next in line
    WriterTurn(const WriterTurn &) = delete;
    WriterTurn &operator=(const WriterTurn &) = delete;

    // Threads holding or waiting for a turn on the database.
    static int queued(const QString &databaseName);

private:
    std::shared_ptr<WriterQueue> m_queue;
};

} // namespace qor
