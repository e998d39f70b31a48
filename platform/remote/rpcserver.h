#pragma once

#include "rpcerror.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonValue>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace qor {

struct RpcServerOptions
{
    QString listenHost = QStringLiteral("127.0.0.1");
    quint16 port = 7400; // 0: any free port
    QString token; // Authenticate must present it before any other call
    QString tlsCertificate; // PEM; with tlsKey, connections are TLS
    QString tlsKey;
    int workers = 4;
    qint64 maxMessageBytes = 16 * 1024 * 1024;
    // A connection that has not authenticated by then (TLS handshake included) is told
    // why and closed, so idle strangers cannot hold the server's sockets.
    int authenticateTimeoutMs = 10000;
};

// What a method answers, put under "data" in {"ok":true,"data":...}: a JSON value, or
// text already written as compact JSON (a large packet then never becomes a tree).
class RpcResult
{
public:
    RpcResult(QJsonValue value = QJsonValue()) // implicit: handlers may return any value
        : m_value(std::move(value))
    { }
    // json must be one valid compact JSON value; it goes on the wire as it is.
    static RpcResult fromJson(QByteArray json)
    {
        RpcResult result;
        result.m_json = std::move(json);
        result.m_raw = true;
        return result;
    }
    bool isRaw() const { return m_raw; }
    const QJsonValue &value() const { return m_value; }
    const QByteArray &json() const { return m_json; }

private:
    QJsonValue m_value;
    QByteArray m_json;
    bool m_raw = false;
};

// Runs a method on a worker thread and returns its result; throws RpcError to fail. Each worker
// thread calls it with its own state (a database connection), so it must be safe to call
// concurrently from different threads.
using RpcHandler = std::function<RpcResult(const QString &method, const QJsonArray &params)>;

// For a handler, on its worker thread: false once the peer whose call is running has
// closed its connection (its wait for the answer ran out, or it went away), so that a
// change it will never hear of can be dropped before it is stored. True outside a call.
bool rpcCallerStillWaiting();

// Listens for framed JSON-RPC 2.0 connections. The owning thread only accepts them; each
// connection then belongs to one of `workers` threads (the least busy takes it), which
// does its TLS handshake, reads its requests, runs its calls and writes the answers, one
// call at a time per connection. listen(), shutdown() and destruction happen on the
// owning thread; the destructor shuts down first and returns once the worker threads
// have ended, their thread-local state (the handler's too) released. A connection whose
// stream breaks (bad frame header, message over maxMessageBytes, wrong token) is answered
// with the reason and closed; the others carry on.
class RpcServer : public QObject
{
    Q_OBJECT
public:
    RpcServer(RpcServerOptions options, RpcHandler handler, QObject *parent = nullptr);
    ~RpcServer() override;

    // False with a Portuguese reason: no token, bad address, port taken, TLS files.
    bool listen(QString *error = nullptr);
    quint16 port() const;
    // Stops accepting, lets the calls in flight finish and answers them, then closes.
    void shutdown();

Q_SIGNALS:
    // One line per call for the log: method, duration, outcome; never the params.
    // Emitted on the worker thread, before the answer is written.
    void callFinished(const QString &method, qint64 microseconds, bool ok, int errorCode);
    // Accepting connections failed (out of descriptors, say) and is tried again shortly;
    // said once until an accept succeeds again. On the server's thread.
    void acceptFailed(const QString &reason);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace qor
