#include "framing.h"

#include "rpcerror.h"

#include <QList>

#include <limits>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

constexpr QByteArrayView HeaderEnd("\r\n\r\n");

// Header bytes are printable ASCII and line breaks; anything else (a TLS hello sent
// to a plain port, binary noise) is refused at once instead of after 4 KiB.
bool isHeaderByte(char c)
{
    return c == '\r' || c == '\n' || c == '\t' || (c >= 0x20 && c <= 0x7e);
}

QString malformedHeader()
{
    return u"Cabeçalho de mensagem inválido."_s;
}

} // namespace

FrameParser::FrameParser(qint64 maxMessageBytes)
    : m_maxMessageBytes(maxMessageBytes)
{ }

void FrameParser::feed(QByteArrayView bytes)
{
    if (!m_failed)
        m_buffer.append(bytes);
}

FrameParser::Result FrameParser::fail(int code, const QString &message)
{
    m_failed = true;
    m_error = {code, message};
    m_buffer.clear();
    return Result::Error;
}

FrameParser::Result FrameParser::next(QByteArray *body)
{
    if (m_failed)
        return Result::Error;

    if (m_headerBytes < 0) {
        const qsizetype end = m_buffer.indexOf(HeaderEnd);
        const qsizetype scanned = end < 0 ? m_buffer.size() : end;
        for (qsizetype i = 0; i < scanned; ++i) {
            const char c = m_buffer.at(i);
            if (!isHeaderByte(c))
                return fail(RpcParseError, malformedHeader());
            // Lines end in CR LF. One ended by LF or CR alone never makes the blank line
            // that ends a header: the peer would wait for an answer that never comes.
            if (c == '\n' && (i == 0 || m_buffer.at(i - 1) != '\r'))
                return fail(RpcParseError, malformedHeader());
            if (c == '\r' && i + 1 < m_buffer.size() && m_buffer.at(i + 1) != '\n')
                return fail(RpcParseError, malformedHeader());
        }
        if (end < 0) {
            if (m_buffer.size() > MaxHeaderBytes)
                return fail(RpcParseError, malformedHeader());
            return Result::NeedMore;
        }
        if (end + HeaderEnd.size() > MaxHeaderBytes)
            return fail(RpcParseError, malformedHeader());
        if (parseHeader(end) == Result::Error)
            return Result::Error;
    }

    if (m_buffer.size() - m_headerBytes < m_bodyBytes)
        return Result::NeedMore;

    *body = m_buffer.mid(m_headerBytes, m_bodyBytes);
    m_buffer.remove(0, m_headerBytes + m_bodyBytes);
    m_headerBytes = -1;
    m_bodyBytes = -1;
    return Result::Message;
}

FrameParser::Result FrameParser::parseHeader(qsizetype headerEnd)
{
    const QList<QByteArray> lines = m_buffer.left(headerEnd).split('\n');
    qint64 length = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines.at(i);
        // Lines before the last were cut at '\n' and must have ended in "\r\n"; the
        // last one stops where "\r\n\r\n" begins.
        if (i + 1 < lines.size()) {
            if (!line.endsWith('\r'))
                return fail(RpcParseError, malformedHeader());
            line.chop(1);
        }
        if (line.contains('\r'))
            return fail(RpcParseError, malformedHeader());
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return fail(RpcParseError, malformedHeader());
        const QByteArray name = line.left(colon);
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name.contains(' ') || name.contains('\t'))
            return fail(RpcParseError, malformedHeader());
        if (name.compare("content-length", Qt::CaseInsensitive) != 0)
            continue;
        if (length >= 0 || value.isEmpty())
            return fail(RpcParseError, malformedHeader());
        for (char c : value) {
            if (c < '0' || c > '9')
                return fail(RpcParseError, malformedHeader());
        }
        // More digits than any limit could allow: refuse before converting. Leading
        // zeros are no digits of the length.
        qsizetype firstDigit = 0;
        while (firstDigit + 1 < value.size() && value.at(firstDigit) == '0')
            ++firstDigit;
        const QByteArray digits = value.mid(firstDigit);
        length = digits.size() > 15 ? std::numeric_limits<qint64>::max() : digits.toLongLong();
    }
    if (length < 0)
        return fail(RpcParseError, malformedHeader());
    if (length > m_maxMessageBytes) {
        return fail(RpcInvalidRequest,
                    u"Mensagem maior que o limite de %1 bytes."_s.arg(m_maxMessageBytes));
    }
    m_headerBytes = headerEnd + HeaderEnd.size();
    m_bodyBytes = length;
    return Result::Message;
}

QByteArray encodeFrame(const QByteArray &json)
{
    QByteArray frame = "Content-Length: " + QByteArray::number(json.size()) + "\r\n\r\n";
    frame += json;
    return frame;
}

} // namespace qor
