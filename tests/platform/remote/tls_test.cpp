// TLS between client and server with a self-signed certificate made for the test.

#include "remotetestsupport.h"

#include "rtl/exceptions.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace qor;
using namespace qor::test;
using namespace Qt::StringLiterals;

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

// A certificate for 127.0.0.1 signed by its own key.
bool makeCertificate(const QString &openssl, const QTemporaryDir &dir)
{
    QProcess process;
    process.start(openssl,
                  {u"req"_s, u"-x509"_s, u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s,
                   u"ec_paramgen_curve:prime256v1"_s, u"-nodes"_s, u"-days"_s, u"2"_s, u"-subj"_s,
                   u"/CN=127.0.0.1"_s, u"-addext"_s, u"subjectAltName=IP:127.0.0.1"_s, u"-keyout"_s,
                   dir.filePath(u"key.pem"_s), u"-out"_s, dir.filePath(u"cert.pem"_s)});
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

TEST(Tls, RoundTripOnlyWithTheTrustedCertificate)
{
    const QString openssl = QStandardPaths::findExecutable(u"openssl"_s);
    if (openssl.isEmpty())
        GTEST_SKIP() << "openssl is not installed";
    QTemporaryDir dir;
    ASSERT_TRUE(makeCertificate(openssl, dir));
    const QString certificate = dir.filePath(u"cert.pem"_s);

    RpcServerOptions options = serverOptions();
    options.tlsCertificate = certificate;
    options.tlsKey = dir.filePath(u"key.pem"_s);
    ServerThread server(options, testHandler(nullptr));
    ASSERT_TRUE(server.listening()) << server.listenError().toStdString();
    const quint16 port = server.port();
    const QString big(300 * 1024, u'ç');

    const struct
    {
        const char *name;
        std::function<void(RpcClientOptions &)> change;
        QJsonArray params;
        QString failure; // empty: the call succeeds; else the start of the message
    } cases[] = {
        {"trusted certificate",
         [&](RpcClientOptions &o) {
             o.tls = true;
             o.caCertificate = certificate;
         },
         {u"Exercícios"_s},
         {}},
        {"large message over many TLS records",
         [&](RpcClientOptions &o) {
             o.tls = true;
             o.caCertificate = certificate;
         },
         {big},
         {}},
        {"only the system's authorities",
         [](RpcClientOptions &o) { o.tls = true; },
         {},
         u"Não foi possível conectar ao servidor de aplicação em 127.0.0.1:%1: o certificado do servidor não é confiável."_s
             .arg(port)},
        {"certificate for another name",
         [&](RpcClientOptions &o) {
             o.tls = true;
             o.caCertificate = certificate;
             o.host = u"localhost"_s;
         },
         {},
         u"Não foi possível conectar ao servidor de aplicação em localhost:%1: o certificado do servidor não corresponde ao endereço localhost."_s
             .arg(port)},
        {"plain client",
         [](RpcClientOptions &) {},
         {},
         u"Não foi possível conectar ao servidor de aplicação em 127.0.0.1:%1: "_s.arg(port)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        RpcClientOptions clientOpts = clientOptions(port);
        c.change(clientOpts);
        RpcClient client;
        client.setOptions(clientOpts);
        if (c.failure.isEmpty()) {
            const QJsonObject expected{{u"ok"_s, true}, {u"data"_s, c.params}};
            EXPECT_EQ(client.call(u"Echo"_s, c.params), expected);
        } else {
            const QString message = failure([&] { client.open(); });
            EXPECT_TRUE(message.startsWith(c.failure)) << message.toStdString();
            EXPECT_FALSE(client.isOpen());
        }
    }
    // The server kept serving after every refused handshake.
    RpcClientOptions good = clientOptions(port);
    good.tls = true;
    good.caCertificate = certificate;
    RpcClient client;
    client.setOptions(good);
    EXPECT_EQ(client.call(u"Echo"_s, {1}).value(u"ok"_s), true);
}

// A key that belongs to another certificate is refused before the server listens,
// instead of failing every client's handshake later.
TEST(Tls, ServerRefusesAKeyOfAnotherCertificate)
{
    const QString openssl = QStandardPaths::findExecutable(u"openssl"_s);
    if (openssl.isEmpty())
        GTEST_SKIP() << "openssl is not installed";
    QTemporaryDir first, second, rsa;
    ASSERT_TRUE(makeCertificate(openssl, first));
    ASSERT_TRUE(makeCertificate(openssl, second));
    QProcess process;
    process.start(openssl, {u"genrsa"_s, u"-out"_s, rsa.filePath(u"key.pem"_s), u"2048"_s});
    ASSERT_TRUE(process.waitForFinished(60000) && process.exitCode() == 0);

    const struct
    {
        const char *name;
        QString key;
        bool listens;
    } cases[] = {
        {"its own key", first.filePath(u"key.pem"_s), true},
        {"the key of another certificate", second.filePath(u"key.pem"_s), false},
        {"an RSA key for an EC certificate", rsa.filePath(u"key.pem"_s), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        RpcServerOptions options = serverOptions();
        options.tlsCertificate = first.filePath(u"cert.pem"_s);
        options.tlsKey = c.key;
        ServerThread server(options, testHandler(nullptr));
        EXPECT_EQ(server.listening(), c.listens) << server.listenError().toStdString();
        if (!c.listens) {
            EXPECT_TRUE(server.listenError().startsWith(
                u"O certificado TLS em %1 e a chave privada em %2 não funcionam juntos"_s.arg(
                    options.tlsCertificate, c.key)))
                << server.listenError().toStdString();
        }
    }
}

TEST(Tls, ClientRefusesAServerWithoutTls)
{
    ServerThread server(serverOptions(), testHandler(nullptr));
    ASSERT_TRUE(server.listening());
    RpcClientOptions options = clientOptions(server.port());
    options.tls = true;
    RpcClient client;
    client.setOptions(options);
    const QString message = failure([&] { client.open(); });
    EXPECT_TRUE(message.startsWith(
        u"Não foi possível conectar ao servidor de aplicação em 127.0.0.1:%1: "_s.arg(
            server.port())))
        << message.toStdString();
}

} // namespace
