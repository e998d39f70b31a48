#pragma once

// What the transport tests share: a real RpcServer on its own thread with a handler
// whose methods echo, block, fail and throw; a raw socket to speak bytes to it; a
// scripted peer for replies no real server sends.

#include "remote/framing.h"
#include "remote/rpcclient.h"
#include "remote/rpcserver.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMutex>
#include <QSemaphore>
#include <QString>
#include <QStringList>
#include <QTcpSocket>
#include <QThread>
#include <functional>
#include <optional>

namespace qor::test {

inline const QString Token = QStringLiteral("tok-3f9a1c27e5");

// "Block" waits here until the test lets it go, so a call stays in flight as long as
// the test needs without sleeping.
struct Gate
{
    QSemaphore entered;
    QSemaphore release;
};

// Echo: returns its params. Block: waits on the gate, returns "liberado".
// Fail [code, message]: throws RpcError. Crash: throws std::runtime_error with an
// internal text. ThrowInt: throws an int. Big [n]: returns a string of n bytes.
// Anything else: RpcError -32601. Every start and end goes to *log, if given.
RpcHandler testHandler(Gate *gate, QStringList *log = nullptr, QMutex *logMutex = nullptr);

struct FinishedCall
{
    QString method;
    bool ok;
    int errorCode;
};

// An RpcServer living in its own thread with its own event loop, as in qor-server:
// the tests' clients block the test thread.
class ServerThread
{
public:
    ServerThread(RpcServerOptions options, RpcHandler handler);
    ~ServerThread();

    bool listening() const { return m_listening; }
    const QString &listenError() const { return m_error; }
    quint16 port() const { return m_port; }
    RpcServer *server() const { return m_server; }

    // Runs f on the server's thread; postToServer does not wait for it.
    void runInServer(const std::function<void()> &f);
    void postToServer(const std::function<void()> &f);
    // Shuts the server down and ends its thread.
    void stop();

    QList<FinishedCall> finishedCalls() const;

private:
    QThread m_thread;
    QObject *m_context = nullptr; // lives in m_thread; runs what the test hands over
    RpcServer *m_server = nullptr;
    bool m_listening = false;
    QString m_error;
    quint16 m_port = 0;
    mutable QMutex m_mutex;
    QList<FinishedCall> m_finished;
};

RpcServerOptions serverOptions(quint16 port = 0);
RpcClientOptions clientOptions(quint16 port);

// A plain TCP connection driven byte by byte from the test thread.
class RawConnection
{
public:
    // receiveBytes > 0: the most this end holds unread, in the system and in Qt, so
    // that a peer that does not read pushes back on the server soon (without it the
    // system lets the window grow to tens of megabytes).
    explicit RawConnection(quint16 port, int receiveBytes = 0);

    bool connected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    void send(const QByteArray &bytes);
    void sendRequest(const QJsonValue &id, const QString &method, const QJsonValue &params);
    // The next framed message as a JSON object; nothing when the connection closed or
    // nothing came within the safety limit.
    std::optional<QJsonObject> readMessage();
    // Authenticate with the right token; true when it succeeded.
    bool authenticate(const QJsonValue &id = 1000);
    // True once the server has closed the connection.
    bool waitClosed();

private:
    QTcpSocket m_socket;
    FrameParser m_parser;
};

// A port nothing listens on, for as long as this lives: bound here but never listened
// on, so connections to it are refused, and no other process can take it meanwhile (a
// port merely bound and released could be listened on by anyone before it is tried).
class ClosedPort
{
public:
    ClosedPort();
    quint16 port() const { return m_socket.localPort(); }

private:
    QTcpSocket m_socket;
};

// A peer that answers Authenticate properly and then every other request with the
// bytes reply(id) makes: for replies no real server would send.
class ScriptedServer
{
public:
    explicit ScriptedServer(std::function<QByteArray(qint64 id)> reply);
    ~ScriptedServer();
    quint16 port() const { return m_port; }

private:
    QThread *m_thread = nullptr;
    quint16 m_port = 0;
    QSemaphore m_ready;
    QSemaphore m_stop;
};

} // namespace qor::test
