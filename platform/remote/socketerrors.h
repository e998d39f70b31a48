#pragma once

#include <QString>

class QTcpServer;
class QTcpSocket;

namespace qor {

// Why a connection could not be made, in Portuguese, for the end of
// "Não foi possível conectar ao servidor de aplicação em HOST:PORT: <reason>."
QString connectFailureReason(const QTcpSocket &socket, const QString &host);

// Why a server could not listen, in Portuguese, for the end of
// "Não foi possível escutar em HOST:PORT: <reason>."
QString listenFailureReason(const QTcpServer &server);

} // namespace qor
