#pragma once

#include <QString>

class QTcpSocket;

namespace qor {

// Why a connection could not be made, in Portuguese, for the end of
// "Não foi possível conectar ao servidor de aplicação em HOST:PORT: <reason>."
QString connectFailureReason(const QTcpSocket &socket, const QString &host);

} // namespace qor
