#include "socketerrors.h"

#include <QSslError>
#include <QSslSocket>
#include <QTcpServer>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

QString certificateReason(const QSslSocket &socket, const QString &host)
{
    const QList<QSslError> errors = socket.sslHandshakeErrors();
    if (errors.isEmpty())
        return u"falha na negociação TLS"_s;
    switch (errors.first().error()) {
    case QSslError::HostNameMismatch:
        return u"o certificado do servidor não corresponde ao endereço %1"_s.arg(host);
    case QSslError::CertificateExpired:
        return u"o certificado do servidor expirou"_s;
    case QSslError::CertificateNotYetValid:
        return u"o certificado do servidor ainda não é válido"_s;
    case QSslError::CertificateRevoked:
        return u"o certificado do servidor foi revogado"_s;
    default:
        return u"o certificado do servidor não é confiável"_s;
    }
}

} // namespace

QString connectFailureReason(const QTcpSocket &socket, const QString &host)
{
    switch (socket.error()) {
    case QAbstractSocket::ConnectionRefusedError:
        return u"conexão recusada"_s;
    case QAbstractSocket::HostNotFoundError:
        return u"servidor não encontrado"_s;
    case QAbstractSocket::RemoteHostClosedError:
        return u"conexão encerrada pelo servidor"_s;
    case QAbstractSocket::NetworkError:
        return u"falha de rede"_s;
    case QAbstractSocket::SslHandshakeFailedError:
        if (const auto *ssl = qobject_cast<const QSslSocket *>(&socket))
            return certificateReason(*ssl, host);
        return u"falha na negociação TLS"_s;
    case QAbstractSocket::SslInternalError:
    case QAbstractSocket::SslInvalidUserDataError:
        return u"falha na negociação TLS"_s;
    default:
        // Rare cases keep the system's own wording.
        return u"falha de comunicação (%1)"_s.arg(socket.errorString());
    }
}

QString listenFailureReason(const QTcpServer &server)
{
    switch (server.serverError()) {
    case QAbstractSocket::AddressInUseError:
        return u"a porta já está em uso"_s;
    case QAbstractSocket::SocketAddressNotAvailableError:
        return u"o endereço não pertence a esta máquina"_s;
    case QAbstractSocket::SocketAccessError:
        return u"sem permissão para usar a porta"_s;
    case QAbstractSocket::SocketResourceError:
        return u"recursos do sistema esgotados"_s;
    default:
        return u"falha de comunicação (%1)"_s.arg(server.errorString());
    }
}

} // namespace qor
