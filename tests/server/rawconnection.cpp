#include "rawconnection.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>

using namespace Qt::StringLiterals;

namespace qor::testing {

namespace {
constexpr int WaitMs = 30000;
}

RawConnection::RawConnection(const QString &host, quint16 port)
{
    m_socket.connectToHost(host, port);
    m_socket.waitForConnected(WaitMs);
}

bool RawConnection::isConnected() const
{
    return m_socket.state() == QAbstractSocket::ConnectedState;
}

void RawConnection::send(const QByteArray &bytes)
{
    m_socket.write(bytes);
    while (m_socket.bytesToWrite() > 0 && m_socket.waitForBytesWritten(WaitMs)) { }
}

void RawConnection::sendRequest(qint64 id, const QString &method, const QJsonArray &params)
{
    const QByteArray body = QJsonDocument(QJsonObject{{u"jsonrpc"_s, u"2.0"_s},
                                                      {u"id"_s, id},
                                                      {u"method"_s, method},
                                                      {u"params"_s, params}})
                                .toJson(QJsonDocument::Compact);
    send("Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
}

QJsonObject RawConnection::readReply()
{
    const QDeadlineTimer deadline(WaitMs);
    while (!deadline.hasExpired()) {
        const qsizetype headerEnd = m_buffer.indexOf("\r\n\r\n");
        if (headerEnd >= 0) {
            const QByteArray header = m_buffer.left(headerEnd);
            const qsizetype colon = header.indexOf(':');
            const qsizetype length = header.mid(colon + 1).trimmed().toLongLong();
            if (m_buffer.size() >= headerEnd + 4 + length) {
                const QByteArray body = m_buffer.mid(headerEnd + 4, length);
                m_buffer.remove(0, headerEnd + 4 + length);
                return QJsonDocument::fromJson(body).object();
            }
        }
        if (m_socket.bytesAvailable() > 0) {
            m_buffer += m_socket.readAll();
            continue;
        }
        if (m_socket.state() != QAbstractSocket::ConnectedState)
            break;
        m_socket.waitForReadyRead(int(qMin<qint64>(deadline.remainingTime(), 1000)));
    }
    m_buffer += m_socket.readAll();
    return {};
}

bool RawConnection::closedByServer()
{
    const QDeadlineTimer deadline(WaitMs);
    while (!deadline.hasExpired() && m_socket.state() == QAbstractSocket::ConnectedState) {
        m_socket.readAll();
        m_socket.waitForReadyRead(int(qMin<qint64>(deadline.remainingTime(), 1000)));
    }
    return m_socket.state() != QAbstractSocket::ConnectedState;
}

} // namespace qor::testing
