#pragma once

#include "remote/rpcserver.h"
#include "sql/databaseuri.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QStringList>
#include <functional>

namespace qor {

// The plan service rdmPlanejaExerc: decodes each call's positional params, runs it on
// the calling thread's own database connection and encodes the packet it returns.
// Every failure leaves as RpcError with a Portuguese message; nothing else escapes.
class PlanService
{
public:
    // A line for the server's log, written from the worker threads.
    using LogLine = std::function<void(const QString &)>;

    // log receives why the database could not be reached: the workstation is told only
    // that there is no connection, so the log is where the administrator finds the reason.
    explicit PlanService(DatabaseUri uri, LogLine log = {});

    // The RpcHandler: safe to call from several worker threads at once.
    RpcResult call(const QString &method, const QJsonArray &params) const;

    static QStringList methodNames();

private:
    // Raises ESqlError and the like as they come; call() turns them into RpcError.
    RpcResult callOnDatabase(const QString &method, const QJsonArray &params) const;

    DatabaseUri m_uri;
    LogLine m_log;
};

} // namespace qor
