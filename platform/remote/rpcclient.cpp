#include "rpcclient.h"

#include "framing.h"
#include "jsonrpc.h"
#include "socketerrors.h"
#include "tlsfiles.h"

#include "rtl/exceptions.h"

#include <QSslConfiguration>
#include <QSslSocket>

#include <sys/socket.h>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

int remaining(const QDeadlineTimer &deadline)
{
    return int(qMax<qint64>(0, deadline.remainingTime()));
}

QString invalidReply()
{
    return u"Resposta inválida do servidor de aplicação."_s;
}

} // namespace

RpcClient::RpcClient(QObject *parent)
    : QObject(parent)
{ }

RpcClient::~RpcClient()
{
    close();
}

QString RpcClient::endpoint() const
{
    return u"%1:%2"_s.arg(m_options.host, QString::number(m_options.port));
}

void RpcClient::open()
{
    close();
    const QDeadlineTimer deadline(m_options.connectTimeoutMs);
    std::unique_ptr<QTcpSocket> socket;
    bool connected = false;
    if (m_options.tls) {
        if (!QSslSocket::supportsSsl())
            throw Exception(u"TLS não está disponível nesta instalação."_s);
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        if (!m_options.caCertificate.isEmpty()) {
            // The named certificate alone is trusted: the installation's own server.
            QList<QSslCertificate> trusted;
            QString error;
            if (!loadTrustedCertificates(m_options.caCertificate, &trusted, &error))
                throw Exception(error);
            configuration.setCaCertificates(trusted);
        }
        configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
        auto ssl = std::make_unique<QSslSocket>();
        ssl->setSslConfiguration(configuration);
        ssl->connectToHostEncrypted(m_options.host, m_options.port);
        connected = ssl->waitForEncrypted(remaining(deadline));
        socket = std::move(ssl);
    } else {
        // A plain socket when TLS is off: one layer less on every call.
        socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(m_options.host, m_options.port);
        connected = socket->waitForConnected(remaining(deadline));
    }
    if (!connected) {
        if (socket->error() == QAbstractSocket::SocketTimeoutError || deadline.hasExpired()) {
            throw Exception(
                u"Tempo esgotado ao conectar ao servidor de aplicação em %1."_s.arg(endpoint()));
        }
        throw Exception(u"Não foi possível conectar ao servidor de aplicação em %1: %2."_s.arg(
            endpoint(), connectFailureReason(*socket, m_options.host)));
    }

    m_socket = std::move(socket);
    m_parser = std::make_unique<FrameParser>(m_options.maxMessageBytes);
    const qint64 id = m_nextId++;
    const QJsonObject result =
        exchange(id, encode(id, u"Authenticate"_s, {m_options.token}), deadline, Phase::Connecting);
    if (!result.value(u"ok"_s).toBool()) {
        const QString message = result.value(u"error"_s).toObject().value(u"message"_s).toString();
        dropAndRaise(message.isEmpty() ? invalidReply() : message);
    }
    m_authenticated = true;
}

void RpcClient::close()
{
    m_authenticated = false;
    m_parser.reset();
    if (!m_socket)
        return;
    m_socket->disconnectFromHost();
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->abort();
    m_socket.reset();
}

bool RpcClient::isOpen() const
{
    return m_socket && m_authenticated && m_socket->state() == QAbstractSocket::ConnectedState
        && !hasUnaskedInput();
}

// Bytes that came while no call was waiting (an answer sent twice, a frame behind the
// last answer) answer no call; left there, the next call would read them as its own
// answer. Such a connection is out of step.
bool RpcClient::hasUnaskedInput() const
{
    if ((m_parser && m_parser->buffered() > 0) || m_socket->bytesAvailable() > 0)
        return true;
    // Between calls nothing reads the socket, so later bytes wait in the system. Under
    // TLS those may be the protocol's own records: only what it decrypted counts there.
    const qintptr descriptor = m_socket->socketDescriptor();
    if (qobject_cast<const QSslSocket *>(m_socket.get()) || descriptor < 0)
        return false;
    char byte = 0;
    return ::recv(int(descriptor), &byte, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
}

QJsonObject RpcClient::call(const QString &method, const QJsonArray &params)
{
    const qint64 id = m_nextId++;
    const QByteArray request = encode(id, method, params);
    // A connection lost since the last call is opened again, token and all.
    if (!isOpen())
        open();
    Q_EMIT callStarted(method, params);
    return exchange(id, request, QDeadlineTimer(m_options.callTimeoutMs), Phase::Calling);
}

QByteArray RpcClient::encode(qint64 id, const QString &method, const QJsonArray &params) const
{
    QByteArray json = encodeRequest(id, method, params);
    if (json.size() > m_options.maxMessageBytes) {
        // Refused before sending, so the connection stays in step and usable.
        throw Exception(u"A chamada %1 excede o limite de %2 bytes por mensagem."_s.arg(
            method, QString::number(m_options.maxMessageBytes)));
    }
    return json;
}

QJsonObject RpcClient::exchange(qint64 id, const QByteArray &request,
                                const QDeadlineTimer &deadline, Phase phase)
{
    const QString invalid = phase == Phase::Connecting
        ? u"Não foi possível conectar ao servidor de aplicação em %1: %2."_s.arg(
            endpoint(), u"resposta inválida do servidor"_s)
        : invalidReply();
    // Nothing is sent yet: the call fails cleanly rather than take them for its answer.
    if (hasUnaskedInput())
        dropAndRaise(invalid);
    m_socket->write(encodeFrame(request));
    QByteArray body;
    bool unsent = false;
    while (m_socket->bytesToWrite() > 0) {
        if (m_socket->waitForBytesWritten(remaining(deadline)))
            continue;
        // A server may answer a request it refuses from its header (one over its size
        // limit) and close before taking the rest: that answer, already read, is the
        // call's, though the connection cannot serve another.
        if (m_socket->bytesAvailable() > 0)
            m_parser->feed(m_socket->readAll());
        if (m_parser->next(&body) != FrameParser::Result::Message)
            transportFailed(deadline, phase);
        unsent = true;
        break;
    }

    while (!unsent) {
        const FrameParser::Result next = m_parser->next(&body);
        if (next == FrameParser::Result::Message)
            break;
        if (next == FrameParser::Result::Error)
            dropAndRaise(invalid);
        if (m_socket->bytesAvailable() > 0) {
            m_parser->feed(m_socket->readAll());
            continue;
        }
        if (!m_socket->waitForReadyRead(remaining(deadline)) && m_socket->bytesAvailable() <= 0)
            transportFailed(deadline, phase);
    }

    QJsonObject result;
    if (!decodeReply(body, id, &result))
        dropAndRaise(invalid);
    if (unsent) {
        m_socket->abort();
        close();
    }
    return result;
}

void RpcClient::transportFailed(const QDeadlineTimer &deadline, Phase phase)
{
    const bool lost = m_socket->state() != QAbstractSocket::ConnectedState
        || (m_socket->error() != QAbstractSocket::SocketTimeoutError && !deadline.hasExpired());
    if (phase == Phase::Connecting) {
        if (lost) {
            dropAndRaise(u"Não foi possível conectar ao servidor de aplicação em %1: %2."_s.arg(
                endpoint(), u"conexão encerrada pelo servidor"_s));
        }
        dropAndRaise(
            u"Tempo esgotado ao conectar ao servidor de aplicação em %1."_s.arg(endpoint()));
    }
    // The answer may still come: the connection is out of step and is dropped.
    dropAndRaise(lost ? u"Conexão com o servidor de aplicação perdida."_s
                      : u"Tempo esgotado aguardando resposta do servidor de aplicação."_s);
}

void RpcClient::dropAndRaise(const QString &message)
{
    if (m_socket)
        m_socket->abort();
    close();
    throw Exception(message);
}

} // namespace qor
