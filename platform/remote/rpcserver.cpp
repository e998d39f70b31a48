#include "rpcserver.h"

#include "framing.h"
#include "jsonrpc.h"
#include "socketerrors.h"
#include "tlsfiles.h"
#include "tokencheck.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QHostAddress>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSocketNotifier>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

constexpr qint64 ReadChunkBytes = 64 * 1024;
// What Qt may hold unread per connection; beyond it TCP pushes back on the client.
constexpr qint64 SocketReadBufferBytes = 1024 * 1024;
// How long a connection refused for a broken frame may stay open for the peer to read why.
constexpr int LingerMs = 3000;
constexpr int ShutdownFlushMs = 5000;
// Connections the kernel may hold before they are accepted (capped by somaxconn).
constexpr int ListenBacklog = 1024;
// After an accept fails for want of descriptors or memory, accepting is tried again
// this much later.
constexpr int AcceptRetryMs = 250;

// Answers a peer has not yet taken that stop the reading of its further calls until it
// takes most of them: a peer that sends calls without reading their answers would
// otherwise make them pile up in memory.
constexpr qint64 UnsentAnswerBytes = 1024 * 1024;

// Before authenticating a peer has only its token to send, a few hundred bytes: a
// stranger may not make the server hold a whole message's worth for each connection.
constexpr qint64 UnauthenticatedMessageBytes = 64 * 1024;

const QString AuthenticateMethod = u"Authenticate"_s;

// The socket of the call this worker thread is running; -1 between calls.
thread_local qintptr runningCallSocket = -1;

struct Connection
{
    Connection(quint64 id, QTcpSocket *socket, qint64 maxMessageBytes)
        : id(id)
        , socket(socket)
        , parser(qMin(maxMessageBytes, UnauthenticatedMessageBytes))
    { }

    quint64 id;
    QTcpSocket *socket;
    FrameParser parser;
    QTimer *authenticateDeadline = nullptr; // a child of the socket
    bool authenticated = false;
    bool closing = false; // answered for the last time; input is discarded
    bool waitingForPeer = false; // too many answers not yet taken; reading paused
    QMetaObject::Connection answersWatch; // while waiting: the socket's bytesWritten
};

using ConnectionPtr = std::shared_ptr<Connection>;

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

// What the workers share with the server; it outlives them.
struct Shared
{
    RpcServer *q = nullptr;
    RpcServerOptions options;
    RpcHandler handler;
    std::optional<QSslConfiguration> tls; // set: connections are TLS
    std::atomic<bool> shuttingDown{false};
};

// Accepts the connections of a listening QTcpServer and hands each descriptor on, so a
// socket is made, handshaken and served on one worker thread and never moves between
// threads. Accepting is done here rather than by QTcpServer because QTcpServer retries
// an accept that failed for want of descriptors at once, round and round, spinning a
// processor until one frees up; this waits a little between tries and says so once.
class Acceptor : public QObject
{
public:
    Acceptor(QTcpServer &listening, std::function<void(qintptr)> incoming,
             std::function<void(const QString &)> failing, QObject *parent)
        : QObject(parent)
        , m_descriptor(int(listening.socketDescriptor()))
        , m_incoming(std::move(incoming))
        , m_failing(std::move(failing))
    {
        listening.pauseAccepting(); // QTcpServer only keeps the socket listening
        m_notifier = new QSocketNotifier(m_descriptor, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &Acceptor::acceptWaiting);
    }

private:
    void acceptWaiting()
    {
        for (;;) {
            // The listening socket does not block: this ends when none is waiting.
            const int descriptor = ::accept4(m_descriptor, nullptr, nullptr, SOCK_CLOEXEC);
            if (descriptor >= 0) {
                m_failed = false;
                m_incoming(descriptor);
                continue;
            }
            const int error = errno;
            if (error == EINTR || error == ECONNABORTED || error == EPROTO)
                continue; // that one connection went away before it was taken
            if (error == EAGAIN || error == EWOULDBLOCK)
                return;
            // Out of descriptors or memory: the connections wait in the backlog meanwhile.
            if (!m_failed)
                m_failing(qt_error_string(error));
            m_failed = true;
            m_notifier->setEnabled(false);
            QTimer::singleShot(AcceptRetryMs, this, [this] {
                m_notifier->setEnabled(true);
                acceptWaiting();
            });
            return;
        }
    }

    int m_descriptor;
    std::function<void(qintptr)> m_incoming;
    std::function<void(const QString &)> m_failing;
    QSocketNotifier *m_notifier = nullptr;
    bool m_failed = false; // reported once until an accept succeeds again
};

// One thread that owns some connections: it reads their requests, runs their calls and
// writes the answers itself, so a call crosses no thread on its way. A connection's
// calls run one at a time and in order; a long call holds up only the connections of
// its own worker.
class Worker
{
public:
    explicit Worker(Shared &shared)
        : m_shared(shared)
    {
        // A std::thread rather than a QThread: joining it waits for everything the
        // thread leaves behind (its database connection, the TLS library's per-thread
        // state), which run after a QThread already reports itself finished.
        QSemaphore started;
        m_thread = std::thread([this, &started] {
            QEventLoop loop;
            QObject context;
            m_loop = &loop;
            m_context = &context;
            started.release();
            loop.exec();
            // Sockets dropped on the last pass of the loop.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        });
        started.acquire();
    }
    ~Worker() { stop(); }

    int load() const { return m_load; }

    // On the server's thread: hands over an accepted connection's descriptor.
    void adopt(qintptr descriptor)
    {
        ++m_load;
        QMetaObject::invokeMethod(
            m_context, [this, descriptor] { serve(descriptor); }, Qt::QueuedConnection);
    }

    // On the server's thread: the call running now finishes and is answered, then every
    // connection closes and the thread ends. stop() waits for that.
    void beginStop()
    {
        if (m_stopRequested)
            return;
        m_stopRequested = true;
        QMetaObject::invokeMethod(
            m_context, [this] { closeAll(); }, Qt::QueuedConnection);
    }
    void stop()
    {
        beginStop();
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    void serve(qintptr descriptor);
    void handshakeFailed(quint64 id);
    void authenticationLate(quint64 id);
    void pump(quint64 id);
    void answersTaken(quint64 id);
    void handle(Connection &c, const QByteArray &body);
    void authenticate(Connection &c, const RpcRequest &request);
    void reject(Connection &c, const RpcRequest &request, int code, const QString &message);
    void run(Connection &c, const RpcRequest &request);
    void send(Connection &c, const QByteArray &json) { c.socket->write(encodeFrame(json)); }
    void closeAfterWrite(Connection &c);
    void drop(quint64 id);
    void answerReceived(Connection &c);
    void closeAll();

    Shared &m_shared;
    std::thread m_thread;
    bool m_stopRequested = false; // on the server's thread
    // Both live on m_thread's stack while it runs; m_context receives its sockets' signals.
    QEventLoop *m_loop = nullptr;
    QObject *m_context = nullptr;
    std::atomic<int> m_load{0}; // connections handed over and not yet dropped
    // The rest belongs to m_thread.
    QHash<quint64, ConnectionPtr> m_connections;
    quint64 m_nextId = 1;
};

void Worker::serve(qintptr descriptor)
{
    QTcpSocket *socket = m_shared.tls ? new QSslSocket : new QTcpSocket;
    if (m_shared.shuttingDown || !socket->setSocketDescriptor(descriptor)) {
        --m_load;
        delete socket;
        ::close(int(descriptor));
        return;
    }
    const quint64 id = m_nextId++;
    auto c = std::make_shared<Connection>(id, socket, m_shared.options.maxMessageBytes);
    socket->setReadBufferSize(SocketReadBufferBytes);
    // Answers are written whole: each should leave at once.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // A peer that vanishes without closing (power cut, network gone) never sends again;
    // the system's keep-alive probes find it out, or its socket would be held for good.
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    m_connections.insert(id, c);
    // Goes with the socket, however it ends.
    auto *deadline = new QTimer(socket);
    c->authenticateDeadline = deadline;
    deadline->setSingleShot(true);
    QObject::connect(deadline, &QTimer::timeout, m_context, [this, id] { authenticationLate(id); });
    deadline->start(m_shared.options.authenticateTimeoutMs);
    QObject::connect(socket, &QIODevice::readyRead, m_context, [this, id] { pump(id); });
    QObject::connect(socket, &QAbstractSocket::disconnected, m_context, [this, id] { drop(id); });
    if (auto *ssl = qobject_cast<QSslSocket *>(socket)) {
        // Nothing is read until the handshake is done; what came with it is read then.
        QObject::connect(ssl, &QSslSocket::encrypted, m_context, [this, id] { pump(id); });
        QObject::connect(ssl, &QAbstractSocket::errorOccurred, m_context,
                         [this, id] { handshakeFailed(id); });
        ssl->setSslConfiguration(*m_shared.tls);
        ssl->startServerEncryption();
        return;
    }
    pump(id); // bytes that came before the hand-over
}

void Worker::authenticationLate(quint64 id)
{
    const ConnectionPtr c = m_connections.value(id);
    if (!c || c->authenticated || c->closing)
        return;
    auto *ssl = qobject_cast<QSslSocket *>(c->socket);
    if (ssl && !ssl->isEncrypted()) { // nothing can be said in the clear
        ssl->abort();
        drop(id);
        return;
    }
    send(*c,
         encodeError(QJsonValue(), RpcNotAuthenticated,
                     u"Tempo esgotado aguardando a autenticação."_s));
    closeAfterWrite(*c);
}

// A peer that cannot complete the handshake (no TLS, an untrusted certificate) is let go.
void Worker::handshakeFailed(quint64 id)
{
    const ConnectionPtr c = m_connections.value(id);
    auto *ssl = c ? qobject_cast<QSslSocket *>(c->socket) : nullptr;
    if (!ssl || ssl->isEncrypted())
        return;
    ssl->abort();
    drop(id);
}

// Handles one request, then comes back through the event loop for the next one already
// waiting, so one busy connection does not starve the others of this worker.
void Worker::pump(quint64 id)
{
    const ConnectionPtr c = m_connections.value(id);
    if (!c || c->waitingForPeer)
        return;
    while (!c->closing && !m_shared.shuttingDown) {
        if (c->socket->bytesToWrite() > UnsentAnswerBytes) {
            // Its calls wait in the socket, and beyond its read buffer in the system,
            // where TCP holds the peer back. Watched only now: no cost on every answer.
            c->waitingForPeer = true;
            c->answersWatch = QObject::connect(c->socket, &QIODevice::bytesWritten, m_context,
                                               [this, id] { answersTaken(id); });
            return;
        }
        QByteArray body;
        switch (c->parser.next(&body)) {
        case FrameParser::Result::Message:
            handle(*c, body);
            if (!c->closing && (c->parser.buffered() > 0 || c->socket->bytesAvailable() > 0))
                QMetaObject::invokeMethod(
                    m_context, [this, id] { pump(id); }, Qt::QueuedConnection);
            return;
        case FrameParser::Result::Error:
            // Where the next message starts is unknown: say why and close.
            send(*c, encodeError(QJsonValue(), c->parser.error().code, c->parser.error().message));
            closeAfterWrite(*c);
            return;
        case FrameParser::Result::NeedMore:
            if (c->socket->bytesAvailable() <= 0)
                return;
            // No more than is there: a read buffer sized to the chunk would cost
            // a large allocation on every request.
            c->parser.feed(c->socket->read(qMin(c->socket->bytesAvailable(), ReadChunkBytes)));
            break;
        }
    }
    if (c->closing)
        c->socket->readAll(); // discarded, so the socket keeps draining
}

void Worker::answersTaken(quint64 id)
{
    const ConnectionPtr c = m_connections.value(id);
    if (!c || !c->waitingForPeer || c->socket->bytesToWrite() > UnsentAnswerBytes / 2)
        return;
    c->waitingForPeer = false;
    QObject::disconnect(c->answersWatch);
    pump(id);
}

void Worker::handle(Connection &c, const QByteArray &body)
{
    RpcRequest request;
    RpcError error;
    if (!decodeRequest(body, &request, &error)) {
        // The frame was whole, so the stream is still in step: carry on.
        send(c, encodeError(request.id, error.code, error.message));
        c.socket->flush();
        return;
    }
    if (request.method == AuthenticateMethod) {
        authenticate(c, request);
        return;
    }
    if (!c.authenticated) {
        reject(c, request, RpcNotAuthenticated, u"Conexão não autenticada."_s);
        return;
    }
    if (!request.params.isArray() && !request.params.isUndefined()) {
        reject(c, request, RpcInvalidParams, u"Parâmetros inválidos."_s);
        return;
    }
    run(c, request);
}

void Worker::authenticate(Connection &c, const RpcRequest &request)
{
    const QJsonArray params = request.params.toArray();
    if (request.params.isArray() && params.size() == 1 && params.at(0).isString()
        && tokensMatch(params.at(0).toString(), m_shared.options.token)) {
        c.authenticated = true;
        c.authenticateDeadline->stop();
        c.parser.setMaxMessageBytes(m_shared.options.maxMessageBytes);
        send(c, encodeResult(request.id, QJsonValue()));
        c.socket->flush();
        return;
    }
    // No second guess on the same connection.
    c.authenticated = false;
    send(c, encodeError(request.id, RpcNotAuthenticated, u"Token de acesso inválido."_s));
    closeAfterWrite(c);
}

void Worker::reject(Connection &c, const RpcRequest &request, int code, const QString &message)
{
    Q_EMIT m_shared.q->callFinished(request.method, 0, false, code);
    send(c, encodeError(request.id, code, message));
    c.socket->flush();
}

void Worker::run(Connection &c, const RpcRequest &request)
{
    QElapsedTimer timer;
    timer.start();
    const QJsonValue &id = request.id;
    const qint64 maxBytes = m_shared.options.maxMessageBytes;
    QByteArray reply;
    bool ok = false;
    int code = 0;
    runningCallSocket = c.socket->socketDescriptor();
    const auto callEnded = qScopeGuard([] { runningCallSocket = -1; });
    try {
        const RpcResult result = m_shared.handler(request.method, request.params.toArray());
        reply =
            result.isRaw() ? encodeRawResult(id, result.json()) : encodeResult(id, result.value());
        ok = true;
    } catch (const RpcError &e) {
        code = e.code;
        reply = encodeError(id, e.code, e.message);
    } catch (...) {
        // Whatever went wrong inside stays inside: it may name tables or data.
        code = RpcInternalError;
        reply = encodeError(id, code, u"Erro interno do servidor."_s);
    }
    if (reply.size() > maxBytes) {
        ok = false;
        code = RpcInternalError;
        reply = encodeError(
            id, code,
            u"A resposta do servidor de aplicação excede o limite de %1 bytes."_s.arg(maxBytes));
    }
    // Reported before the answer leaves, so whoever has the answer finds the report.
    Q_EMIT m_shared.q->callFinished(request.method, timer.nsecsElapsed() / 1000, ok, code);
    send(c, reply);
    // Out now rather than on the next pass of the event loop: the client is waiting.
    c.socket->flush();
}

void Worker::closeAfterWrite(Connection &c)
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
            const ConnectionPtr c = m_connections.value(id);
            if (c && c->socket->bytesToWrite() == 0 && c->socket->socketDescriptor() >= 0)
                ::shutdown(int(c->socket->socketDescriptor()), SHUT_WR);
        };
        c.socket->flush();
        if (c.socket->bytesToWrite() == 0)
            halfClose();
        else
            QObject::connect(c.socket, &QIODevice::bytesWritten, m_context, halfClose);
    }
    // Goes with the socket, however it ends.
    auto *linger = new QTimer(c.socket);
    linger->setSingleShot(true);
    QObject::connect(linger, &QTimer::timeout, c.socket, &QAbstractSocket::abort);
    linger->start(LingerMs);
}

void Worker::drop(quint64 id)
{
    const ConnectionPtr c = m_connections.take(id);
    if (!c)
        return;
    --m_load;
    c->closing = true;
    c->socket->deleteLater();
}

// Requests that had fully arrived when the stop came are answered too: to their callers
// they were already in flight.
void Worker::answerReceived(Connection &c)
{
    if (c.closing)
        return;
    c.socket->waitForReadyRead(0); // takes in what the system holds for the socket
    c.parser.feed(c.socket->readAll());
    QByteArray body;
    while (!c.closing && c.parser.next(&body) == FrameParser::Result::Message)
        handle(c, body);
}

void Worker::closeAll()
{
    // A copy: a peer found gone while reading is dropped from m_connections.
    for (const ConnectionPtr &c : m_connections.values())
        answerReceived(*c);
    const QDeadlineTimer deadline(ShutdownFlushMs);
    for (const ConnectionPtr &c : std::as_const(m_connections)) {
        c->closing = true;
        c->socket->disconnect(m_context);
        while (c->socket->bytesToWrite() > 0
               && c->socket->state() == QAbstractSocket::ConnectedState
               && c->socket->waitForBytesWritten(int(deadline.remainingTime()))) { }
        c->socket->disconnectFromHost();
    }
    for (const ConnectionPtr &c : std::as_const(m_connections)) {
        c->socket->abort();
        delete c->socket;
    }
    m_load -= int(m_connections.size());
    m_connections.clear();
    m_loop->quit();
}

} // namespace

bool rpcCallerStillWaiting()
{
    if (runningCallSocket < 0)
        return true;
    // The worker reads nothing while a call runs, so the system holds whatever came since:
    // a peer that waits has sent nothing more, or its next requests; one that gave up has
    // closed the connection, perhaps behind a next request that is still unread.
    pollfd state{int(runningCallSocket), POLLRDHUP, 0};
    if (::poll(&state, 1, 0) > 0 && (state.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0)
        return false;
    char byte = 0;
    const ssize_t peeked = ::recv(int(runningCallSocket), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (peeked >= 0)
        return peeked > 0;
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

struct RpcServer::Private
{
    Shared shared;
    QTcpServer *listener = nullptr;
    std::vector<std::unique_ptr<Worker>> workers;
    size_t nextWorker = 0;
    Acceptor *acceptor = nullptr; // a child of the server, gone before the listener closes
    std::atomic<quint16> port{0};

    void accept(qintptr descriptor);
    Worker &leastLoadedWorker();
};

RpcServer::RpcServer(RpcServerOptions options, RpcHandler handler, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
    d->shared.q = this;
    d->shared.options = std::move(options);
    d->shared.handler = std::move(handler);
}

RpcServer::~RpcServer()
{
    shutdown();
    delete d->listener;
    d->workers.clear(); // joins their threads
}

bool RpcServer::listen(QString *error)
{
    const RpcServerOptions &options = d->shared.options;
    QString message;
    auto fail = [&](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    if (d->listener || d->shared.shuttingDown)
        return fail(u"O servidor de aplicação já foi iniciado."_s);
    if (options.token.isEmpty())
        return fail(u"O token de acesso do servidor de aplicação não foi configurado."_s);
    QHostAddress address;
    if (!parseListenAddress(options.listenHost, &address))
        return fail(u"Endereço de escuta inválido: %1."_s.arg(options.listenHost));

    const bool tls = !options.tlsCertificate.isEmpty() || !options.tlsKey.isEmpty();
    if (tls) {
        if (options.tlsCertificate.isEmpty() || options.tlsKey.isEmpty())
            return fail(u"Para usar TLS informe o certificado e a chave privada."_s);
        QSslConfiguration configuration;
        if (!loadServerTls(options.tlsCertificate, options.tlsKey, &configuration, &message))
            return fail(message);
        d->shared.tls = configuration;
    }
    auto *listener = new QTcpServer(this);
    // Qt's default of 50 makes a burst of connections beyond it wait for the client's
    // SYN retry, a whole second later.
    listener->setListenBacklogSize(ListenBacklog);
    if (!listener->listen(address, options.port)) {
        message = u"Não foi possível escutar em %1:%2: %3."_s.arg(
            options.listenHost, QString::number(options.port), listenFailureReason(*listener));
        delete listener;
        return fail(message);
    }
    d->listener = listener;
    d->port = listener->serverPort();
    d->acceptor = new Acceptor(
        *listener, [this](qintptr descriptor) { d->accept(descriptor); },
        [this](const QString &reason) { Q_EMIT acceptFailed(reason); }, this);
    // Out of memory or of the threads the system allows a process: no server rather than
    // an abort, and none half started.
    const int workers = qMax(1, options.workers);
    bool failed = false;
    try {
        for (int i = 0; i < workers; ++i)
            d->workers.push_back(std::make_unique<Worker>(d->shared));
    } catch (const std::system_error &) {
        failed = true;
    } catch (const std::bad_alloc &) {
        failed = true;
    }
    if (failed) {
        d->workers.clear();
        delete d->acceptor;
        d->acceptor = nullptr;
        delete d->listener;
        d->listener = nullptr;
        d->port = 0;
        return fail(u"Não foi possível iniciar os %1 workers do servidor de aplicação: o "
                    u"sistema não tem memória ou linhas de execução disponíveis."_s.arg(workers));
    }
    return true;
}

quint16 RpcServer::port() const
{
    return d->port;
}

void RpcServer::shutdown()
{
    if (d->shared.shuttingDown.exchange(true))
        return;
    delete d->acceptor;
    d->acceptor = nullptr;
    if (d->listener)
        d->listener->close();
    // The workers wind down side by side: each answers the call it is running, flushes
    // and closes its connections.
    for (const auto &worker : d->workers)
        worker->beginStop();
    for (const auto &worker : d->workers)
        worker->stop();
}

void RpcServer::Private::accept(qintptr descriptor)
{
    if (shared.shuttingDown) {
        ::close(int(descriptor));
        return;
    }
    leastLoadedWorker().adopt(descriptor);
}

// Ties go round, so connections opened one after another spread over the threads.
Worker &RpcServer::Private::leastLoadedWorker()
{
    size_t best = nextWorker % workers.size();
    for (size_t i = 1; i < workers.size(); ++i) {
        const size_t candidate = (nextWorker + i) % workers.size();
        if (workers[candidate]->load() < workers[best]->load())
            best = candidate;
    }
    nextWorker = best + 1;
    return *workers[best];
}

} // namespace qor
