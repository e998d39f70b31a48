// The server against real clients on loopback: answers, refusals that keep the other
// connections served, one call at a time per connection, and an orderly shutdown.

#include "remotetestsupport.h"

#include "remote/framing.h"
#include "rtl/exceptions.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <netinet/in.h>
#include <sys/socket.h>

using namespace qor;
using namespace qor::test;
using namespace Qt::StringLiterals;

namespace {

QJsonObject object(const char *json)
{
    return QJsonDocument::fromJson(json).object();
}

QString callFailure(RpcClient &client, const QString &method, const QJsonArray &params)
{
    try {
        client.call(method, params);
    } catch (const Exception &e) {
        return e.Message();
    }
    return {};
}

TEST(RpcServer, AnswersEachOutcomeAndReportsEveryCall)
{
    Gate gate;
    RpcServerOptions options = serverOptions();
    options.maxMessageBytes = 1024 * 1024;
    ServerThread server(options, testHandler(&gate));
    ASSERT_TRUE(server.listening()) << server.listenError().toStdString();

    RpcClient client;
    RpcClientOptions clientOpts = clientOptions(server.port());
    clientOpts.maxMessageBytes = options.maxMessageBytes;
    client.setOptions(clientOpts);

    const QString big(600 * 1024, u'x');
    const struct
    {
        QString method;
        QJsonArray params;
        QJsonObject expected;
    } cases[] = {
        {u"Echo"_s,
         {u"Planejamento de Exercícios"_s, 1.5, QJsonValue(), QJsonObject{{u"a"_s, 1}}},
         object(R"({"ok":true,"data":["Planejamento de Exercícios",1.5,null,{"a":1}]})")},
        {u"Echo"_s, {}, object(R"({"ok":true,"data":[]})")},
        // Data handed over as written JSON reaches the client as the same value.
        {u"RawEcho"_s,
         {u"Planejamento de Exercícios"_s, 1.5, QJsonValue(), QJsonObject{{u"a"_s, 1}}},
         object(R"({"ok":true,"data":["Planejamento de Exercícios",1.5,null,{"a":1}]})")},
        // And is held to the same size limit.
        {u"RawBig"_s, {big.size()}, QJsonObject{{u"ok"_s, true}, {u"data"_s, big}}},
        {u"RawBig"_s,
         {2 * 1024 * 1024},
         object(
             R"({"ok":false,"error":{"code":-32603,"message":"A resposta do servidor de aplicação excede o limite de 1048576 bytes."}})")},
        {u"Fail"_s,
         {RpcConflict, u"Registro alterado por outro usuário."_s},
         object(
             R"({"ok":false,"error":{"code":-32010,"message":"Registro alterado por outro usuário."}})")},
        // Internals of a failure stay on the server.
        {u"Crash"_s,
         {},
         object(R"({"ok":false,"error":{"code":-32603,"message":"Erro interno do servidor."}})")},
        {u"ThrowInt"_s,
         {},
         object(R"({"ok":false,"error":{"code":-32603,"message":"Erro interno do servidor."}})")},
        {u"NaoExiste"_s,
         {},
         object(
             R"({"ok":false,"error":{"code":-32601,"message":"Método desconhecido: NaoExiste."}})")},
        // A large answer comes back whole over many reads.
        {u"Big"_s, {big.size()}, QJsonObject{{u"ok"_s, true}, {u"data"_s, big}}},
        // One the client could not take is refused by the server with a reason.
        {u"Big"_s,
         {2 * 1024 * 1024},
         object(
             R"({"ok":false,"error":{"code":-32603,"message":"A resposta do servidor de aplicação excede o limite de 1048576 bytes."}})")},
        {u"Echo"_s, {u"ainda conectado"_s}, object(R"({"ok":true,"data":["ainda conectado"]})")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.method.toStdString());
        EXPECT_EQ(client.call(c.method, c.params), c.expected);
    }

    // One report per call, none for Authenticate, in order.
    const QList<FinishedCall> finished = server.finishedCalls();
    ASSERT_EQ(finished.size(), std::size(cases));
    for (qsizetype i = 0; i < finished.size(); ++i) {
        const QJsonObject &expected = cases[i].expected;
        EXPECT_EQ(finished[i].method, cases[i].method);
        EXPECT_EQ(finished[i].ok, expected.value(u"ok"_s).toBool());
        EXPECT_EQ(finished[i].errorCode,
                  expected.value(u"error"_s).toObject().value(u"code"_s).toInt());
    }
}

struct BadRequest
{
    const char *name;
    bool authenticateFirst;
    QByteArray bytes;
    QJsonValue id;
    int code;
    QString message;
    bool closes;
};

void PrintTo(const BadRequest &c, std::ostream *os)
{
    *os << c.name;
}

QByteArray frame(const char *json)
{
    return encodeFrame(json);
}

QList<BadRequest> badRequests()
{
    const QString notJson = u"Mensagem JSON inválida."_s;
    const QString invalid = u"Requisição JSON-RPC inválida."_s;
    return {
        {"malformed frame header", false, "Content-Lenght: 2\r\n\r\n{}", QJsonValue(),
         RpcParseError, u"Cabeçalho de mensagem inválido."_s, true},
        {"binary noise", true, QByteArray("\x16\x03\x01\x00\xa5\x01\x00", 7), QJsonValue(),
         RpcParseError, u"Cabeçalho de mensagem inválido."_s, true},
        {"content length over 16 MiB", true,
         "Content-Length: 16777217\r\n\r\n" + QByteArray(16777217, '['), QJsonValue(),
         RpcInvalidRequest, u"Mensagem maior que o limite de 16777216 bytes."_s, true},
        {"invalid JSON", true, frame(R"({"jsonrpc":"2.0","id":1,)"), QJsonValue(), RpcParseError,
         notJson, false},
        {"not an object", true, frame("[1,2]"), QJsonValue(), RpcInvalidRequest, invalid, false},
        {"method not a string", true, frame(R"({"jsonrpc":"2.0","id":6,"method":7})"), 6,
         RpcInvalidRequest, invalid, false},
        {"params not an array", true,
         frame(R"({"jsonrpc":"2.0","id":5,"method":"Echo","params":{"a":1}})"), 5, RpcInvalidParams,
         u"Parâmetros inválidos."_s, false},
        {"unknown method", true, frame(R"({"jsonrpc":"2.0","id":8,"method":"Sumir","params":[]})"),
         8, RpcMethodNotFound, u"Método desconhecido: Sumir."_s, false},
        {"call before authentication", false,
         frame(R"({"jsonrpc":"2.0","id":1,"method":"Echo","params":[]})"), 1, RpcNotAuthenticated,
         u"Conexão não autenticada."_s, false},
        {"wrong token", false,
         frame(R"({"jsonrpc":"2.0","id":2,"method":"Authenticate","params":["errado"]})"), 2,
         RpcNotAuthenticated, u"Token de acesso inválido."_s, true},
        {"token not in an array", false,
         frame(R"({"jsonrpc":"2.0","id":3,"method":"Authenticate","params":"tok-3f9a1c27e5"})"), 3,
         RpcNotAuthenticated, u"Token de acesso inválido."_s, true},
        {"wrong token after a good one", true,
         frame(R"({"jsonrpc":"2.0","id":4,"method":"Authenticate","params":[""]})"), 4,
         RpcNotAuthenticated, u"Token de acesso inválido."_s, true},
    };
}

class RpcServerBadRequest : public testing::TestWithParam<BadRequest>
{
protected:
    static void SetUpTestSuite()
    {
        s_server = new ServerThread(serverOptions(), testHandler(&s_gate));
        s_client = new RpcClient;
        s_client->setOptions(clientOptions(s_server->port()));
    }
    static void TearDownTestSuite()
    {
        delete s_client;
        delete s_server;
    }

    static Gate s_gate;
    static ServerThread *s_server;
    static RpcClient *s_client; // a well-behaved neighbour on its own connection
};

Gate RpcServerBadRequest::s_gate;
ServerThread *RpcServerBadRequest::s_server = nullptr;
RpcClient *RpcServerBadRequest::s_client = nullptr;

TEST_P(RpcServerBadRequest, GetsAClearErrorWhileOthersAreServed)
{
    const BadRequest &c = GetParam();
    ASSERT_TRUE(s_server->listening());
    EXPECT_EQ(s_client->call(u"Echo"_s, {1}), object(R"({"ok":true,"data":[1]})"));

    RawConnection raw(s_server->port());
    ASSERT_TRUE(raw.connected());
    if (c.authenticateFirst) {
        ASSERT_TRUE(raw.authenticate());
    }
    raw.send(c.bytes);
    const std::optional<QJsonObject> reply = raw.readMessage();
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->value(u"jsonrpc"_s), u"2.0"_s);
    EXPECT_EQ(reply->value(u"id"_s), c.id);
    const QJsonObject error = reply->value(u"error"_s).toObject();
    EXPECT_EQ(error.value(u"code"_s).toInt(), c.code);
    EXPECT_EQ(error.value(u"message"_s).toString(), c.message);
    // A refused call is reported as failed: the server's log never shows it as served.
    for (const FinishedCall &f : s_server->finishedCalls())
        EXPECT_EQ(f.ok, f.errorCode == 0) << f.method.toStdString() << " " << f.errorCode;

    if (c.closes) {
        EXPECT_TRUE(raw.waitClosed());
    } else {
        // Still in step: the same connection authenticates and is served.
        ASSERT_TRUE(raw.authenticate(77));
        raw.sendRequest(78, u"Echo"_s, QJsonArray{u"de novo"_s});
        const std::optional<QJsonObject> again = raw.readMessage();
        ASSERT_TRUE(again.has_value());
        EXPECT_EQ(*again,
                  object(R"({"jsonrpc":"2.0","id":78,"result":{"ok":true,"data":["de novo"]}})"));
    }

    EXPECT_EQ(s_client->call(u"Echo"_s, {2}), object(R"({"ok":true,"data":[2]})"));
}

INSTANTIATE_TEST_SUITE_P(Requests, RpcServerBadRequest, testing::ValuesIn(badRequests()),
                         [](const testing::TestParamInfo<BadRequest> &info) {
                             std::string name = info.param.name;
                             for (char &ch : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             }
                             return name;
                         });

TEST(RpcServer, AnswersOneCallAtATimePerConnectionInOrder)
{
    Gate gate;
    QStringList log;
    QMutex logMutex;
    ServerThread server(serverOptions(), testHandler(&gate, &log, &logMutex));
    ASSERT_TRUE(server.listening());

    RawConnection raw(server.port());
    ASSERT_TRUE(raw.authenticate());
    // Sent in one go: the quick Echo must wait for the Block before it.
    QByteArray pipelined;
    for (auto [id, method] : {std::pair{1, "Block"}, {2, "Echo"}, {3, "Echo"}}) {
        pipelined +=
            encodeFrame(QJsonDocument(QJsonObject{{u"jsonrpc"_s, u"2.0"_s},
                                                  {u"id"_s, id},
                                                  {u"method"_s, QString::fromLatin1(method)},
                                                  {u"params"_s, QJsonArray{id}}})
                            .toJson(QJsonDocument::Compact));
    }
    raw.send(pipelined);
    ASSERT_TRUE(gate.entered.tryAcquire(1, 10000));

    // Another connection is not held up by the busy one.
    RpcClient other;
    other.setOptions(clientOptions(server.port()));
    EXPECT_EQ(other.call(u"Echo"_s, {u"vizinho"_s}), object(R"({"ok":true,"data":["vizinho"]})"));

    gate.release.release();
    for (int id : {1, 2, 3}) {
        const std::optional<QJsonObject> reply = raw.readMessage();
        ASSERT_TRUE(reply.has_value());
        EXPECT_EQ(reply->value(u"id"_s).toInt(), id);
        EXPECT_TRUE(reply->value(u"result"_s).toObject().value(u"ok"_s).toBool());
    }
    // The neighbour's call ran meanwhile; this connection's calls ran strictly in turn.
    QMutexLocker locker(&logMutex);
    const QStringList own = log.filter(QRegularExpression(u"\\[\\d\\]$"_s));
    EXPECT_EQ(own,
              (QStringList{u"start Block [1]"_s, u"end Block [1]"_s, u"start Echo [2]"_s,
                           u"end Echo [2]"_s, u"start Echo [3]"_s, u"end Echo [3]"_s}));
    EXPECT_EQ(log.size(), own.size() + 2);
}

TEST(RpcServer, ConnectionsOnOneWorkerTakeTurns)
{
    Gate gate;
    QStringList log;
    QMutex logMutex;
    RpcServerOptions options = serverOptions();
    options.workers = 1; // every connection on the same thread
    ServerThread server(options, testHandler(&gate, &log, &logMutex));
    ASSERT_TRUE(server.listening());

    RawConnection busy(server.port());
    ASSERT_TRUE(busy.authenticate());
    RawConnection other(server.port());
    ASSERT_TRUE(other.authenticate());

    // A blocking call with ten more queued behind it, all sent in one go.
    constexpr int Queued = 10;
    QByteArray pipelined;
    for (int id = 1; id <= Queued + 1; ++id) {
        pipelined +=
            encodeFrame(QJsonDocument(QJsonObject{{u"jsonrpc"_s, u"2.0"_s},
                                                  {u"id"_s, id},
                                                  {u"method"_s, id == 1 ? u"Block"_s : u"Echo"_s},
                                                  {u"params"_s, QJsonArray{id}}})
                            .toJson(QJsonDocument::Compact));
    }
    busy.send(pipelined);
    ASSERT_TRUE(gate.entered.tryAcquire(1, 10000));
    other.sendRequest(50, u"Echo"_s, QJsonArray{u"vizinho"_s});
    gate.release.release();

    const std::optional<QJsonObject> reply = other.readMessage();
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->value(u"id"_s).toInt(), 50);
    for (int id = 1; id <= Queued + 1; ++id) {
        const std::optional<QJsonObject> answer = busy.readMessage();
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(answer->value(u"id"_s).toInt(), id);
    }
    // The neighbour was served between the busy connection's calls, not after all of them.
    QMutexLocker locker(&logMutex);
    const qsizetype neighbour = log.indexOf(u"start Echo [\"vizinho\"]"_s);
    const qsizetype third = log.indexOf(u"start Echo [4]"_s);
    ASSERT_GE(neighbour, 0) << log.join(u"; "_s).toStdString();
    ASSERT_GE(third, 0);
    EXPECT_LT(neighbour, third) << log.join(u"; "_s).toStdString();
}

TEST(RpcServer, ClosesConnectionsThatDoNotAuthenticateInTime)
{
    RpcServerOptions options = serverOptions();
    options.authenticateTimeoutMs = 300;
    ServerThread server(options, testHandler(nullptr));
    ASSERT_TRUE(server.listening());

    RawConnection member(server.port());
    ASSERT_TRUE(member.authenticate());
    RawConnection silent(server.port()); // says nothing at all
    RawConnection caller(server.port()); // calls without authenticating
    caller.sendRequest(1, u"Echo"_s, QJsonArray());
    const std::optional<QJsonObject> refused = caller.readMessage();
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->value(u"error"_s).toObject().value(u"code"_s).toInt(), RpcNotAuthenticated);

    for (RawConnection *late : {&silent, &caller}) {
        const std::optional<QJsonObject> reply = late->readMessage();
        ASSERT_TRUE(reply.has_value());
        EXPECT_EQ(*reply,
                  object(R"({"jsonrpc":"2.0","id":null,"error":{"code":-32001,)"
                         R"("message":"Tempo esgotado aguardando a autenticação."}})"));
        EXPECT_TRUE(late->waitClosed());
    }
    // Well past its own deadline, the authenticated connection is still served.
    QThread::msleep(2 * options.authenticateTimeoutMs);
    member.sendRequest(2, u"Echo"_s, QJsonArray{u"ainda aqui"_s});
    const std::optional<QJsonObject> answer = member.readMessage();
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer,
              object(R"({"jsonrpc":"2.0","id":2,"result":{"ok":true,"data":["ainda aqui"]}})"));
}

// The keep-alive setting of each connected socket of this process whose own port is
// `port`: the server's ends of its connections.
QList<int> keepAliveOfConnectionsOn(quint16 port)
{
    QList<int> found;
    for (int fd = 0; fd < 4096; ++fd) {
        sockaddr_storage address = {};
        socklen_t length = sizeof(address);
        if (::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0
            || address.ss_family != AF_INET)
            continue;
        if (ntohs(reinterpret_cast<const sockaddr_in &>(address).sin_port) != port)
            continue;
        int listening = 0;
        socklen_t size = sizeof(listening);
        if (::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) != 0 || listening)
            continue;
        int keepAlive = 0;
        size = sizeof(keepAlive);
        ::getsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &keepAlive, &size);
        found.append(keepAlive);
    }
    return found;
}

// A workstation that vanishes without closing (power cut, network gone) sends nothing
// more, and an authenticated connection has no deadline: only the system's keep-alive
// probes can tell the server that the peer is gone, so its socket is not held for ever.
TEST(RpcServer, HasTheSystemProbeConnectionsForVanishedPeers)
{
    ServerThread server(serverOptions(), testHandler(nullptr));
    ASSERT_TRUE(server.listening());
    RawConnection member(server.port());
    ASSERT_TRUE(member.authenticate());
    EXPECT_EQ(keepAliveOfConnectionsOn(server.port()), QList<int>{1});
}

// The number of calls the server has finished, once it has stopped finishing more.
qsizetype callsOnceSettled(const ServerThread &server)
{
    qsizetype last = -1;
    for (int quiet = 0; quiet < 10;) {
        QThread::msleep(50);
        const qsizetype now = server.finishedCalls().size();
        quiet = now == last ? quiet + 1 : 0;
        last = now;
    }
    return last;
}

// A peer that sends calls without reading their answers: the server stops taking its
// calls while a few megabytes of answers wait for it, instead of holding them all in
// memory; once the peer reads, every call is answered, in order.
TEST(RpcServer, WaitsForAPeerThatDoesNotTakeItsAnswers)
{
    ServerThread server(serverOptions(), testHandler(nullptr));
    ASSERT_TRUE(server.listening());
    RawConnection peer(server.port(), 64 * 1024);
    ASSERT_TRUE(peer.authenticate());
    constexpr int Calls = 200;
    constexpr int AnswerBytes = 200 * 1024; // 40 MB of answers in all
    for (int id = 1; id <= Calls; ++id)
        peer.sendRequest(id, u"RawBig"_s, QJsonArray{AnswerBytes});

    // Without the pause the server would take all 200 calls.
    const qsizetype taken = callsOnceSettled(server);
    EXPECT_LT(taken, Calls / 2);

    for (int id = 1; id <= Calls; ++id) {
        const std::optional<QJsonObject> answer = peer.readMessage();
        ASSERT_TRUE(answer.has_value()) << "answer " << id;
        EXPECT_EQ(answer->value(u"id"_s).toInt(), id);
        EXPECT_EQ(answer->value(u"result"_s)[u"data"_s].toString().size(), AnswerBytes);
    }
    EXPECT_EQ(server.finishedCalls().size(), Calls);
}

TEST(RpcServer, TakesLargeMessagesOnlyOnceAuthenticated)
{
    ServerThread server(serverOptions(), testHandler(nullptr));
    ASSERT_TRUE(server.listening());
    const QString large(100 * 1024, u'x');

    RawConnection stranger(server.port());
    stranger.sendRequest(1, u"Echo"_s, QJsonArray{large});
    const std::optional<QJsonObject> refused = stranger.readMessage();
    ASSERT_TRUE(refused.has_value());
    const QJsonObject error = refused->value(u"error"_s).toObject();
    EXPECT_EQ(error.value(u"code"_s).toInt(), RpcInvalidRequest);
    EXPECT_EQ(error.value(u"message"_s).toString(),
              u"Mensagem maior que o limite de 65536 bytes."_s);
    EXPECT_TRUE(stranger.waitClosed());

    RawConnection member(server.port());
    ASSERT_TRUE(member.authenticate());
    member.sendRequest(2, u"Echo"_s, QJsonArray{large});
    const std::optional<QJsonObject> answer = member.readMessage();
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->value(u"result"_s).toObject().value(u"data"_s).toArray(), QJsonArray{large});
}

TEST(RpcServer, HoldsABurstOfConnectionsUntilItCanAcceptThem)
{
    ServerThread server(serverOptions(), testHandler(nullptr));
    ASSERT_TRUE(server.listening());
    // The server's thread is kept busy while the burst arrives: the kernel alone must
    // hold the connections for it.
    QSemaphore busy, release;
    server.postToServer([&] {
        busy.release();
        release.tryAcquire(1, 30000);
    });
    ASSERT_TRUE(busy.tryAcquire(1, 10000));

    constexpr int Burst = 120;
    std::vector<std::unique_ptr<QTcpSocket>> burst;
    for (int i = 0; i < Burst; ++i) {
        burst.push_back(std::make_unique<QTcpSocket>());
        burst.back()->connectToHost(u"127.0.0.1"_s, server.port());
    }
    const QDeadlineTimer deadline(5000); // a refused one would retry only after a second
    int connected = 0;
    for (const auto &socket : burst) {
        if (socket->waitForConnected(int(qMax<qint64>(0, deadline.remainingTime()))))
            ++connected;
    }
    release.release();
    EXPECT_EQ(connected, Burst);

    RpcClient late;
    late.setOptions(clientOptions(server.port()));
    EXPECT_EQ(late.call(u"Echo"_s, {u"depois"_s}), object(R"({"ok":true,"data":["depois"]})"));
}

TEST(RpcServer, ShutdownAnswersTheCallInFlightThenCloses)
{
    Gate gate;
    ServerThread server(serverOptions(), testHandler(&gate));
    ASSERT_TRUE(server.listening());

    RawConnection raw(server.port());
    ASSERT_TRUE(raw.authenticate());
    raw.sendRequest(9, u"Block"_s, QJsonArray());
    ASSERT_TRUE(gate.entered.tryAcquire(1, 10000));

    QSemaphore shuttingDown;
    server.postToServer([&] {
        shuttingDown.release();
        server.server()->shutdown();
    });
    ASSERT_TRUE(shuttingDown.tryAcquire(1, 10000));
    gate.release.release();

    const std::optional<QJsonObject> reply = raw.readMessage();
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(*reply, object(R"({"jsonrpc":"2.0","id":9,"result":{"ok":true,"data":"liberado"}})"));
    EXPECT_TRUE(raw.waitClosed());

    RpcClient late;
    late.setOptions(clientOptions(server.port()));
    EXPECT_THROW(late.open(), Exception);
    ASSERT_EQ(server.finishedCalls().size(), 1);
    EXPECT_TRUE(server.finishedCalls().first().ok);
}

TEST(RpcServer, RefusesToListenWithoutAUsableSetup)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(u"nao-existe.pem"_s);
    RpcServer holder(serverOptions(), testHandler(nullptr));
    ASSERT_TRUE(holder.listen());

    const struct
    {
        const char *name;
        std::function<void(RpcServerOptions &)> change;
        QString message; // the start of the refusal
    } cases[] = {
        {"no token", [](RpcServerOptions &o) { o.token.clear(); },
         u"O token de acesso do servidor de aplicação não foi configurado."_s},
        {"bad address", [](RpcServerOptions &o) { o.listenHost = u"nao.um.endereco"_s; },
         u"Endereço de escuta inválido: nao.um.endereco."_s},
        {"port taken", [&](RpcServerOptions &o) { o.port = holder.port(); },
         u"Não foi possível escutar em 127.0.0.1:%1: a porta já está em uso."_s.arg(holder.port())},
        {"address of another machine",
         [](RpcServerOptions &o) {
             o.listenHost = u"192.0.2.1"_s; // a documentation address, no machine's own
             o.port = 0;
         },
         u"Não foi possível escutar em 192.0.2.1:0: o endereço não pertence a esta máquina."_s},
        {"certificate without key", [&](RpcServerOptions &o) { o.tlsCertificate = missing; },
         u"Para usar TLS informe o certificado e a chave privada."_s},
        {"missing certificate",
         [&](RpcServerOptions &o) {
             o.tlsCertificate = missing;
             o.tlsKey = missing;
         },
         u"Não foi possível ler o certificado TLS em %1."_s.arg(missing)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        RpcServerOptions options = serverOptions();
        c.change(options);
        RpcServer server(options, testHandler(nullptr));
        QString error;
        EXPECT_FALSE(server.listen(&error));
        EXPECT_TRUE(error.startsWith(c.message)) << error.toStdString();
    }
}

TEST(RpcServer, WrongClientTokenIsRefusedByOpen)
{
    ServerThread server(serverOptions(), testHandler(nullptr));
    ASSERT_TRUE(server.listening());
    RpcClient client;
    RpcClientOptions options = clientOptions(server.port());
    options.token = u"outro-token"_s;
    client.setOptions(options);
    EXPECT_EQ(callFailure(client, u"Echo"_s, {}), u"Token de acesso inválido."_s);
    EXPECT_FALSE(client.isOpen());
    EXPECT_TRUE(server.finishedCalls().isEmpty());
}

} // namespace

namespace {

struct CallerCase
{
    const char *name;
    bool sendsAnotherRequest; // pipelined behind the running call
    bool closes; // the caller goes away while its call runs
};

class RpcServerCallerWaiting : public testing::TestWithParam<CallerCase>
{
};

} // namespace

// A handler about to store a change asks whether its caller is still there: a caller
// that has closed is gone, whatever it sent before closing.
TEST_P(RpcServerCallerWaiting, TellsAClosedCallerFromOneThatWaits)
{
    const CallerCase c = GetParam();
    QSemaphore entered, release;
    std::atomic<int> seen{-1};
    ServerThread server(serverOptions(), [&](const QString &method, const QJsonArray &) {
        if (method != u"Probe"_s)
            return RpcResult();
        entered.release();
        release.acquire();
        // A close takes a moment to reach the server: a gone caller is given a few
        // seconds to show as gone, a waiting one is asked once.
        const QDeadlineTimer limit(c.closes ? 5000 : 0);
        bool waiting = rpcCallerStillWaiting();
        while (waiting && !limit.hasExpired()) {
            QThread::msleep(2);
            waiting = rpcCallerStillWaiting();
        }
        seen = waiting ? 1 : 0;
        return RpcResult();
    });
    ASSERT_TRUE(server.listening());
    {
        RawConnection raw(server.port());
        ASSERT_TRUE(raw.authenticate());
        raw.sendRequest(1, u"Probe"_s, QJsonArray());
        ASSERT_TRUE(entered.tryAcquire(1, 10000));
        if (c.sendsAnotherRequest)
            raw.sendRequest(2, u"Other"_s, QJsonArray());
        if (!c.closes) {
            release.release();
            EXPECT_TRUE(raw.readMessage().has_value());
        }
    }
    if (c.closes)
        release.release();
    QDeadlineTimer answered(10000);
    while (seen < 0 && !answered.hasExpired())
        QThread::msleep(2);
    EXPECT_EQ(seen, c.closes ? 0 : 1) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Callers, RpcServerCallerWaiting,
    testing::Values(CallerCase{"waits", false, false},
                    CallerCase{"waits with its next request sent", true, false},
                    CallerCase{"closed", false, true},
                    CallerCase{"closed after sending its next request", true, true}),
    [](const testing::TestParamInfo<CallerCase> &info) { return std::to_string(info.index); });
