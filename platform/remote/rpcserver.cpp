#include "rpcserver.h"

#include "framing.h"
#include "jsonrpc.h"
#include "tlsfiles.h"
#include "tokencheck.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThreadPool>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sys/socket.h>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

constexpr qint64 ReadChunkBytes = 64 * 1024;
// What Qt may hold unread per connection; beyond it TCP pushes back on the client.
constexpr qint64 SocketReadBufferBytes = 1024 * 1024;
// How long a connection refused for a broken frame may stay open for the peer to read why.
constexpr int LingerMs = 3000;
constexpr int ShutdownFlushMs = 5000;

const QString AuthenticateMethod = u"Authenticate"_s;

struct Connection
{
    Connection(quint64 id, QTcpSocket *socket, qint64 maxMessageBytes)
        : id(id)
        , socket(socket)
        , parser(maxMessageBytes)
    { }

    quint64 id;
    QTcpSocket *socket;
    FrameParser parser;
    bool authenticated = false;
    bool busy = false; // a call of this connection is on the pool
    bool closing = false; // answered for the last time; input is discarded
};

using ConnectionPtr = std::shared_ptr<Connection>;

// The worker threads still alive. A handler keeps per-thread state (a database
// connection) that is released by the thread's own thread-local destructors, which run
// after QThreadPool has let the thread go: the server waits for them, or the process
// could be tearing down the libraries they use while they still run.
struct LiveWorkers
{
    std::mutex mutex;
    std::condition_variable changed;
    int count = 0;
};

// Made on a worker's first call, before the handler makes its own thread-locals, so it
// is destroyed after them.
struct WorkerMark
{
    std::shared_ptr<LiveWorkers> live;
    ~WorkerMark()
    {
        if (!live)
            return;
        const std::lock_guard lock(live->mutex);
        --live->count;
        live->changed.notify_all();
    }
};

void markWorker(const std::shared_ptr<LiveWorkers> &live)
{
    thread_local WorkerMark mark;
    if (mark.live)
        return;
    const std::lock_guard lock(live->mutex);
    ++live->count;
    mark.live = live;
}

bool parseListenAddress(const QString &host, QHostAddress *address)
{
    if (host.isEmpty() || host == u"*"_s) {
        *address = QHostAddress::Any;
        return true;
    }
    if (host.compare(u"localhost"_s, Qt::CaseInsensitive) == 0) {
        *address = QHostAddress::LocalHost;
        return true;
    }
    return address->setAddress(host);
}

} // namespace

struct RpcServer::Private
{
    RpcServer *q;
    RpcServerOptions options;
    RpcHandler handler;
    QTcpServer *listener = nullptr;
    std::shared_ptr<LiveWorkers> liveWorkers = std::make_shared<LiveWorkers>();
    std::unique_ptr<QThreadPool> pool = std::make_unique<QThreadPool>();
    QHash<quint64, ConnectionPtr> connections;
    quint64 nextConnectionId = 1;
    std::atomic<quint16> port{0};
    bool shuttingDown = false;

    void accept();
    void pump(const ConnectionPtr &c);
    void handle(const ConnectionPtr &c, const QByteArray &body);
    void authenticate(Connection &c, const RpcRequest &request);
    void reject(Connection &c, const RpcRequest &request, int code, const QString &message);
    void start(const ConnectionPtr &c, const RpcRequest &request);
    void finish(quint64 connectionId, const QByteArray &frame, const QString &method,
                qint64 microseconds, bool ok, int errorCode);
    void send(Connection &c, const QByteArray &json) { c.socket->write(encodeFrame(json)); }
    void closeAfterWrite(Connection &c);
    void drop(quint64 connectionId);
};

RpcServer::RpcServer(RpcServerOptions options, RpcHandler handler, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
    d->q = this;
    d->options = std::move(options);
    d->handler = std::move(handler);
    d->pool->setMaxThreadCount(qMax(1, d->options.workers));
    // Workers keep per-thread state (a database connection): keep the threads.
    d->pool->setExpiryTimeout(-1);
}

RpcServer::~RpcServer()
{
    shutdown();
    // The sockets' signals lead into d; cut them before d goes.
    for (const ConnectionPtr &c : std::as_const(d->connections))
        c->socket->disconnect(this);
    if (d->listener) {
        d->listener->disconnect(this);
        for (QObject *child : d->listener->children())
            child->disconnect(this);
        delete d->listener; // the sockets are its children
    }
    // Ends the worker threads, then waits for their thread-local state to go.
    d->pool.reset();
    std::unique_lock lock(d->liveWorkers->mutex);
    d->liveWorkers->changed.wait_for(lock, std::chrono::milliseconds(ShutdownFlushMs),
                                     [this] { return d->liveWorkers->count == 0; });
}

bool RpcServer::listen(QString *error)
{
    QString message;
    auto fail = [&](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    if (d->listener || d->shuttingDown)
        return fail(u"O servidor de aplicação já foi iniciado."_s);
    if (d->options.token.isEmpty())
        return fail(u"O token de acesso do servidor de aplicação não foi configurado."_s);
    QHostAddress address;
    if (!parseListenAddress(d->options.listenHost, &address))
        return fail(u"Endereço de escuta inválido: %1."_s.arg(d->options.listenHost));

    const bool tls = !d->options.tlsCertificate.isEmpty() || !d->options.tlsKey.isEmpty();
    QTcpServer *listener = nullptr;
    if (tls) {
        if (d->options.tlsCertificate.isEmpty() || d->options.tlsKey.isEmpty())
            return fail(u"Para usar TLS informe o certificado e a chave privada."_s);
        QSslConfiguration configuration;
        if (!loadServerTls(d->options.tlsCertificate, d->options.tlsKey, &configuration, &message))
            return fail(message);
        auto *sslServer = new QSslServer(this);
        sslServer->setSslConfiguration(configuration);
        listener = sslServer;
    } else {
        listener = new QTcpServer(this);
    }
    if (!listener->listen(address, d->options.port)) {
        message = u"Não foi possível escutar em %1:%2: %3."_s.arg(
            d->options.listenHost, QString::number(d->options.port), listener->errorString());
        delete listener;
        return fail(message);
    }
    d->listener = listener;
    d->port = listener->serverPort();
    // Emitted for plain connections at once and for TLS ones after the handshake.
    connect(listener, &QTcpServer::pendingConnectionAvailable, this, [this] { d->accept(); });
    return true;
}

quint16 RpcServer::port() const
{
    return d->port;
}

void RpcServer::shutdown()
{
    if (d->shuttingDown)
        return;
    d->shuttingDown = true;
    if (d->listener) {
        d->listener->close();
        while (QTcpSocket *socket = d->listener->nextPendingConnection()) {
            socket->abort();
            socket->deleteLater();
        }
    }

    // The calls in flight finish; their answers are queued to this thread, so deliver
    // them here before the sockets close.
    d->pool->waitForDone();
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);

    const QDeadlineTimer deadline(ShutdownFlushMs);
    const QList<ConnectionPtr> open = d->connections.values();
    for (const ConnectionPtr &c : open) {
        c->closing = true;
        while (c->socket->bytesToWrite() > 0
               && c->socket->state() == QAbstractSocket::ConnectedState
               && c->socket->waitForBytesWritten(int(deadline.remainingTime()))) { }
        c->socket->disconnectFromHost();
    }
    for (const ConnectionPtr &c : d->connections.values())
        c->socket->abort();
    d->connections.clear();
}

void RpcServer::Private::accept()
{
    while (QTcpSocket *socket = listener->nextPendingConnection()) {
        if (shuttingDown) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        const quint64 id = nextConnectionId++;
        auto c = std::make_shared<Connection>(id, socket, options.maxMessageBytes);
        socket->setReadBufferSize(SocketReadBufferBytes);
        connections.insert(id, c);
        QObject::connect(socket, &QIODevice::readyRead, q, [this, id] {
            if (const ConnectionPtr c = connections.value(id))
                pump(c);
        });
        QObject::connect(socket, &QAbstractSocket::disconnected, q, [this, id] { drop(id); });
        pump(c); // a TLS handshake may have brought the first bytes along
    }
}

// Reads while the connection has no call in flight; further requests wait in the
// socket, so they are answered one at a time and in order.
void RpcServer::Private::pump(const ConnectionPtr &c)
{
    while (!c->busy && !c->closing && !shuttingDown) {
        QByteArray body;
        switch (c->parser.next(&body)) {
        case FrameParser::Result::Message:
            handle(c, body);
            break;
        case FrameParser::Result::Error:
            // Where the next message starts is unknown: say why and close.
            send(*c, encodeError(QJsonValue(), c->parser.error().code, c->parser.error().message));
            closeAfterWrite(*c);
            return;
        case FrameParser::Result::NeedMore:
            if (c->socket->bytesAvailable() <= 0)
                return;
            c->parser.feed(c->socket->read(ReadChunkBytes));
            break;
        }
    }
    if (c->closing)
        c->socket->readAll(); // discarded, so the socket keeps draining
}

void RpcServer::Private::handle(const ConnectionPtr &c, const QByteArray &body)
{
    RpcRequest request;
    RpcError error;
    if (!decodeRequest(body, &request, &error)) {
        // The frame was whole, so the stream is still in step: carry on.
        send(*c, encodeError(request.id, error.code, error.message));
        return;
    }
    if (request.method == AuthenticateMethod) {
        authenticate(*c, request);
        return;
    }
    if (!c->authenticated) {
        reject(*c, request, RpcNotAuthenticated, u"Conexão não autenticada."_s);
        return;
    }
    if (!request.params.isArray() && !request.params.isUndefined()) {
        reject(*c, request, RpcInvalidParams, u"Parâmetros inválidos."_s);
        return;
    }
    start(c, request);
}

void RpcServer::Private::authenticate(Connection &c, const RpcRequest &request)
{
    const QJsonArray params = request.params.toArray();
    if (request.params.isArray() && params.size() == 1 && params.at(0).isString()
        && tokensMatch(params.at(0).toString(), options.token)) {
        c.authenticated = true;
        send(c, encodeResult(request.id, QJsonValue()));
        return;
    }
    // No second guess on the same connection.
    c.authenticated = false;
    send(c, encodeError(request.id, RpcNotAuthenticated, u"Token de acesso inválido."_s));
    closeAfterWrite(c);
}

void RpcServer::Private::reject(Connection &c, const RpcRequest &request, int code,
                                const QString &message)
{
    send(c, encodeError(request.id, code, message));
    Q_EMIT q->callFinished(request.method, 0, false, code);
}

void RpcServer::Private::start(const ConnectionPtr &c, const RpcRequest &request)
{
    c->busy = true;
    const QJsonArray params = request.params.toArray();
    pool->start([this, connectionId = c->id, id = request.id, method = request.method, params] {
        markWorker(liveWorkers);
        QElapsedTimer timer;
        timer.start();
        QByteArray reply;
        bool ok = false;
        int code = 0;
        try {
            const RpcResult result = handler(method, params);
            reply = result.isRaw() ? encodeRawResult(id, result.json())
                                   : encodeResult(id, result.value());
            ok = true;
        } catch (const RpcError &e) {
            code = e.code;
            reply = encodeError(id, e.code, e.message);
        } catch (...) {
            // Whatever went wrong inside stays inside: it may name tables or data.
            code = RpcInternalError;
            reply = encodeError(id, code, u"Erro interno do servidor."_s);
        }
        if (reply.size() > options.maxMessageBytes) {
            ok = false;
            code = RpcInternalError;
            reply = encodeError(
                id, code,
                u"A resposta do servidor de aplicação excede o limite de %1 bytes."_s.arg(
                    options.maxMessageBytes));
        }
        const qint64 microseconds = timer.nsecsElapsed() / 1000;
        QMetaObject::invokeMethod(
            q,
            [this, connectionId, frame = encodeFrame(reply), method, microseconds, ok, code] {
                finish(connectionId, frame, method, microseconds, ok, code);
            },
            Qt::QueuedConnection);
    });
}

void RpcServer::Private::finish(quint64 connectionId, const QByteArray &frame,
                                const QString &method, qint64 microseconds, bool ok, int errorCode)
{
    Q_EMIT q->callFinished(method, microseconds, ok, errorCode);
    const ConnectionPtr c = connections.value(connectionId);
    if (!c) // the client went away meanwhile
        return;
    c->busy = false;
    if (c->closing)
        return;
    c->socket->write(frame);
    // Out now rather than on the next pass of the event loop: the client is waiting.
    c->socket->flush();
    pump(c);
}

void RpcServer::Private::closeAfterWrite(Connection &c)
{
    c.closing = true;
    c.socket->readAll();
    const quint64 id = c.id;
    auto *ssl = qobject_cast<QSslSocket *>(c.socket);
    if (ssl && ssl->isEncrypted()) {
        c.socket->disconnectFromHost();
    } else {
        // Half-close once the answer is out and keep reading until the peer closes:
        // closing with unread input would reset the connection and could destroy the
        // answer before the peer reads it.
        auto halfClose = [this, id] {
            const ConnectionPtr c = connections.value(id);
            if (c && c->socket->bytesToWrite() == 0 && c->socket->socketDescriptor() >= 0)
                ::shutdown(int(c->socket->socketDescriptor()), SHUT_WR);
        };
        c.socket->flush();
        if (c.socket->bytesToWrite() == 0)
            halfClose();
        else
            QObject::connect(c.socket, &QIODevice::bytesWritten, q, halfClose);
    }
    QTimer::singleShot(LingerMs, q, [this, id] {
        if (const ConnectionPtr c = connections.value(id))
            c->socket->abort();
    });
}

void RpcServer::Private::drop(quint64 connectionId)
{
    const ConnectionPtr c = connections.take(connectionId);
    if (!c)
        return;
    c->closing = true;
    c->socket->deleteLater();
}

} // namespace qor
