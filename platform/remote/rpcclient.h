#pragma once

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <memory>

class QTcpSocket;

namespace qor {

class FrameParser;

struct RpcClientOptions
{
    QString host = QStringLiteral("127.0.0.1");
    quint16 port = 7400;
    QString token; // the installation's token; sent by Authenticate
    bool tls = false;
    QString caCertificate; // PEM file trusted for TLS; empty: the system's
    int connectTimeoutMs = 5000;
    int callTimeoutMs = 30000;
    qint64 maxMessageBytes = 16 * 1024 * 1024; // largest reply accepted, and request sent
};

// One persistent JSON-RPC 2.0 connection, framed as "Content-Length: N\r\n\r\n" + N
// bytes of UTF-8 JSON. Calls are synchronous: they block without running the event
// loop. Transport failures (refused, timed out, lost) raise Exception with a
// Portuguese message; a lost connection is reopened by the next call.
class RpcClient : public QObject
{
    Q_OBJECT
public:
    explicit RpcClient(QObject *parent = nullptr);
    ~RpcClient() override;

    void setOptions(const RpcClientOptions &options) { m_options = options; }
    const RpcClientOptions &options() const { return m_options; }

    // Connects and authenticates; raises on failure.
    void open();
    void close();
    bool isOpen() const;

    // Calls by method name with positional params and returns the raw result:
    // the server's {"ok":true,"data":...} on success, or
    // {"ok":false,"error":{"code":N,"message":"..."}} for a JSON-RPC error reply.
    QJsonObject call(const QString &method, const QJsonArray &params);

Q_SIGNALS:
    // Emitted before each call is sent (not for Authenticate); tests count calls with it.
    void callStarted(const QString &method, const QJsonArray &params);

private:
    enum class Phase { Connecting, Calling };

    QByteArray encode(qint64 id, const QString &method, const QJsonArray &params) const;
    QJsonObject exchange(qint64 id, const QByteArray &request, const QDeadlineTimer &deadline,
                         Phase phase);
    [[noreturn]] void transportFailed(const QDeadlineTimer &deadline, Phase phase);
    [[noreturn]] void dropAndRaise(const QString &message);
    QString endpoint() const;
    bool hasUnaskedInput() const;

    RpcClientOptions m_options;
    std::unique_ptr<QTcpSocket> m_socket; // a QSslSocket when TLS is on
    std::unique_ptr<FrameParser> m_parser;
    bool m_authenticated = false;
    qint64 m_nextId = 1;
};

} // namespace qor
