#include "tlsfiles.h"

#include <QFile>
#include <QSslKey>
#include <QSslSocket>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

bool readFile(const QString &path, QByteArray *bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *bytes = file.readAll();
    return true;
}

bool fail(QString *error, const QString &message)
{
    *error = message;
    return false;
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
