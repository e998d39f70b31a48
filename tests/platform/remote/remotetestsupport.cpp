#include "remotetestsupport.h"

#include "remote/framing.h"
#include "remote/jsonrpc.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QMutexLocker>
#include <QTcpServer>
#include <QThread>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace qor::test {

namespace {

// A safety net against a hung test, never a measure of speed.
constexpr int SafetyMs = 10000;

void note(QStringList *log, QMutex *mutex, const QString &entry)
{
    if (!log)
        return;
    QMutexLocker locker(mutex);
    log->append(entry);
}

} // namespace

RpcHandler testHandler(Gate *gate, QStringList *log, QMutex *logMutex)
{
    return [gate, log, logMutex](const QString &method, const QJsonArray &params) -> RpcResult {
        const QString call =
            method + u' ' + QString::fromUtf8(QJsonDocument(params).toJson(QJsonDocument::Compact));
        note(log, logMutex, u"start "_s + call);
        QJsonValue result;
        if (method == u"Echo"_s) {
            result = params;
        } else if (method == u"Block"_s) {
            gate->entered.release();
            gate->release.tryAcquire(1, SafetyMs);
            result = u"liberado"_s;
        } else if (method == u"Fail"_s) {
            throw RpcError{params.at(0).toInt(), params.at(1).toString()};
        } else if (method == u"Crash"_s) {
            throw std::runtime_error("segredo interno: SELECT NMPACIENTE FROM PACIENTE");
        } else if (method == u"ThrowInt"_s) {
            throw 42;
        } else if (method == u"RawEcho"_s) {
            // The params sent back as text already written, as the plan service does.
            note(log, logMutex, u"end "_s + call);
            return RpcResult::fromJson(QJsonDocument(params).toJson(QJsonDocument::Compact));
        } else if (method == u"RawBig"_s) {
            note(log, logMutex, u"end "_s + call);
            return RpcResult::fromJson('"' + QByteArray(params.at(0).toInt(), 'x') + '"');
        } else if (method == u"Big"_s) {
            result = QString(params.at(0).toInt(), u'x');
        } else {
            throw RpcError{RpcMethodNotFound, u"Método desconhecido: %1."_s.arg(method)};
        }
        note(log, logMutex, u"end "_s + call);
        return result;
    };
}

ServerThread::ServerThread(RpcServerOptions options, RpcHandler handler)
{
    m_server = new RpcServer(std::move(options), std::move(handler));
    QObject::connect(
        m_server, &RpcServer::callFinished, m_server,
        [this](const QString &method, qint64, bool ok, int errorCode) {
            QMutexLocker locker(&m_mutex);
            m_finished.append({method, ok, errorCode});
        },
        Qt::DirectConnection);
    m_context = new QObject;
    m_context->moveToThread(&m_thread);
    m_server->moveToThread(&m_thread);
    m_thread.start();
    runInServer([this] {
        m_listening = m_server->listen(&m_error);
        m_port = m_server->port();
    });
}

ServerThread::~ServerThread()
{
    stop();
}

void ServerThread::runInServer(const std::function<void()> &f)
{
    QMetaObject::invokeMethod(m_context, f, Qt::BlockingQueuedConnection);
}

void ServerThread::postToServer(const std::function<void()> &f)
{
    QMetaObject::invokeMethod(m_context, f, Qt::QueuedConnection);
}

void ServerThread::stop()
{
    if (!m_thread.isRunning())
        return;
    runInServer([this] {
        delete m_server; // shuts down on its own thread
        m_server = nullptr;
    });
    m_thread.quit();
    m_thread.wait();
    delete m_context;
    m_context = nullptr;
}

QList<FinishedCall> ServerThread::finishedCalls() const
{
    QMutexLocker locker(&m_mutex);
    return m_finished;
}

RpcServerOptions serverOptions(quint16 port)
{
    RpcServerOptions options;
    options.listenHost = u"127.0.0.1"_s;
    options.port = port;
    options.token = Token;
    options.workers = 4;
    return options;
}

RpcClientOptions clientOptions(quint16 port)
{
    RpcClientOptions options;
    options.host = u"127.0.0.1"_s;
    options.port = port;
    options.token = Token;
    options.connectTimeoutMs = SafetyMs;
    options.callTimeoutMs = SafetyMs;
    return options;
}

RawConnection::RawConnection(quint16 port, int receiveBytes)
{
    m_socket.connectToHost(u"127.0.0.1"_s, port);
    m_socket.waitForConnected(SafetyMs);
    if (receiveBytes > 0) {
        m_socket.setReadBufferSize(receiveBytes);
        m_socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, receiveBytes);
    }
}

void RawConnection::send(const QByteArray &bytes)
{
    m_socket.write(bytes);
    while (m_socket.bytesToWrite() > 0 && m_socket.waitForBytesWritten(SafetyMs)) { }
}

void RawConnection::sendRequest(const QJsonValue &id, const QString &method,
                                const QJsonValue &params)
{
    QJsonObject request{{u"jsonrpc"_s, u"2.0"_s}, {u"id"_s, id}, {u"method"_s, method}};
    if (!params.isUndefined())
        request.insert(u"params"_s, params);
    send(encodeFrame(QJsonDocument(request).toJson(QJsonDocument::Compact)));
}

std::optional<QJsonObject> RawConnection::readMessage()
{
    const QDeadlineTimer deadline(SafetyMs);
    QByteArray body;
    for (;;) {
        const FrameParser::Result next = m_parser.next(&body);
        if (next == FrameParser::Result::Message)
            return QJsonDocument::fromJson(body).object();
        if (next == FrameParser::Result::Error)
            return std::nullopt;
        if (m_socket.bytesAvailable() > 0) {
            m_parser.feed(m_socket.readAll());
            continue;
        }
        if (deadline.hasExpired() || m_socket.state() != QAbstractSocket::ConnectedState)
            return std::nullopt;
        m_socket.waitForReadyRead(int(deadline.remainingTime()));
    }
}

bool RawConnection::authenticate(const QJsonValue &id)
{
    sendRequest(id, u"Authenticate"_s, QJsonArray{Token});
    const std::optional<QJsonObject> reply = readMessage();
    return reply && reply->value(u"result"_s).toObject().value(u"ok"_s).toBool();
}

bool RawConnection::waitClosed()
{
    const QDeadlineTimer deadline(SafetyMs);
    while (m_socket.state() != QAbstractSocket::UnconnectedState && !deadline.hasExpired()) {
        if (!m_socket.waitForReadyRead(int(deadline.remainingTime())))
            continue;
        m_socket.readAll();
    }
    return m_socket.state() == QAbstractSocket::UnconnectedState;
}

ClosedPort::ClosedPort()
{
    // Without address sharing: a server asking for the same port is refused it.
    m_socket.bind(QHostAddress::LocalHost, 0, QAbstractSocket::DontShareAddress);
}

ScriptedServer::ScriptedServer(std::function<QByteArray(qint64 id)> reply)
{
    m_thread = QThread::create([this, reply] {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        m_port = server.serverPort();
        m_ready.release();
        QTcpSocket *socket = nullptr;
        FrameParser parser;
        while (!m_stop.tryAcquire()) {
            if (!socket) {
                if (server.waitForNewConnection(50))
                    socket = server.nextPendingConnection();
                continue;
            }
            if (socket->bytesAvailable() <= 0 && !socket->waitForReadyRead(50))
                continue;
            parser.feed(socket->readAll());
            QByteArray body;
            while (parser.next(&body) == FrameParser::Result::Message) {
                RpcRequest request;
                RpcError error;
                if (!decodeRequest(body, &request, &error))
                    continue;
                if (request.method == u"Authenticate"_s)
                    socket->write(encodeFrame(encodeResult(request.id, QJsonValue())));
                else
                    socket->write(reply(request.id.toInteger()));
                socket->waitForBytesWritten(SafetyMs);
            }
        }
    });
    m_thread->start();
    m_ready.acquire();
}

ScriptedServer::~ScriptedServer()
{
    m_stop.release();
    m_thread->wait();
    delete m_thread;
}

} // namespace qor::test
