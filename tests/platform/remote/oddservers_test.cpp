// The client against servers that misbehave on the wire: every call gets its own answer
// or a clear message, never another call's answer, and the next call works again.

#include "remotetestsupport.h"

#include "remote/jsonrpc.h"
#include "rtl/exceptions.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <atomic>
#include <functional>
#include <sys/socket.h>

using namespace qor;
using namespace qor::test;
using namespace Qt::StringLiterals;

namespace {

constexpr int SafetyMs = 10000;

// Writes and waits until the bytes have left, so each piece goes out on its own.
void put(QTcpSocket &socket, const QByteArray &bytes)
{
    socket.write(bytes);
    while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(SafetyMs)) { }
}

QByteArray okReply(qint64 id, const QJsonValue &data)
{
    return encodeFrame(encodeResult(id, data));
}

// A peer that authenticates every connection and hands each later request, counted
// across connections from 0, to a script that answers it however it likes (or closes).
class OddServer
{
public:
    // afterFirstCall is released once the test has the first call's outcome.
    using Script =
        std::function<void(QTcpSocket &socket, qint64 id, int call, QSemaphore &afterFirstCall)>;

    // afterAuthenticate: sent behind every Authenticate answer.
    explicit OddServer(Script script, QByteArray afterAuthenticate = {})
    {
        QSemaphore ready;
        m_thread.reset(QThread::create([this, script, afterAuthenticate, &ready] {
            QTcpServer server;
            server.listen(QHostAddress::LocalHost, 0);
            m_port = server.serverPort();
            ready.release();
            std::unique_ptr<QTcpSocket> socket;
            FrameParser parser;
            int call = 0;
            while (!m_stop) {
                if (server.hasPendingConnections() || server.waitForNewConnection(10)) {
                    // The client has moved to a new connection; the old one is done.
                    socket.reset(server.nextPendingConnection());
                    // Each piece leaves when written, not when the client next sends.
                    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
                    parser = FrameParser();
                    ++m_connections;
                }
                if (!socket || socket->state() != QAbstractSocket::ConnectedState)
                    continue;
                if (socket->bytesAvailable() <= 0 && !socket->waitForReadyRead(10))
                    continue;
                parser.feed(socket->readAll());
                QByteArray body;
                while (socket->state() == QAbstractSocket::ConnectedState
                       && parser.next(&body) == FrameParser::Result::Message) {
                    RpcRequest request;
                    RpcError error;
                    if (!decodeRequest(body, &request, &error))
                        continue;
                    if (request.method == u"Authenticate"_s)
                        put(*socket,
                            okReply(request.id.toInteger(), QJsonValue()) + afterAuthenticate);
                    else {
                        script(*socket, request.id.toInteger(), call++, m_afterFirstCall);
                        m_calls = call;
                        m_settled.release();
                    }
                }
            }
        }));
        m_thread->start();
        ready.acquire();
    }
    ~OddServer()
    {
        m_stop = true;
        m_thread->wait();
    }

    quint16 port() const { return m_port; }
    int connections() const { return m_connections; }
    int calls() const { return m_calls; }
    // Tells the script the first call has its outcome, then waits until the script has
    // written all it had for that call.
    bool settle()
    {
        m_afterFirstCall.release();
        return m_settled.tryAcquire(1, SafetyMs);
    }

private:
    std::unique_ptr<QThread> m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    std::atomic<int> m_calls{0};
    QSemaphore m_settled;
    QSemaphore m_afterFirstCall;
    quint16 m_port = 0;
};

// The outcome of a call as one comparable text: its data, or the message raised.
QString outcome(RpcClient &client, int n)
{
    try {
        const QJsonObject result = client.call(u"Echo"_s, {n});
        return QString::fromUtf8(QJsonDocument(result).toJson(QJsonDocument::Compact));
    } catch (const Exception &e) {
        return e.Message();
    }
}

QString answered(int n)
{
    return u"{\"data\":%1,\"ok\":true}"_s.arg(n);
}

struct OddServerCase
{
    const char *name;
    OddServer::Script script; // the first call is n = 1, the second n = 2
    QStringList outcomes; // of the first and the second call
    int connections; // opened by the client for both calls
};

void PrintTo(const OddServerCase &c, std::ostream *os)
{
    *os << c.name;
}

const QString Lost = u"Conexão com o servidor de aplicação perdida."_s;

QList<OddServerCase> oddServerCases()
{
    return {
        // An extra frame behind an answer belongs to no call: the next call must not take
        // it for its own answer, and nothing of it was sent yet, so it goes on anew.
        {"an unasked-for error behind the first answer",
         [](QTcpSocket &socket, qint64 id, int call, QSemaphore &) {
             QByteArray bytes = okReply(id, call + 1);
             if (call == 0)
                 bytes += encodeFrame(
                     encodeError(QJsonValue(), RpcInternalError, u"Falha que ninguém pediu."_s));
             put(socket, bytes);
         },
         {answered(1), answered(2)},
         2},
        {"an unasked-for error after the first answer",
         [](QTcpSocket &socket, qint64 id, int call, QSemaphore &afterFirstCall) {
             put(socket, okReply(id, call + 1));
             if (call == 0 && afterFirstCall.tryAcquire(1, SafetyMs))
                 put(socket,
                     encodeFrame(encodeError(QJsonValue(), RpcInternalError,
                                             u"Falha que ninguém pediu."_s)));
         },
         {answered(1), answered(2)},
         2},
        {"the first answer sent twice",
         [](QTcpSocket &socket, qint64 id, int call, QSemaphore &) {
             const QByteArray reply = okReply(id, call + 1);
             put(socket, call == 0 ? reply + reply : reply);
         },
         {answered(1), answered(2)},
         2},
        {"an answer cut in one-byte pieces",
         [](QTcpSocket &socket, qint64 id, int call, QSemaphore &) {
             const QByteArray reply = okReply(id, call + 1);
             for (char c : reply)
                 put(socket, QByteArray(1, c));
         },
         {answered(1), answered(2)},
         1},
        {"closed in the middle of the first answer",
         [](QTcpSocket &socket, qint64 id, int call, QSemaphore &) {
             const QByteArray reply = okReply(id, call + 1);
             if (call == 0) {
                 put(socket, reply.left(reply.size() - 3));
                 socket.disconnectFromHost();
                 return;
             }
             put(socket, reply);
         },
         {Lost, answered(2)},
         2},
        {"closed in the middle of the first header",
         [](QTcpSocket &socket, qint64 id, int call, QSemaphore &) {
             if (call == 0) {
                 put(socket, "Content-Len");
                 socket.disconnectFromHost();
                 return;
             }
             put(socket, okReply(id, call + 1));
         },
         {Lost, answered(2)},
         2},
    };
}

// The second parameter: whether the event loop runs between the calls, as on the screen,
// taking in what arrives meanwhile; without it those bytes wait in the system.
class RpcClientOddServer : public testing::TestWithParam<std::tuple<OddServerCase, bool>>
{
};

TEST_P(RpcClientOddServer, EachCallGetsItsOwnAnswerOrAClearMessage)
{
    const auto &[c, idleLoop] = GetParam();
    OddServer peer(c.script);
    RpcClient client;
    client.setOptions(clientOptions(peer.port()));
    const QString first = outcome(client, 1);
    ASSERT_TRUE(peer.settle());
    if (idleLoop) {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    const QString second = outcome(client, 2);
    EXPECT_EQ(first.toStdString(), c.outcomes.at(0).toStdString());
    EXPECT_EQ(second.toStdString(), c.outcomes.at(1).toStdString());
    EXPECT_EQ(peer.connections(), c.connections);
}

INSTANTIATE_TEST_SUITE_P(Peers, RpcClientOddServer,
                         testing::Combine(testing::ValuesIn(oddServerCases()), testing::Bool()),
                         [](const testing::TestParamInfo<std::tuple<OddServerCase, bool>> &info) {
                             std::string name = std::get<0>(info.param).name;
                             for (char &ch : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             }
                             return name + (std::get<1>(info.param) ? "_loop_idle" : "_no_loop");
                         });

// A server that refuses a request from its header, before the client has written it
// all: the call gets the server's reason, and calls after it are served again.
TEST(RpcClientEarlyAnswer, ARequestRefusedWhileBeingWrittenGetsTheServersReason)
{
    RpcServerOptions options = serverOptions();
    options.maxMessageBytes = 64 * 1024;
    ServerThread server(options, testHandler(nullptr));
    ASSERT_TRUE(server.listening());
    RpcClient client;
    client.setOptions(clientOptions(server.port()));

    QString first;
    try {
        const QJsonObject result = client.call(u"Echo"_s, {QString(4 * 1024 * 1024, u'x')});
        first = QString::fromUtf8(QJsonDocument(result).toJson(QJsonDocument::Compact));
    } catch (const Exception &e) {
        first = e.Message();
    }
    EXPECT_EQ(first.toStdString(),
              "{\"error\":{\"code\":-32600,\"message\":\"Mensagem maior que o limite de 65536 "
              "bytes.\"},\"ok\":false}");
    // Whatever the first call met, the link is in step again by the third call at most.
    QStringList later;
    for (int n = 2; n <= 3; ++n)
        later << outcome(client, n);
    EXPECT_EQ(later.last().toStdString(), "{\"data\":[3],\"ok\":true}")
        << later.first().toStdString();
}

// A peer that refuses the first request after Authenticate from its header alone: it
// answers, ends its sending and reads nothing more, so the client is still writing when
// the answer and the end arrive. The answer is the call's.
TEST(RpcClientEarlyAnswer, AnAnswerThatComesBeforeTheRequestIsAllWrittenIsTheCalls)
{
    const QString refusal = u"Mensagem maior que o limite de 65536 bytes."_s;
    QSemaphore ready;
    QSemaphore callEnded;
    quint16 port = 0;
    std::unique_ptr<QThread> peer(QThread::create([&] {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        port = server.serverPort();
        ready.release();
        if (!server.waitForNewConnection(SafetyMs))
            return;
        std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
        FrameParser parser;
        QByteArray body;
        while (parser.next(&body) != FrameParser::Result::Message
               && socket->waitForReadyRead(SafetyMs))
            parser.feed(socket->readAll());
        RpcRequest request;
        RpcError error;
        if (!decodeRequest(body, &request, &error))
            return;
        put(*socket, okReply(request.id.toInteger(), QJsonValue()));
        QByteArray header;
        while (!header.contains("\r\n\r\n") && socket->waitForReadyRead(SafetyMs))
            header += socket->read(64);
        put(*socket, encodeFrame(encodeError(QJsonValue(), RpcInvalidRequest, refusal)));
        ::shutdown(int(socket->socketDescriptor()), SHUT_WR);
        callEnded.tryAcquire(1, SafetyMs);
    }));
    peer->start();
    ready.acquire();

    RpcClient client;
    client.setOptions(clientOptions(port));
    // More than the system's buffers hold while the peer reads nothing.
    const QString big(12 * 1024 * 1024, u'x');
    QString first;
    try {
        const QJsonObject result = client.call(u"Echo"_s, {big});
        first = QString::fromUtf8(QJsonDocument(result).toJson(QJsonDocument::Compact));
    } catch (const Exception &e) {
        first = e.Message();
    }
    callEnded.release();
    peer->wait();
    EXPECT_EQ(first.toStdString(),
              u"{\"error\":{\"code\":-32600,\"message\":\"%1\"},\"ok\":false}"_s.arg(refusal)
                  .toStdString());
    EXPECT_FALSE(client.isOpen());
}

// A server that sends something behind every Authenticate answer: the call refuses
// it before sending anything, rather than take it for its answer.
TEST(RpcClientOddServerAuthenticate, BytesBehindTheAuthenticateAnswerFailTheCallUnsent)
{
    OddServer peer([](QTcpSocket &socket, qint64 id, int call,
                      QSemaphore &) { put(socket, okReply(id, call + 1)); },
                   encodeFrame(encodeError(QJsonValue(), RpcInternalError, u"Sobra."_s)));
    RpcClient client;
    client.setOptions(clientOptions(peer.port()));
    EXPECT_EQ(outcome(client, 1).toStdString(),
              u"Resposta inválida do servidor de aplicação."_s.toStdString());
    EXPECT_FALSE(client.isOpen());
    EXPECT_EQ(peer.calls(), 0);
}

} // namespace
