// A real qor-server against callers that speak JSON-RPC and its framing as other
// programs do: every request is served or gets a clear error carrying its id, the
// connection stays usable when its stream is still in step, and a second connection
// is served meanwhile.
#include "planfixture.h"
#include "rawconnection.h"

#include <QJsonArray>
#include <QJsonDocument>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

class WirePeers : public PlanServerTest
{
protected:
    // An authenticated connection of its own.
    std::unique_ptr<RawConnection> connectRaw()
    {
        auto raw = std::make_unique<RawConnection>(server->host(), server->port());
        raw->sendRequest(0, u"Authenticate"_s, {server->token()});
        EXPECT_TRUE(raw->readReply().contains(u"result"_s));
        return raw;
    }
    void expectOtherConnectionServed()
    {
        const TDataPacket paciente = decodePacket(ok(u"GetPaciente"_s, {Branch, Maria}));
        ASSERT_EQ(paciente.rows.size(), 1);
        EXPECT_EQ(paciente.rows[0][2].toString(), u"Maria da Silva"_s);
    }
};

QByteArray framed(const QByteArray &body, const QByteArray &header = "Content-Length: ")
{
    return header + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// A good GetPaciente request for Maria, with the id written as given.
QByteArray request(const QByteArray &idJson)
{
    return R"({"jsonrpc":"2.0","id":)" + idJson
        + R"(,"method":"GetPaciente","params":["0001","000000000001"]})";
}

struct Reply
{
    QJsonValue id;
    int code; // 0: a result
};

struct WireCase
{
    const char *name;
    QList<QByteArray> pieces; // each sent on its own
    QList<Reply> replies;
    bool closes; // the stream cannot be followed any more: the server says why and closes
};

const QByteArray Good = request("41");

QList<WireCase> wireCases()
{
    const QByteArray maria = R"("params":["0001","000000000001"])";
    return {
        // What JSON-RPC allows as an id comes back as it was sent.
        {"id as text", {framed(request(R"("chamada-7")"))}, {{u"chamada-7"_s, 0}}, false},
        {"fractional id", {framed(request("1.5"))}, {{1.5, 0}}, false},
        {"negative id", {framed(request("-3"))}, {{-3, 0}}, false},
        {"id beyond double precision",
         {framed(request("9007199254740993"))},
         {{qint64(9007199254740993), 0}},
         false},
        // Ids JSON-RPC does not allow, a notification and a batch get an error without one.
        {"null id", {framed(request("null"))}, {{QJsonValue(), RpcInvalidRequest}}, false},
        {"id an object",
         {framed(request(R"({"a":1})"))},
         {{QJsonValue(), RpcInvalidRequest}},
         false},
        {"id true", {framed(request("true"))}, {{QJsonValue(), RpcInvalidRequest}}, false},
        {"notification",
         {framed(R"({"jsonrpc":"2.0","method":"GetPaciente",)" + maria + "}")},
         {{QJsonValue(), RpcInvalidRequest}},
         false},
        {"batch", {framed("[" + request("1") + "]")}, {{QJsonValue(), RpcInvalidRequest}}, false},
        {"body a number", {framed("42")}, {{QJsonValue(), RpcParseError}}, false},
        {"body a string", {framed(R"("GetPaciente")")}, {{QJsonValue(), RpcParseError}}, false},
        {"body null", {framed("null")}, {{QJsonValue(), RpcParseError}}, false},
        {"jsonrpc missing",
         {framed(R"({"id":5,"method":"GetPaciente",)" + maria + "}")},
         {{5, RpcInvalidRequest}},
         false},
        {"jsonrpc 1.0",
         {framed(R"({"jsonrpc":"1.0","id":5,"method":"GetPaciente",)" + maria + "}")},
         {{5, RpcInvalidRequest}},
         false},
        {"method a number",
         {framed(R"({"jsonrpc":"2.0","id":6,"method":7})")},
         {{6, RpcInvalidRequest}},
         false},
        {"params an object",
         {framed(R"({"jsonrpc":"2.0","id":7,"method":"GetPaciente","params":{"a":"0001"}})")},
         {{7, RpcInvalidParams}},
         false},
        {"params missing",
         {framed(R"({"jsonrpc":"2.0","id":8,"method":"GetPaciente"})")},
         {{8, RpcInvalidParams}},
         false},
        {"invalid UTF-8 in the body",
         {framed("{\"jsonrpc\":\"2.0\",\"id\":9,\"method\":\"GetPaciente\","
                 "\"params\":[\"0001\",\"\xff\xfe\"]}")},
         {{QJsonValue(), RpcParseError}},
         false},
        {"byte order mark before the body", {framed("\xef\xbb\xbf" + Good)}, {{41, 0}}, false},
        // Header variants other programs write.
        {"header name in lower case", {framed(Good, "content-length: ")}, {{41, 0}}, false},
        {"other headers around it",
         {framed(Good, "Content-Type: application/json\r\nContent-Length: ")},
         {{41, 0}},
         false},
        {"spaces around the length",
         {"Content-Length:   " + QByteArray::number(Good.size()) + "  \r\n\r\n" + Good},
         {{41, 0}},
         false},
        {"length with leading zeros", {framed(Good, "Content-Length: 000")}, {{41, 0}}, false},
        {"header cut across pieces",
         {"Content-Len", "gth: " + QByteArray::number(Good.size()) + "\r", "\n\r\n" + Good.left(5),
          Good.mid(5)},
         {{41, 0}},
         false},
        {"two frames in one piece",
         {framed(request("1")) + framed(request("2"))},
         {{1, 0}, {2, 0}},
         false},
        {"length with a sign",
         {framed(Good, "Content-Length: +")},
         {{QJsonValue(), RpcParseError}},
         true},
        {"length with trailing garbage",
         {"Content-Length: " + QByteArray::number(Good.size()) + "x\r\n\r\n" + Good},
         {{QJsonValue(), RpcParseError}},
         true},
        {"space before the colon",
         {framed(Good, "Content-Length : ")},
         {{QJsonValue(), RpcParseError}},
         true},
        {"length twice",
         {"Content-Length: 1\r\n" + framed(Good)},
         {{QJsonValue(), RpcParseError}},
         true},
        // Lines ended by a bare LF (or CR) never make the blank line that ends a header:
        // said at once, not waited on forever.
        {"lines ended by LF alone",
         {"Content-Length: " + QByteArray::number(Good.size()) + "\n\n" + Good},
         {{QJsonValue(), RpcParseError}},
         true},
        {"lines ended by CR alone",
         {"Content-Length: " + QByteArray::number(Good.size()) + "\r\r" + Good},
         {{QJsonValue(), RpcParseError}},
         true},
    };
}

TEST_P(WirePeers, ServesOrRefusesEachClearlyWhileOthersAreServed)
{
    for (const WireCase &c : wireCases()) {
        SCOPED_TRACE(c.name);
        const auto raw = connectRaw();
        for (const QByteArray &piece : c.pieces)
            raw->send(piece);
        for (const Reply &expected : c.replies) {
            const QJsonObject reply = raw->readReply();
            if (reply.isEmpty()) {
                ADD_FAILURE() << "no answer";
                break;
            }
            EXPECT_EQ(reply.value(u"id"_s), expected.id)
                << QJsonDocument(reply).toJson().toStdString();
            const QJsonObject error = reply.value(u"error"_s).toObject();
            EXPECT_EQ(error.value(u"code"_s).toInt(), expected.code)
                << QJsonDocument(reply).toJson().toStdString();
            if (expected.code != 0)
                EXPECT_FALSE(error.value(u"message"_s).toString().isEmpty());
            else
                EXPECT_EQ(reply.value(u"result"_s).toObject().value(u"ok"_s), QJsonValue(true));
        }
        if (c.closes) {
            EXPECT_TRUE(raw->closedByServer());
        } else {
            // Still in step: the next good request on the same connection is served.
            raw->sendRequest(77, u"GetPaciente"_s, {Branch, Maria});
            const QJsonObject next = raw->readReply();
            EXPECT_EQ(next.value(u"id"_s).toInt(), 77);
            EXPECT_TRUE(next.contains(u"result"_s));
        }
        expectOtherConnectionServed();
    }
}

// A caller that goes away with half a request sent has its whole one answered first.
TEST_P(WirePeers, AnswerTheWholeRequestOfACallerThatLeavesMidFrame)
{
    const auto raw = connectRaw();
    const QByteArray second = framed(request("2"));
    raw->send(framed(request("1")) + second.left(second.size() / 2));
    EXPECT_EQ(raw->readReply().value(u"id"_s).toInt(), 1);
    raw->socket().abort();
    expectOtherConnectionServed();
    const auto again = connectRaw();
    again->sendRequest(3, u"GetPaciente"_s, {Branch, Maria});
    EXPECT_EQ(again->readReply().value(u"id"_s).toInt(), 3);
}

QOR_INSTANTIATE_BACKENDS(WirePeers);

} // namespace
} // namespace qor::testing
