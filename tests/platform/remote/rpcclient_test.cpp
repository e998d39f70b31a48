// The blocking client: connection failures, call timeouts, a lost connection reopened
// by the next call, and replies it must not trust.

#include "remotetestsupport.h"

#include "remote/framing.h"
#include "remote/jsonrpc.h"
#include "rtl/exceptions.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QTcpServer>
#include <QTemporaryDir>

using namespace qor;
using namespace qor::test;
using namespace Qt::StringLiterals;

namespace {

QJsonObject object(const char *json)
{
    return QJsonDocument::fromJson(json).object();
}

// The message of the Exception f raises; empty when it raises none.
template <typename F> QString failure(F f)
{
    try {
        f();
    } catch (const Exception &e) {
        return e.Message();
    }
    return {};
}

TEST(RpcClient, OpenFailsWithAClearMessage)
{
    ServerThread server(serverOptions(), testHandler(nullptr));
    ASSERT_TRUE(server.listening());
    // Listens, so the kernel completes the TCP handshake, but never answers.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    const ClosedPort nothingListening;
    const quint16 closed = nothingListening.port();
    ASSERT_NE(closed, 0);
    QTemporaryDir dir;
    const QString missing = dir.filePath(u"ca.pem"_s);

    const struct
    {
        const char *name;
        quint16 port;
        std::function<void(RpcClientOptions &)> change;
        QString message;
    } cases[] = {
        {"nothing listening",
         closed,
         {},
         u"Não foi possível conectar ao servidor de aplicação em 127.0.0.1:%1: conexão recusada."_s
             .arg(closed)},
        {"server never answers the token", silent.serverPort(),
         [](RpcClientOptions &o) { o.connectTimeoutMs = 300; },
         u"Tempo esgotado ao conectar ao servidor de aplicação em 127.0.0.1:%1."_s.arg(
             silent.serverPort())},
        {"server never answers the TLS handshake", silent.serverPort(),
         [](RpcClientOptions &o) {
             o.connectTimeoutMs = 300;
             o.tls = true;
         },
         u"Tempo esgotado ao conectar ao servidor de aplicação em 127.0.0.1:%1."_s.arg(
             silent.serverPort())},
        {"wrong token", server.port(), [](RpcClientOptions &o) { o.token = u"outro"_s; },
         u"Token de acesso inválido."_s},
        {"empty token", server.port(), [](RpcClientOptions &o) { o.token.clear(); },
         u"Token de acesso inválido."_s},
        {"trusted certificate missing", server.port(),
         [&](RpcClientOptions &o) {
             o.tls = true;
             o.caCertificate = missing;
         },
         u"Não foi possível ler o certificado confiável do servidor de aplicação em %1."_s.arg(
             missing)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        RpcClientOptions options = clientOptions(c.port);
        if (c.change)
            c.change(options);
        RpcClient client;
        client.setOptions(options);
        EXPECT_EQ(failure([&] { client.open(); }), c.message);
        EXPECT_FALSE(client.isOpen());
    }
}

TEST(RpcClient, CallTimeoutDropsTheConnectionAndTheNextCallReopens)
{
    Gate gate;
    ServerThread server(serverOptions(), testHandler(&gate));
    ASSERT_TRUE(server.listening());
    RpcClient client;
    RpcClientOptions options = clientOptions(server.port());
    options.callTimeoutMs = 300;
    client.setOptions(options);
    QStringList started;
    QObject::connect(&client, &RpcClient::callStarted,
                     [&](const QString &method, const QJsonArray &) { started << method; });

    EXPECT_EQ(failure([&] { client.call(u"Block"_s, {}); }),
              u"Tempo esgotado aguardando resposta do servidor de aplicação."_s);
    EXPECT_FALSE(client.isOpen());
    gate.release.release(); // the late answer goes to a closed connection

    // The late answer must not be taken for this one, which is given the usual wait: on a
    // busy machine the short one could run out before the server answers.
    options.callTimeoutMs = clientOptions(server.port()).callTimeoutMs;
    client.setOptions(options);
    EXPECT_EQ(client.call(u"Echo"_s, {3}), object(R"({"ok":true,"data":[3]})"));
    EXPECT_TRUE(client.isOpen());
    EXPECT_EQ(started, (QStringList{u"Block"_s, u"Echo"_s}));
}

TEST(RpcClient, LostConnectionRaisesOnceThenTheNextCallReconnects)
{
    auto first = std::make_unique<ServerThread>(serverOptions(), testHandler(nullptr));
    ASSERT_TRUE(first->listening());
    const quint16 port = first->port();
    RpcClient client;
    client.setOptions(clientOptions(port));
    EXPECT_EQ(client.call(u"Echo"_s, {1}), object(R"({"ok":true,"data":[1]})"));

    // The server restarts on the same port; the old connection is gone.
    first.reset();
    ServerThread second(serverOptions(port), testHandler(nullptr));
    ASSERT_TRUE(second.listening()) << second.listenError().toStdString();

    EXPECT_EQ(failure([&] { client.call(u"Echo"_s, {2}); }),
              u"Conexão com o servidor de aplicação perdida."_s);
    EXPECT_FALSE(client.isOpen());
    EXPECT_EQ(client.call(u"Echo"_s, {3}), object(R"({"ok":true,"data":[3]})"));
    EXPECT_TRUE(client.isOpen());
    ASSERT_EQ(second.finishedCalls().size(), 1);
}

TEST(RpcClient, RefusesRepliesItCannotTrust)
{
    const struct
    {
        const char *name;
        std::function<QByteArray(qint64 id)> reply;
    } cases[] = {
        {"answer to another call",
         [](qint64 id) {
             return encodeFrame(encodeResult(id + 1, QJsonValue()));
         }},
        {"id as a string",
         [](qint64 id) {
             return encodeFrame(encodeResult(QString::number(id), QJsonValue()));
         }},
        {"not JSON",
         [](qint64) {
             return encodeFrame("{\"jsonrpc\":");
         }},
        {"result not an object",
         [](qint64 id) {
             return encodeFrame(R"({"jsonrpc":"2.0","id":)" + QByteArray::number(id)
                                + R"(,"result":5})");
         }},
        {"frame header without length",
         [](qint64) {
             return QByteArray("Content-Type: x\r\n\r\n{}");
         }},
        {"frame over the limit",
         [](qint64) {
             return QByteArray("Content-Length: 999999999\r\n\r\n");
         }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer peer(c.reply);
        RpcClient client;
        client.setOptions(clientOptions(peer.port()));
        EXPECT_EQ(failure([&] { client.call(u"Echo"_s, {}); }),
                  u"Resposta inválida do servidor de aplicação."_s);
        EXPECT_FALSE(client.isOpen());
    }
}

TEST(RpcClient, OversizedCallIsRefusedBeforeSending)
{
    ServerThread server(serverOptions(), testHandler(nullptr));
    ASSERT_TRUE(server.listening());
    RpcClient client;
    RpcClientOptions options = clientOptions(server.port());
    options.maxMessageBytes = 1000;
    client.setOptions(options);
    int started = 0;
    QObject::connect(&client, &RpcClient::callStarted, [&] { ++started; });

    EXPECT_EQ(client.call(u"Echo"_s, {1}), object(R"({"ok":true,"data":[1]})"));
    EXPECT_EQ(failure([&] { client.call(u"Echo"_s, {QString(2000, u'x')}); }),
              u"A chamada Echo excede o limite de 1000 bytes por mensagem."_s);
    // Nothing was sent, so the connection is still in step.
    EXPECT_TRUE(client.isOpen());
    EXPECT_EQ(client.call(u"Echo"_s, {2}), object(R"({"ok":true,"data":[2]})"));
    EXPECT_EQ(started, 2);
    EXPECT_EQ(server.finishedCalls().size(), 2);
}

} // namespace
