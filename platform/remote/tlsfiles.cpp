#include "tlsfiles.h"

#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTimer>
#include <functional>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

bool readFile(const QString &path, QByteArray *bytes)
{
    // Only a regular file: a named pipe would be waited on for good (a server that never
    // starts and does not even stop on SIGTERM, a workstation that hangs), and a device
    // such as /dev/zero would never end.
    if (!QFileInfo(path).isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *bytes = file.readAll();
    return true;
}

QString utcText(const QDateTime &when)
{
    return when.toUTC().toString(u"dd/MM/yyyy HH:mm 'UTC'"_s);
}

bool fail(QString *error, const QString &message)
{
    *error = message;
    return false;
}

constexpr int SelfHandshakeMs = 5000;

// Takes one connection and starts the server's side of the handshake on it.
class SelfServer : public QTcpServer
{
public:
    SelfServer(const QSslConfiguration &configuration, std::function<void()> encrypted,
               std::function<void(const QString &)> failed)
        : m_configuration(configuration)
        , m_encrypted(std::move(encrypted))
        , m_failed(std::move(failed))
    { }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QSslSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            m_failed(socket->errorString());
            return;
        }
        QObject::connect(socket, &QSslSocket::encrypted, this, m_encrypted);
        QObject::connect(socket, &QAbstractSocket::errorOccurred, this,
                         [this, socket] { m_failed(socket->errorString()); });
        socket->setSslConfiguration(m_configuration);
        socket->startServerEncryption();
    }

private:
    QSslConfiguration m_configuration;
    std::function<void()> m_encrypted;
    std::function<void(const QString &)> m_failed;
};

// Qt finds out whether the key belongs to the certificate only when a handshake starts:
// a wrong pair would let the server start and then fail every client. One handshake
// with itself over loopback, before serving, tells. Empty when it succeeded, or when
// loopback is not there to try it on; else what went wrong.
QString selfHandshakeProblem(const QSslConfiguration &configuration)
{
    QEventLoop loop;
    QString problem;
    int encrypted = 0;
    auto onEncrypted = [&] {
        if (++encrypted == 2)
            loop.quit();
    };
    auto onFailed = [&](const QString &reason) {
        if (problem.isEmpty())
            problem = reason;
        loop.quit();
    };
    SelfServer server(configuration, onEncrypted, onFailed);
    if (!server.listen(QHostAddress::LocalHost, 0))
        return {};
    QSslSocket client;
    client.setPeerVerifyMode(QSslSocket::VerifyNone); // only the server's side is in question
    QObject::connect(&client, &QSslSocket::encrypted, &loop, onEncrypted);
    QObject::connect(&client, &QAbstractSocket::errorOccurred, &loop,
                     [&] { onFailed(client.errorString()); });
    QTimer::singleShot(SelfHandshakeMs, &loop,
                       [&] { onFailed(u"tempo esgotado no teste de conexão"_s); });
    client.connectToHostEncrypted(u"127.0.0.1"_s, server.serverPort());
    loop.exec();
    return encrypted == 2 ? QString() : problem;
}

} // namespace

bool loadServerTls(const QString &certificatePath, const QString &keyPath,
                   QSslConfiguration *configuration, QString *error)
{
    if (!QSslSocket::supportsSsl())
        return fail(error, u"TLS não está disponível nesta instalação."_s);

    QByteArray pem;
    QList<QSslCertificate> chain;
    if (readFile(certificatePath, &pem))
        chain = QSslCertificate::fromData(pem, QSsl::Pem);
    if (chain.isEmpty() || chain.first().isNull())
        return fail(error, u"Não foi possível ler o certificado TLS em %1."_s.arg(certificatePath));
    // Every client checks the dates, and the handshake with itself below does not: a
    // certificate out of its dates would let the server start and fail every client.
    // Only the server's own: a chain file may carry an expired cross-signed authority
    // that clients pass by on another path to a root they trust.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    {
        const QSslCertificate &certificate = chain.first();
        const QString subject = certificate.subjectDisplayName();
        if (certificate.expiryDate().isValid() && certificate.expiryDate() < now) {
            return fail(error,
                        u"O certificado TLS em %1 expirou em %2 (%3)."_s.arg(
                            certificatePath, utcText(certificate.expiryDate()), subject));
        }
        if (certificate.effectiveDate().isValid() && certificate.effectiveDate() > now) {
            return fail(
                error,
                u"O certificado TLS em %1 ainda não é válido: vale a partir de %2 (%3)."_s.arg(
                    certificatePath, utcText(certificate.effectiveDate()), subject));
        }
    }

    QSslKey key;
    if (readFile(keyPath, &pem)) {
        for (QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa}) {
            key = QSslKey(pem, algorithm, QSsl::Pem, QSsl::PrivateKey);
            if (!key.isNull())
                break;
        }
    }
    if (key.isNull())
        return fail(error, u"Não foi possível ler a chave privada TLS em %1."_s.arg(keyPath));

    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setLocalCertificateChain(chain);
    config.setPrivateKey(key);
    config.setPeerVerifyMode(QSslSocket::VerifyNone); // clients prove themselves by token
    const QString problem = selfHandshakeProblem(config);
    if (!problem.isEmpty()) {
        return fail(error,
                    u"O certificado TLS em %1 e a chave privada em %2 não funcionam juntos "
                    u"(a chave é de outro certificado?). Detalhe: %3"_s.arg(certificatePath,
                                                                            keyPath, problem));
    }
    *configuration = config;
    return true;
}

bool loadTrustedCertificates(const QString &path, QList<QSslCertificate> *certificates,
                             QString *error)
{
    QByteArray pem;
    QList<QSslCertificate> found;
    if (readFile(path, &pem))
        found = QSslCertificate::fromData(pem, QSsl::Pem);
    if (found.isEmpty()) {
        return fail(
            error,
            u"Não foi possível ler o certificado confiável do servidor de aplicação em %1."_s.arg(
                path));
    }
    *certificates = found;
    return true;
}

} // namespace qor
