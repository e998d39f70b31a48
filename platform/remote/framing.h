#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace qor {

// A frame the stream cannot get past: the peer gets this as a JSON-RPC error and
// the connection closes, since the next message's start is unknown.
struct FrameError
{
    int code = 0; // -32700 malformed header, -32600 over the size limit
    QString message;
};

// Cuts "Content-Length: N\r\n\r\n" + N bytes frames out of a byte stream fed in
// pieces of any size. Header names are case-insensitive; headers other than
// Content-Length are ignored. After an error the parser stays failed.
class FrameParser
{
public:
    static constexpr qint64 DefaultMaxMessageBytes = 16 * 1024 * 1024;
    static constexpr qsizetype MaxHeaderBytes = 4096;

    enum class Result { NeedMore, Message, Error };

    explicit FrameParser(qint64 maxMessageBytes = DefaultMaxMessageBytes);

    void feed(QByteArrayView bytes);
    // Message: *body holds the next message; Error: see error().
    Result next(QByteArray *body);

    const FrameError &error() const { return m_error; }
    bool failed() const { return m_failed; }
    // Bytes fed and not yet returned as a message.
    qsizetype buffered() const { return m_buffer.size(); }
    qint64 maxMessageBytes() const { return m_maxMessageBytes; }
    // From the next message whose header is not read yet.
    void setMaxMessageBytes(qint64 bytes) { m_maxMessageBytes = bytes; }

private:
    Result fail(int code, const QString &message);
    Result parseHeader(qsizetype headerEnd);

    QByteArray m_buffer;
    qint64 m_maxMessageBytes;
    qsizetype m_headerBytes = -1; // header length including the blank line, once known
    qint64 m_bodyBytes = -1;
    bool m_failed = false;
    FrameError m_error;
};

QByteArray encodeFrame(const QByteArray &json);

} // namespace qor
