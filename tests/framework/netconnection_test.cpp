// TNetConnection against a real JSON-RPC server on loopback (its own thread, so the
// blocking client and the server's socket I/O do not wait on each other).
#include "framework/netconnection.h"

#include "framework/consiste.h"
#include "framework/velmora.h"
#include "remote/rpcclient.h"
#include "remote/rpcserver.h"
#include "rtl/exceptions.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace qor;

namespace {

const QString kToken = u"token-de-teste-123"_s;

// A plan-service stand-in: echoes the method and its params.
class ServerThread : public QThread
{
public:
    explicit ServerThread(quint16 port = 0, QString token = kToken)
        : m_port(port)
        , m_token(std::move(token))
    { }
    ~ServerThread() override { stop(); }

    quint16 startServer()
    {
        start();
        m_ready.acquire();
        return m_port;
    }
    void stop()
    {
        if (!isRunning())
            return;
        quit();
        wait();
    }

    std::atomic<int> calls{0};

protected:
    void run() override
    {
        RpcServerOptions options;
        options.listenHost = u"127.0.0.1"_s;
        options.port = m_port;
        options.token = m_token;
        options.workers = 1;
        RpcServer server(options, [this](const QString &method, const QJsonArray &params) {
            ++calls;
            if (method == "Falha"_L1)
                throw RpcError{RpcDuplicate, u"Exercício físico já cadastrado."_s};
            return QJsonValue(QJsonObject{{u"method"_s, method}, {u"params"_s, params}});
        });
        QString error;
        const bool listening = server.listen(&error);
        m_port = listening ? server.port() : 0;
        m_ready.release();
        if (listening)
            exec();
        server.shutdown();
    }

private:
    quint16 m_port;
    QString m_token;
    QSemaphore m_ready;
};

class NetConnectionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        qputenv("QOR_SETTINGS", dir.filePath(u"qor-host.ini"_s).toUtf8());
        port = server.startServer();
        ASSERT_NE(port, 0);
        HostSettings settings;
        settings.host = u"127.0.0.1"_s;
        settings.port = port;
        settings.token = kToken;
        settings.connectTimeoutMs = 3000;
        settings.callTimeoutMs = 10000;
        ASSERT_TRUE(WriteHostSettings(settings));
        // As the screen binds it: host and port from the settings before each attempt.
        net.BeforeConnect = [this](QObject *sender) {
            EXPECT_EQ(sender, &net);
            ++beforeConnect;
            net.Host = WebURL();
            net.Port = WebPort();
        };
        QObject::connect(net.Client(), &RpcClient::callStarted, &net,
                         [this](const QString &method) { methods.append(method); });
    }
    void TearDown() override { qunsetenv("QOR_SETTINGS"); }

    QTemporaryDir dir;
    ServerThread server;
    quint16 port = 0;
    TNetConnection net;
    int beforeConnect = 0;
    QStringList methods;
};

TEST_F(NetConnectionTest, OpensWithTheSettingsAndCallsByName)
{
    EXPECT_EQ(net.Host, u"127.0.0.1"_s);
    EXPECT_FALSE(net.ThrowException);
    EXPECT_FALSE(net.Connected());
    net.SetConnected(true);
    EXPECT_TRUE(net.Connected());
    EXPECT_EQ(beforeConnect, 1);
    net.Open(); // already open: no second attempt
    EXPECT_EQ(beforeConnect, 1);

    const QJsonArray params{u"0001"_s, u"2024-03-01T00:00:00.000"_s, u"000000000001"_s};
    const QJsonValue data = CheckResultServ(net.AppServer()->Call(u"GetPlaneja"_s, params));
    EXPECT_EQ(data[u"method"_s].toString(), u"GetPlaneja"_s);
    EXPECT_EQ(data[u"params"_s].toArray(), params);
    EXPECT_EQ(methods, QStringList{u"GetPlaneja"_s});
}

TEST_F(NetConnectionTest, AServerRefusalIsAResultNotALostLink)
{
    const QJsonObject raw = net.AppServer()->Call(u"Falha"_s, {});
    EXPECT_TRUE(net.Connected());
    try {
        CheckResultServ(raw, true, 0);
        FAIL() << "no exception";
    } catch (const Exception &e) {
        EXPECT_EQ(e.Message(), u"Exercício físico já cadastrado."_s);
    }
    EXPECT_EQ(beforeConnect, 1);
}

TEST_F(NetConnectionTest, ACallOnAClosedConnectionOpensIt)
{
    EXPECT_FALSE(net.Connected());
    net.AppServer()->Call(u"GetPaciente"_s, {u"0001"_s, u"000000000001"_s});
    EXPECT_TRUE(net.Connected());
    EXPECT_EQ(beforeConnect, 1);
    net.Close();
    EXPECT_FALSE(net.Connected());
    net.Close(); // harmless
}

TEST_F(NetConnectionTest, AFileRewrittenWhileOpeningIsTakenWholeAtTheNextOpening)
{
    const QString otherToken = u"token-de-outra-instalacao"_s;
    ServerThread other(0, otherToken);
    const quint16 otherPort = other.startServer();
    ASSERT_NE(otherPort, 0);
    // Another program rewrites the file for the other installation just after the
    // opening has read the host and port.
    const auto screenBinding = net.BeforeConnect;
    net.BeforeConnect = [&](QObject *sender) {
        screenBinding(sender);
        QFile file(dir.filePath(u"qor-host.ini"_s));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(u"[server]\nhost=127.0.0.1\nport=%1\ntoken=%2\n"_s
                       .arg(QString::number(otherPort), otherToken)
                       .toUtf8());
    };
    net.Open(); // with the settings as they were when it began
    EXPECT_EQ(net.Port, port);
    CheckResultServ(net.AppServer()->Call(u"GetPeso"_s, {}));
    EXPECT_EQ(server.calls.load(), 1);

    net.Close();
    net.BeforeConnect = screenBinding;
    net.Open(); // the change, whole
    EXPECT_EQ(net.Port, otherPort);
    CheckResultServ(net.AppServer()->Call(u"GetPeso"_s, {}));
    EXPECT_EQ(other.calls.load(), 1);
    EXPECT_EQ(server.calls.load(), 1);
}

struct LostLink
{
    const char *name;
    // The event loop ran after the server went, so the socket has seen the link close.
    bool noticedWhileIdle;
    // The first call after the loss raises (the request went out on a dead link).
    bool firstCallRaises;
};

class NetConnectionLostTest : public NetConnectionTest,
                              public ::testing::WithParamInterface<LostLink>
{
};

TEST_P(NetConnectionLostTest, TheNextConnectionTakesHostAndPortFromTheSettings)
{
    const LostLink &c = GetParam();
    net.Open();
    net.AppServer()->Call(u"GetPeso"_s, {});
    server.stop();
    if (c.noticedWhileIdle) {
        // Readiness, not speed: the user is looking at the screen meanwhile.
        for (int i = 0; i < 500 && net.Client()->isOpen(); ++i)
            QTest::qWait(10);
        ASSERT_FALSE(net.Client()->isOpen());
    }

    // The server comes back, on another port: the settings say where.
    ServerThread again;
    const quint16 newPort = again.startServer();
    ASSERT_NE(newPort, 0);
    ASSERT_TRUE(WriteSetting(u"server/port"_s, QString::number(newPort)));
    if (c.firstCallRaises) {
        EXPECT_THROW(net.AppServer()->Call(u"GetPeso"_s, {}), Exception);
        EXPECT_FALSE(net.Connected());
    }
    const QJsonValue data = CheckResultServ(net.AppServer()->Call(u"GetPeso"_s, {}));
    EXPECT_EQ(data[u"method"_s].toString(), u"GetPeso"_s);
    EXPECT_EQ(net.Port, newPort);
    EXPECT_EQ(beforeConnect, 2);
    EXPECT_TRUE(net.Connected());
    EXPECT_EQ(again.calls.load(), 1);
}

INSTANTIATE_TEST_SUITE_P(NetConnection, NetConnectionLostTest,
                         ::testing::Values(LostLink{"lost_during_the_call", false, true},
                                           LostLink{"lost_while_idle", true, false}),
                         [](const auto &info) { return std::string(info.param.name); });

struct OpenFailure
{
    const char *name;
    // Settings written over the good ones, "key=value" each; %DIR% is the test's folder.
    QStringList settings;
    // What the message must say, %DIR% as above.
    QStringList says;
};

class NetConnectionOpenTest : public NetConnectionTest,
                              public ::testing::WithParamInterface<OpenFailure>
{
};

TEST_P(NetConnectionOpenTest, FailureRaisesInPortugueseAndStaysClosed)
{
    const auto inDir = [this](QString text) {
        return text.replace(u"%DIR%"_s, dir.path());
    };
    ASSERT_TRUE(QDir(dir.path()).mkdir(u"pasta"_s)); // a folder where a file is expected
    QFile empty(dir.filePath(u"vazio"_s));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.write("\n");
    empty.close();
    // A named pipe nobody writes to: opening it for reading would wait forever.
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath(u"fila"_s)).constData(), 0600), 0);
    for (const QString &setting : GetParam().settings) {
        const qsizetype equals = setting.indexOf(u'=');
        ASSERT_TRUE(WriteSetting(setting.left(equals), inDir(setting.mid(equals + 1))));
    }
    try {
        net.Open();
        FAIL() << "opened";
    } catch (const EAbort &) {
        FAIL() << "must not be silent";
    } catch (const Exception &e) {
        for (const QString &part : GetParam().says)
            EXPECT_TRUE(e.Message().contains(inDir(part))) << e.Message().toStdString();
    }
    EXPECT_FALSE(net.Connected());
    EXPECT_EQ(server.calls.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    NetConnection, NetConnectionOpenTest,
    ::testing::Values(
        OpenFailure{
            "wrong_token", {u"server/token=outro-token"_s}, {u"Token de acesso inválido"_s}},
        OpenFailure{"nobody_listening",
                    {u"server/port=1"_s},
                    {u"Não foi possível conectar"_s, u"127.0.0.1:1"_s}},
        OpenFailure{"no_token_at_all",
                    {u"server/token="_s},
                    {u"token de acesso"_s, u"não está configurado"_s}},
        OpenFailure{"token_file_missing",
                    {u"server/token="_s, u"server/tokenFile=%DIR%/nao-existe"_s},
                    {u"token de acesso"_s, u"%DIR%/nao-existe"_s, u"não encontrado"_s}},
        OpenFailure{"token_file_unreadable",
                    {u"server/token="_s, u"server/tokenFile=%DIR%/pasta"_s},
                    {u"token de acesso"_s, u"%DIR%/pasta"_s, u"não pode ser lido"_s}},
        OpenFailure{"token_file_empty",
                    {u"server/token="_s, u"server/tokenFile=%DIR%/vazio"_s},
                    {u"token de acesso"_s, u"%DIR%/vazio"_s, u"vazio"_s}},
        OpenFailure{"token_file_a_named_pipe",
                    {u"server/token="_s, u"server/tokenFile=%DIR%/fila"_s},
                    {u"token de acesso"_s, u"%DIR%/fila"_s, u"não pode ser lido"_s}},
        // A port or TLS switch mistyped must not send the token to another port, or in
        // clear: the value is refused, naming the key and the file.
        OpenFailure{"port_not_a_number",
                    {u"server/port=74OO"_s},
                    {u"server/port"_s, u"%DIR%/qor-host.ini"_s, u"74OO"_s}},
        OpenFailure{"port_zero", {u"server/port=0"_s}, {u"server/port"_s, u"%DIR%/qor-host.ini"_s}},
        OpenFailure{"port_negative",
                    {u"server/port=-7400"_s},
                    {u"server/port"_s, u"%DIR%/qor-host.ini"_s, u"-7400"_s}},
        OpenFailure{"port_above_65535",
                    {u"server/port=74000"_s},
                    {u"server/port"_s, u"%DIR%/qor-host.ini"_s, u"74000"_s}},
        OpenFailure{"tls_in_portuguese",
                    {u"server/tls=sim"_s},
                    {u"server/tls"_s, u"%DIR%/qor-host.ini"_s, u"sim"_s}},
        OpenFailure{"tls_misspelt",
                    {u"server/tls=ture"_s},
                    {u"server/tls"_s, u"%DIR%/qor-host.ini"_s, u"ture"_s}}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
