// TLS as clinics run it: certificates issued by an authority of their own, with an
// intermediate, that expire, are not valid yet, are renewed, or are replaced; a real
// qor-server and a real client, certificates made by openssl for each test.
#include "planfixture.h"

#include "rtl/exceptions.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QSemaphore>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

template <typename F> QString failure(F f)
{
    try {
        f();
    } catch (const Exception &e) {
        return e.Message();
    }
    return {};
}

// A small authority of the test's own: roots, intermediates and server certificates
// with the dates asked for, each as NAME.crt and NAME.key in one folder.
class Authority
{
public:
    Authority()
        : m_openssl(QStandardPaths::findExecutable(u"openssl"_s))
    {
        QFile config(path(u"ca.cnf"_s));
        if (!config.open(QIODevice::WriteOnly))
            return;
        config.write(u"[ca]\ndefault_ca = qor\n"
                     u"[qor]\ndatabase = %1/index.txt\nnew_certs_dir = %1\nserial = %1/serial\n"
                     u"default_md = sha256\npolicy = anything\ncopy_extensions = copy\n"
                     u"unique_subject = no\n"
                     u"[anything]\ncommonName = supplied\n"
                     u"[leaf]\nbasicConstraints = CA:false\n"
                     u"[authority]\nbasicConstraints = critical,CA:true\n"
                     u"keyUsage = critical,keyCertSign,cRLSign\n"_s.arg(m_dir.path())
                         .toUtf8());
        QFile(path(u"index.txt"_s)).open(QIODevice::WriteOnly);
        QFile serial(path(u"serial"_s));
        serial.open(QIODevice::WriteOnly);
        serial.write("1000\n");
    }

    bool available() const { return !m_openssl.isEmpty(); }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString crt(const QString &name) const { return path(name + u".crt"_s); }
    QString key(const QString &name) const { return path(name + u".key"_s); }

    // A self-signed root.
    bool root(const QString &name)
    {
        return run({u"req"_s, u"-x509"_s, u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s,
                    u"ec_paramgen_curve:prime256v1"_s, u"-nodes"_s, u"-days"_s, u"30"_s, u"-subj"_s,
                    u"/CN="_s + name, u"-addext"_s, u"basicConstraints=critical,CA:true"_s,
                    u"-keyout"_s, key(name), u"-out"_s, crt(name)});
    }

    // Signed by `issuer`, valid from `from` to `until`; a server certificate for
    // `address` (an IP), or an authority when address is empty.
    bool issue(const QString &name, const QString &issuer, const QString &address,
               const QDateTime &from, const QDateTime &until)
    {
        QStringList request{u"req"_s,
                            u"-new"_s,
                            u"-newkey"_s,
                            u"ec"_s,
                            u"-pkeyopt"_s,
                            u"ec_paramgen_curve:prime256v1"_s,
                            u"-nodes"_s,
                            u"-subj"_s,
                            u"/CN="_s + (address.isEmpty() ? name : address),
                            u"-keyout"_s,
                            key(name),
                            u"-out"_s,
                            path(name + u".csr"_s)};
        if (!address.isEmpty())
            request << u"-addext"_s << u"subjectAltName=IP:"_s + address;
        const auto date = [](const QDateTime &when) {
            return when.toUTC().toString(u"yyyyMMddHHmmss'Z'"_s);
        };
        return run(request)
            && run({u"ca"_s, u"-batch"_s, u"-notext"_s, u"-config"_s, path(u"ca.cnf"_s), u"-cert"_s,
                    crt(issuer), u"-keyfile"_s, key(issuer), u"-extensions"_s,
                    address.isEmpty() ? u"authority"_s : u"leaf"_s, u"-startdate"_s, date(from),
                    u"-enddate"_s, date(until), u"-in"_s, path(name + u".csr"_s), u"-out"_s,
                    crt(name)});
    }

    bool run(const QStringList &arguments)
    {
        QProcess process;
        process.start(m_openssl, arguments);
        return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
    }

    // The files' contents one after another in a new file.
    QString concatenate(const QString &name, const QStringList &files) const
    {
        QFile out(path(name));
        out.open(QIODevice::WriteOnly);
        for (const QString &file : files) {
            QFile in(file);
            in.open(QIODevice::ReadOnly);
            out.write(in.readAll());
        }
        return out.fileName();
    }

private:
    QTemporaryDir m_dir;
    QString m_openssl;
};

QDateTime daysFromNow(int days)
{
    return QDateTime::currentDateTimeUtc().addDays(days);
}

// A TLS peer on a thread of its own presenting `certificate`, for certificates a
// qor-server would not start with; it holds its connections and never answers.
class TlsPeer
{
public:
    TlsPeer(const QString &certificate, const QString &key)
    {
        QFile crt(certificate), pem(key);
        crt.open(QIODevice::ReadOnly);
        pem.open(QIODevice::ReadOnly);
        m_configuration = QSslConfiguration::defaultConfiguration();
        m_configuration.setLocalCertificateChain(QSslCertificate::fromData(crt.readAll()));
        m_configuration.setPrivateKey(QSslKey(pem.readAll(), QSsl::Ec));
        m_server.moveToThread(&m_thread);
        m_thread.start();
        QMetaObject::invokeMethod(
            &m_server,
            [this] {
                m_server.listen(QHostAddress::LocalHost);
                m_port = m_server.serverPort();
            },
            Qt::BlockingQueuedConnection);
    }
    ~TlsPeer()
    {
        QMetaObject::invokeMethod(
            &m_server,
            [this] {
                m_server.close();
                qDeleteAll(m_server.findChildren<QSslSocket *>());
            },
            Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    quint16 port() const { return m_port; }

private:
    class Server : public QTcpServer
    {
    public:
        explicit Server(TlsPeer &peer)
            : m_peer(peer)
        { }

    protected:
        void incomingConnection(qintptr descriptor) override
        {
            auto *socket = new QSslSocket(this);
            socket->setSocketDescriptor(descriptor);
            socket->setSslConfiguration(m_peer.m_configuration);
            socket->startServerEncryption();
        }

    private:
        TlsPeer &m_peer;
    };

    QSslConfiguration m_configuration;
    QThread m_thread;
    Server m_server{*this};
    quint16 m_port = 0;
};

// Under the root "raiz": an intermediate, the server's certificate issued by it, one
// that has expired ("vencido") and one not valid yet ("futuro"); *chain names the
// server's chain file (its certificate, then the intermediate).
bool issueServerCertificates(Authority &ca, QString *chain)
{
    if (!ca.issue(u"intermediaria"_s, u"raiz"_s, {}, daysFromNow(-1), daysFromNow(20))
        || !ca.issue(u"servidor"_s, u"intermediaria"_s, u"127.0.0.1"_s, daysFromNow(-1),
                     daysFromNow(10))
        || !ca.issue(u"vencido"_s, u"raiz"_s, u"127.0.0.1"_s, daysFromNow(-20), daysFromNow(-2))
        || !ca.issue(u"futuro"_s, u"raiz"_s, u"127.0.0.1"_s, daysFromNow(3), daysFromNow(20)))
        return false;
    *chain = ca.concatenate(u"cadeia.pem"_s, {ca.crt(u"servidor"_s), ca.crt(u"intermediaria"_s)});
    return true;
}

struct StartCase
{
    const char *name;
    QString certificate; // a name of the authority's, or a path
    QString key;
    QString refusal; // empty: it starts; else in its log when it refuses
};

TEST(TlsOperation, ServerStartsOnlyWithCertificatesItCanServeWith)
{
    Authority ca;
    if (!ca.available())
        GTEST_SKIP() << "openssl is not installed";
    ASSERT_TRUE(ca.root(u"raiz"_s));
    QString chain;
    ASSERT_TRUE(issueServerCertificates(ca, &chain));
    // As chains with an expired cross-signed authority are: clients take another path.
    const QString chainWithExpired =
        ca.concatenate(u"cadeia-vencida.pem"_s,
                       {ca.crt(u"servidor"_s), ca.crt(u"intermediaria"_s), ca.crt(u"vencido"_s)});
    ASSERT_TRUE(ca.run({u"ec"_s, u"-in"_s, ca.key(u"servidor"_s), u"-aes256"_s, u"-passout"_s,
                        u"pass:segredo"_s, u"-out"_s, ca.path(u"cifrada.key"_s)}));
    ASSERT_TRUE(ca.run({u"x509"_s, u"-in"_s, ca.crt(u"servidor"_s), u"-outform"_s, u"DER"_s,
                        u"-out"_s, ca.path(u"servidor.der"_s)}));
    // Named pipes: nothing ever writes to them.
    ASSERT_EQ(::mkfifo(QFile::encodeName(ca.path(u"tubo.crt"_s)).constData(), 0600), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(ca.path(u"tubo.key"_s)).constData(), 0600), 0);

    const QList<StartCase> cases{
        {"certificate with its intermediate", chain, ca.key(u"servidor"_s), {}},
        {"chain carrying an expired certificate after its own",
         chainWithExpired,
         ca.key(u"servidor"_s),
         {}},
        {"expired certificate", ca.crt(u"vencido"_s), ca.key(u"vencido"_s),
         u"O certificado TLS em %1 expirou em "_s.arg(ca.crt(u"vencido"_s))},
        {"certificate not valid yet", ca.crt(u"futuro"_s), ca.key(u"futuro"_s),
         u"O certificado TLS em %1 ainda não é válido: vale a partir de "_s.arg(
             ca.crt(u"futuro"_s))},
        {"encrypted key", chain, ca.path(u"cifrada.key"_s),
         u"Não foi possível ler a chave privada TLS em %1."_s.arg(ca.path(u"cifrada.key"_s))},
        {"certificate in DER", ca.path(u"servidor.der"_s), ca.key(u"servidor"_s),
         u"Não foi possível ler o certificado TLS em %1."_s.arg(ca.path(u"servidor.der"_s))},
        {"certificate that is a named pipe", ca.path(u"tubo.crt"_s), ca.key(u"servidor"_s),
         u"Não foi possível ler o certificado TLS em %1."_s.arg(ca.path(u"tubo.crt"_s))},
        {"key that is a named pipe", chain, ca.path(u"tubo.key"_s),
         u"Não foi possível ler a chave privada TLS em %1."_s.arg(ca.path(u"tubo.key"_s))},
    };
    for (const StartCase &c : cases) {
        SCOPED_TRACE(c.name);
        ServerProcess::Options options;
        options.extraArguments = {u"--tls-cert"_s, c.certificate, u"--tls-key"_s, c.key};
        ServerProcess server(options);
        QString error;
        const bool started = server.start(&error);
        if (c.refusal.isEmpty()) {
            ASSERT_TRUE(started) << error.toStdString();
            // The workstation trusts the root alone; the server sends the intermediate.
            RpcClientOptions client = server.clientOptions();
            client.tls = true;
            client.caCertificate = ca.crt(u"raiz"_s);
            RpcClient rpc;
            rpc.setOptions(client);
            EXPECT_EQ(outcome(rpc.call(u"GetPaciente"_s, {Branch, Maria})), "ok");
        } else {
            EXPECT_FALSE(started);
            EXPECT_TRUE(error.contains(c.refusal)) << error.toStdString();
            EXPECT_FALSE(server.isRunning());
        }
    }
}

struct ClientCase
{
    const char *name;
    quint16 port;
    QString host;
    QString caFile; // empty: the system's authorities
    QString failure; // empty: it connects; else the message's end, after "HOST:PORT"
};

TEST(TlsOperation, ClientNamesTheCertificateProblemAndConnectsOnceFixed)
{
    Authority ca;
    if (!ca.available())
        GTEST_SKIP() << "openssl is not installed";
    ASSERT_TRUE(ca.root(u"raiz"_s));
    ASSERT_TRUE(ca.root(u"outra"_s));
    QString chain;
    ASSERT_TRUE(issueServerCertificates(ca, &chain));
    const QString both = ca.concatenate(u"ambas.pem"_s, {ca.crt(u"outra"_s), ca.crt(u"raiz"_s)});
    ASSERT_EQ(::mkfifo(QFile::encodeName(ca.path(u"tubo.pem"_s)).constData(), 0600), 0);

    ServerProcess::Options options;
    options.extraArguments = {u"--tls-cert"_s, chain, u"--tls-key"_s, ca.key(u"servidor"_s)};
    ServerProcess server(options);
    QString error;
    ASSERT_TRUE(server.start(&error)) << error.toStdString();
    TlsPeer expired(ca.crt(u"vencido"_s), ca.key(u"vencido"_s));
    TlsPeer early(ca.crt(u"futuro"_s), ca.key(u"futuro"_s));
    const QString ip = u"127.0.0.1"_s;

    const QList<ClientCase> cases{
        {"the root that issued it", server.port(), ip, ca.crt(u"raiz"_s), {}},
        {"a file with several authorities", server.port(), ip, both, {}},
        {"another authority", server.port(), ip, ca.crt(u"outra"_s),
         u"o certificado do servidor não é confiável."_s},
        {"no file: the system's authorities",
         server.port(),
         ip,
         {},
         u"o certificado do servidor não é confiável."_s},
        {"another name", server.port(), u"localhost"_s, ca.crt(u"raiz"_s),
         u"o certificado do servidor não corresponde ao endereço localhost."_s},
        {"expired", expired.port(), ip, ca.crt(u"raiz"_s), u"o certificado do servidor expirou."_s},
        {"not valid yet", early.port(), ip, ca.crt(u"raiz"_s),
         u"o certificado do servidor ainda não é válido."_s},
    };
    for (const ClientCase &c : cases) {
        SCOPED_TRACE(c.name);
        RpcClientOptions settings = server.clientOptions();
        settings.host = c.host;
        settings.port = c.port;
        settings.tls = true;
        settings.caCertificate = c.caFile;
        RpcClient client;
        client.setOptions(settings);
        if (c.failure.isEmpty()) {
            EXPECT_EQ(outcome(client.call(u"GetPaciente"_s, {Branch, Maria})), "ok");
            continue;
        }
        EXPECT_EQ(failure([&] { client.open(); }),
                  u"Não foi possível conectar ao servidor de aplicação em %1:%2: %3"_s.arg(
                      c.host, QString::number(c.port), c.failure));
        EXPECT_FALSE(client.isOpen());
        // The same client, its settings fixed, connects on its next attempt.
        settings.host = ip;
        settings.port = server.port();
        settings.caCertificate = ca.crt(u"raiz"_s);
        client.setOptions(settings);
        EXPECT_EQ(outcome(client.call(u"GetPaciente"_s, {Branch, Maria})), "ok");
    }

    // A trusted-certificate file that is a named pipe is said, not waited on for good.
    RpcClientOptions settings = server.clientOptions();
    settings.tls = true;
    settings.caCertificate = ca.path(u"tubo.pem"_s);
    RpcClient client;
    client.setOptions(settings);
    EXPECT_EQ(failure([&] { client.open(); }),
              u"Não foi possível ler o certificado confiável do servidor de aplicação em %1."_s.arg(
                  settings.caCertificate));
}

} // namespace
} // namespace qor::testing

namespace qor::testing {
namespace {

// A peer that takes one connection and answers the handshake with `reply`, then holds
// the connection open and says nothing more.
class GarbagePeer
{
public:
    explicit GarbagePeer(QByteArray reply)
    {
        m_listening = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        ::bind(m_listening, reinterpret_cast<sockaddr *>(&address), length);
        ::listen(m_listening, 4);
        ::getsockname(m_listening, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this, reply] {
            const int peer = ::accept(m_listening, nullptr, nullptr);
            if (peer < 0)
                return;
            char hello[512];
            [[maybe_unused]] const ssize_t got = ::read(peer, hello, sizeof(hello));
            [[maybe_unused]] const ssize_t sent = ::write(peer, reply.constData(), reply.size());
            m_done.acquire();
            ::close(peer);
        });
    }
    ~GarbagePeer()
    {
        ::shutdown(m_listening, SHUT_RDWR); // ends an accept still waiting
        m_done.release();
        m_thread.join();
        ::close(m_listening);
    }
    quint16 port() const { return m_port; }

private:
    int m_listening = -1;
    quint16 m_port = 0;
    QSemaphore m_done;
    std::thread m_thread;
};

TEST(TlsOperation, StalledOrGarbledHandshakesEndAndOthersAreServed)
{
    Authority ca;
    if (!ca.available())
        GTEST_SKIP() << "openssl is not installed";
    ASSERT_TRUE(ca.root(u"raiz"_s));
    ASSERT_TRUE(
        ca.issue(u"servidor"_s, u"raiz"_s, u"127.0.0.1"_s, daysFromNow(-1), daysFromNow(10)));
    ServerProcess::Options options;
    options.extraArguments = {u"--tls-cert"_s, ca.crt(u"servidor"_s), u"--tls-key"_s,
                              ca.key(u"servidor"_s)};
    ServerProcess server(options);
    QString error;
    ASSERT_TRUE(server.start(&error)) << error.toStdString();
    RpcClientOptions settings = server.clientOptions();
    settings.tls = true;
    settings.caCertificate = ca.crt(u"raiz"_s);

    // A peer that starts a handshake and stops halfway holds only its own connection.
    QTcpSocket stalled;
    stalled.connectToHost(server.host(), server.port());
    ASSERT_TRUE(stalled.waitForConnected(30000));
    stalled.write(QByteArray::fromHex("160301"));
    ASSERT_TRUE(stalled.waitForBytesWritten(30000));
    RpcClient client;
    client.setOptions(settings);
    EXPECT_EQ(outcome(client.call(u"GetPaciente"_s, {Branch, Maria})), "ok");
    // ...and is let go once the time to authenticate has passed.
    EXPECT_TRUE(stalled.state() == QAbstractSocket::UnconnectedState
                || stalled.waitForDisconnected(60000));
    EXPECT_EQ(outcome(client.call(u"GetPaciente"_s, {Branch, Joao})), "ok");

    // Asked to stop, the server does not wait on a handshake that will never end.
    QTcpSocket halfway;
    halfway.connectToHost(server.host(), server.port());
    ASSERT_TRUE(halfway.waitForConnected(30000));
    halfway.write(QByteArray::fromHex("160301"));
    ASSERT_TRUE(halfway.waitForBytesWritten(30000));
    client.close();
    EXPECT_EQ(server.stop(), 0) << server.log().toStdString();
    EXPECT_TRUE(server.log().contains(u"qor-server: encerrado"_s)) << server.log().toStdString();

    // Garbage where the server's hello should be is a failed negotiation, said at once.
    const struct
    {
        const char *name;
        QByteArray reply;
    } garbage[] = {
        {"text", "HTTP/1.1 400 Bad Request\r\n\r\n"},
        {"a TLS alert", QByteArray::fromHex("15030300020228")},
    };
    for (const auto &g : garbage) {
        SCOPED_TRACE(g.name);
        GarbagePeer peer(g.reply);
        RpcClientOptions o = settings;
        o.port = peer.port();
        RpcClient rpc;
        rpc.setOptions(o);
        EXPECT_EQ(failure([&] { rpc.open(); }),
                  u"Não foi possível conectar ao servidor de aplicação em 127.0.0.1:%1: falha na "
                  u"negociação TLS."_s.arg(peer.port()));
    }
}

// The server reads its certificate when it starts: one renewed on disk is served from
// the next start on, and the clients that trust the new one connect then.
TEST(TlsOperation, RenewedCertificateIsServedAfterARestart)
{
    Authority ca;
    if (!ca.available())
        GTEST_SKIP() << "openssl is not installed";
    ASSERT_TRUE(ca.root(u"antiga"_s));
    ASSERT_TRUE(ca.root(u"nova"_s));
    ASSERT_TRUE(ca.issue(u"v1"_s, u"antiga"_s, u"127.0.0.1"_s, daysFromNow(-1), daysFromNow(10)));
    ASSERT_TRUE(ca.issue(u"v2"_s, u"nova"_s, u"127.0.0.1"_s, daysFromNow(-1), daysFromNow(10)));
    const QString crt = ca.path(u"em-uso.crt"_s), key = ca.path(u"em-uso.key"_s);
    ca.concatenate(u"em-uso.crt"_s, {ca.crt(u"v1"_s)});
    ca.concatenate(u"em-uso.key"_s, {ca.key(u"v1"_s)});
    ServerProcess::Options options;
    options.extraArguments = {u"--tls-cert"_s, crt, u"--tls-key"_s, key};
    ServerProcess server(options);
    QString error;
    ASSERT_TRUE(server.start(&error)) << error.toStdString();

    const auto connectTrusting = [&](const QString &root) {
        RpcClientOptions settings = server.clientOptions();
        settings.tls = true;
        settings.caCertificate = ca.crt(root);
        RpcClient client;
        client.setOptions(settings);
        return failure([&] { client.open(); });
    };
    const QString untrusted =
        u"Não foi possível conectar ao servidor de aplicação em 127.0.0.1:%1: o "
        u"certificado do servidor não é confiável."_s.arg(server.port());
    EXPECT_EQ(connectTrusting(u"antiga"_s), QString());

    ca.concatenate(u"em-uso.crt"_s, {ca.crt(u"v2"_s)});
    ca.concatenate(u"em-uso.key"_s, {ca.key(u"v2"_s)});
    // Until it restarts, the running server keeps serving what it read at start.
    EXPECT_EQ(connectTrusting(u"antiga"_s), QString());
    EXPECT_EQ(server.stop(), 0);
    ASSERT_TRUE(server.start(&error)) << error.toStdString();
    EXPECT_EQ(connectTrusting(u"nova"_s), QString());
    EXPECT_EQ(connectTrusting(u"antiga"_s), untrusted);
}

} // namespace
} // namespace qor::testing

namespace qor::testing {
namespace {

TEST(TlsOperation, WarnsWhenOthersCanReadTheKey)
{
    Authority ca;
    if (!ca.available())
        GTEST_SKIP() << "openssl is not installed";
    ASSERT_TRUE(ca.root(u"raiz"_s));
    ASSERT_TRUE(
        ca.issue(u"servidor"_s, u"raiz"_s, u"127.0.0.1"_s, daysFromNow(-1), daysFromNow(10)));
    const QString key = ca.key(u"servidor"_s);
    const QString warning =
        u"A chave privada TLS em %1 pode ser lida ou alterada por outros usuários"_s.arg(key);

    const struct
    {
        const char *name;
        QFileDevice::Permissions mode;
        bool warned;
    } cases[] = {
        {"owner only", QFileDevice::ReadOwner | QFileDevice::WriteOwner, false},
        {"owner and the service's group",
         QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup, false},
        {"everyone may read",
         QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
             | QFileDevice::ReadOther,
         true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(QFile::setPermissions(key, c.mode));
        ServerProcess::Options options;
        options.extraArguments = {u"--tls-cert"_s, ca.crt(u"servidor"_s), u"--tls-key"_s, key};
        ServerProcess server(options);
        QString error;
        ASSERT_TRUE(server.start(&error)) << error.toStdString();
        EXPECT_EQ(server.log().contains(warning), c.warned) << server.log().toStdString();
    }
}

} // namespace
} // namespace qor::testing
