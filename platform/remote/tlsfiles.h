#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>

namespace qor {

// Builds the server's TLS configuration from a PEM certificate (chain) and a PEM
// private key (RSA or EC, unencrypted). False with a Portuguese message on failure.
bool loadServerTls(const QString &certificatePath, const QString &keyPath,
                   QSslConfiguration *configuration, QString *error);

// Reads the PEM certificates a client trusts for the server. False with a
// Portuguese message when the file is missing or holds no certificate.
bool loadTrustedCertificates(const QString &path, QList<QSslCertificate> *certificates,
                             QString *error);

} // namespace qor
