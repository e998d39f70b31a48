// The frame parser cuts messages out of a stream fed in arbitrary pieces, and refuses
// headers the stream cannot get past.

#include "remote/framing.h"
#include "remote/rpcerror.h"

#include <gtest/gtest.h>

#include <QList>
#include <cctype>

using namespace qor;

namespace {

QList<QByteArray> bytewise(const QByteArray &stream)
{
    QList<QByteArray> pieces;
    for (char c : stream)
        pieces.append(QByteArray(1, c));
    return pieces;
}

struct FrameCase
{
    const char *name;
    QList<QByteArray> pieces;
    QList<QByteArray> messages; // expected, in order
    int errorCode = 0; // 0: no error; else the error after the messages
    qint64 maxMessageBytes = FrameParser::DefaultMaxMessageBytes;
};

const QByteArray Accented = QByteArrayLiteral("[\"Planejamento de Exerc\xc3\xad"
                                              "cios\"]");

// A header announcing a 2-byte body, padded with another field to exactly `size` bytes
// including the blank line that ends it.
QByteArray headerOfSize(qsizetype size)
{
    const QByteArray start = "Content-Length: 2\r\nX-Pad: ";
    const QByteArray end = "\r\n\r\n";
    return start + QByteArray(size - start.size() - end.size(), 'a') + end;
}

QList<FrameCase> frameCases()
{
    return {
        {"one frame", {"Content-Length: 2\r\n\r\n{}"}, {"{}"}},
        {"one byte at a time", bytewise("Content-Length: 7\r\n\r\n[1,2,3]"), {"[1,2,3]"}},
        {"two frames and part of a third in one piece",
         {"Content-Length: 1\r\n\r\n1Content-Length: 1\r\n\r\n2Content-Len"},
         {"1", "2"}},
        {"header split inside the blank line", {"Content-Length: 2\r\n\r", "\n{", "}"}, {"{}"}},
        {"name in any case, other headers ignored",
         {"content-LENGTH:2\r\nContent-Type: application/json\r\n\r\n{}"},
         {"{}"}},
        {"length counts UTF-8 bytes", {encodeFrame(Accented)}, {Accented}},
        {"empty body", {"Content-Length: 0\r\n\r\n"}, {""}},
        {"length with leading zeros", {"Content-Length: 0002\r\n\r\n{}"}, {"{}"}},
        {"length with more leading zeros than any length has digits",
         {"Content-Length: 00000000000000000000000002\r\n\r\n{}"},
         {"{}"}},
        {"exactly at the limit", {"Content-Length: 10\r\n\r\n0123456789"}, {"0123456789"}, 0, 10},
        {"no Content-Length", {"Content-Type: json\r\n\r\n{}"}, {}, RpcParseError},
        {"misspelt name", {"Content-Lenght: 2\r\n\r\n{}"}, {}, RpcParseError},
        {"length not a number", {"Content-Length: abc\r\n\r\n"}, {}, RpcParseError},
        {"negative length", {"Content-Length: -5\r\n\r\n"}, {}, RpcParseError},
        {"empty length", {"Content-Length: \r\n\r\n"}, {}, RpcParseError},
        {"length twice", {"Content-Length: 1\r\nContent-Length: 1\r\n\r\n1"}, {}, RpcParseError},
        {"line ended by a bare LF", {"X: y\nContent-Length: 1\r\n\r\n1"}, {}, RpcParseError},
        {"blank header", {"\r\n\r\n{}"}, {}, RpcParseError},
        // Such a header never ends: refused at once rather than waited on.
        {"lines ended by LF alone", {"Content-Length: 2\n\n{}"}, {}, RpcParseError},
        {"lines ended by CR alone", {"Content-Length: 2\r\r{}"}, {}, RpcParseError},
        {"header starting with a bare LF", {"\nContent-Length: 2\r\n\r\n{}"}, {}, RpcParseError},
        {"CR at the end of a piece waits for its LF",
         {"Content-Length: 2\r", "\n\r", "\n{}"},
         {"{}"}},
        {"one over the limit", {"Content-Length: 11\r\n\r\n"}, {}, RpcInvalidRequest, 10},
        {"length beyond any integer",
         {"Content-Length: 99999999999999999999999999\r\n\r\n"},
         {},
         RpcInvalidRequest},
        // A TLS hello on a plain port is refused at its first byte, not after 4 KiB.
        {"binary bytes before any header end",
         {QByteArray("\x16\x03\x01\x02\x00", 5)},
         {},
         RpcParseError},
        // A header that does end is held to the same limit, however it arrives.
        {"header ended exactly at the limit",
         {headerOfSize(FrameParser::MaxHeaderBytes) + "{}"},
         {"{}"}},
        {"header ended one byte over the limit",
         {headerOfSize(FrameParser::MaxHeaderBytes + 1) + "{}"},
         {},
         RpcParseError},
        {"header never ends",
         {QByteArray(FrameParser::MaxHeaderBytes + 1, 'A')},
         {},
         RpcParseError},
        {"good frame, then garbage",
         {"Content-Length: 2\r\n\r\n{}", "GET / HTTP/1.1\r\n\r\n"},
         {"{}"},
         RpcParseError},
    };
}

void PrintTo(const FrameCase &c, std::ostream *os)
{
    *os << c.name;
}

class FrameParserTest : public testing::TestWithParam<FrameCase>
{
};

TEST_P(FrameParserTest, CutsMessagesOrFails)
{
    const FrameCase &c = GetParam();
    FrameParser parser(c.maxMessageBytes);
    QList<QByteArray> messages;
    bool failed = false;
    for (const QByteArray &piece : c.pieces) {
        parser.feed(piece);
        QByteArray body;
        for (;;) {
            const FrameParser::Result next = parser.next(&body);
            if (next == FrameParser::Result::Message) {
                messages.append(body);
                continue;
            }
            failed = next == FrameParser::Result::Error;
            break;
        }
        if (failed)
            break;
    }
    EXPECT_EQ(messages, c.messages);
    if (c.errorCode == 0) {
        EXPECT_FALSE(failed);
        EXPECT_FALSE(parser.failed());
        return;
    }
    ASSERT_TRUE(failed);
    EXPECT_EQ(parser.error().code, c.errorCode);
    EXPECT_FALSE(parser.error().message.isEmpty());
    // Once out of step, a good frame after it is not trusted either.
    parser.feed("Content-Length: 2\r\n\r\n{}");
    QByteArray body;
    EXPECT_EQ(parser.next(&body), FrameParser::Result::Error);
}

INSTANTIATE_TEST_SUITE_P(Frames, FrameParserTest, testing::ValuesIn(frameCases()),
                         [](const testing::TestParamInfo<FrameCase> &info) {
                             std::string name = info.param.name;
                             for (char &ch : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             }
                             return name;
                         });

} // namespace
