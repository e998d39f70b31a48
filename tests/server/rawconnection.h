#pragma once

#include <QJsonObject>
#include <QTcpSocket>

namespace qor::testing {

// A bare TCP connection to qor-server for what RpcClient would never send.
class RawConnection
{
public:
    RawConnection(const QString &host, quint16 port);
    bool isConnected() const;
    void send(const QByteArray &bytes);
    void sendRequest(qint64 id, const QString &method, const QJsonArray &params);
    // The next framed reply; an empty object when the server closed or sent nothing
    // readable before the wait ran out.
    QJsonObject readReply();
    // True once the server has closed the connection (waits for it).
    bool closedByServer();
    QTcpSocket &socket() { return m_socket; }

private:
    QTcpSocket m_socket;
    QByteArray m_buffer;
};

} // namespace qor::testing
