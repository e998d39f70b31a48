// Bad requests to a real qor-server: each gets a clear error, and a second connection
// opened beforehand keeps being served meanwhile.
#include "planfixture.h"
#include "rawconnection.h"

#include <QJsonArray>
#include <QJsonDocument>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

class BadRequests : public PlanServerTest
{
protected:
    void expectOtherConnectionServed()
    {
        const TDataPacket paciente = decodePacket(ok(u"GetPaciente"_s, {Branch, Maria}));
        ASSERT_EQ(paciente.rows.size(), 1);
        EXPECT_EQ(paciente.rows[0][2].toString(), u"Maria da Silva"_s);
    }
};

struct FrameCase
{
    const char *name;
    QByteArray bytes;
    int code;
    bool closes; // the stream cannot be followed any more
};

TEST_P(BadRequests, AreAnsweredWithAnErrorWhileOthersAreServed)
{
    const QByteArray auth = [this] {
        const QByteArray body = R"({"jsonrpc":"2.0","id":0,"method":"Authenticate","params":[")"
            + server->token().toUtf8() + R"("]})";
        return "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    }();
    const QByteArray notJson = "{\"jsonrpc\":";
    const QList<FrameCase> cases{
        {"header without a length", "Content-Lenght: 10\r\n\r\n0123456789", -32700, true},
        {"length that is not a number", "Content-Length: dez\r\n\r\n0123456789", -32700, true},
        {"length over 16 MiB", "Content-Length: 16777217\r\n\r\n{", -32600, true},
        {"body that is not JSON",
         "Content-Length: " + QByteArray::number(notJson.size()) + "\r\n\r\n" + notJson, -32700,
         false},
        {"JSON that is not a request", "Content-Length: 2\r\n\r\n[]", -32600, false},
    };
    for (const FrameCase &c : cases) {
        SCOPED_TRACE(c.name);
        RawConnection raw(server->host(), server->port());
        ASSERT_TRUE(raw.isConnected());
        raw.send(auth);
        EXPECT_TRUE(raw.readReply().contains(u"result"_s));
        raw.send(c.bytes);
        const QJsonObject reply = raw.readReply();
        EXPECT_EQ(reply.value(u"error"_s).toObject().value(u"code"_s).toInt(), c.code)
            << QJsonDocument(reply).toJson().toStdString();
        EXPECT_FALSE(reply.value(u"error"_s).toObject().value(u"message"_s).toString().isEmpty());
        if (c.closes) {
            EXPECT_TRUE(raw.closedByServer());
        } else {
            // Still in step: a good request on the same connection is answered.
            raw.sendRequest(7, u"GetPaciente"_s, {Branch, Maria});
            EXPECT_EQ(raw.readReply().value(u"id"_s).toInt(), 7);
        }
        expectOtherConnectionServed();
    }
}

TEST_P(BadRequests, BeforeAuthenticationAreRefused)
{
    RawConnection raw(server->host(), server->port());
    ASSERT_TRUE(raw.isConnected());
    raw.sendRequest(1, u"GetPaciente"_s, {Branch, Maria});
    const QJsonObject refused = raw.readReply().value(u"error"_s).toObject();
    EXPECT_EQ(refused.value(u"code"_s).toInt(), RpcNotAuthenticated);
    EXPECT_FALSE(refused.value(u"message"_s).toString().isEmpty());
    expectOtherConnectionServed();

    // A wrong token closes the connection; the patient was never sent.
    raw.sendRequest(2, u"Authenticate"_s, {u"not-the-token"_s});
    const QJsonObject wrongToken = raw.readReply();
    EXPECT_EQ(wrongToken.value(u"error"_s).toObject().value(u"code"_s).toInt(),
              RpcNotAuthenticated);
    EXPECT_TRUE(raw.closedByServer());
    EXPECT_FALSE(QJsonDocument(refused).toJson().contains("Maria"));
    expectOtherConnectionServed();
}

QOR_INSTANTIATE_BACKENDS(BadRequests);

} // namespace
} // namespace qor::testing
