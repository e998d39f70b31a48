// Reading requests and replies, and the token comparison.

#include "remote/jsonrpc.h"
#include "remote/tokencheck.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QJsonDocument>

using namespace qor;
using namespace Qt::StringLiterals;

namespace {

QJsonObject object(const char *json)
{
    return QJsonDocument::fromJson(json).object();
}

TEST(DecodeRequest, AcceptsOnlyJsonRpc20Requests)
{
    const struct
    {
        QByteArray body;
        int code; // 0: accepted
        QJsonValue id;
        QString method;
    } cases[] = {
        {R"({"jsonrpc":"2.0","id":1,"method":"GetPeso","params":["0001"]})", 0, 1, u"GetPeso"_s},
        {R"({"jsonrpc":"2.0","id":"a","method":"Echo"})", 0, u"a"_s, u"Echo"_s},
        {R"({"jsonrpc":"2.0","id":1,"method":)", RpcParseError, QJsonValue(), {}},
        {"", RpcParseError, QJsonValue(), {}},
        {"{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"\xff\xfe\"}", RpcParseError, QJsonValue(), {}},
        {"[1,2]", RpcInvalidRequest, QJsonValue(), {}},
        {R"({"jsonrpc":"2.0","method":"Echo","params":[]})", RpcInvalidRequest, QJsonValue(), {}},
        {R"({"jsonrpc":"2.0","id":{},"method":"Echo"})", RpcInvalidRequest, QJsonValue(), {}},
        {R"({"jsonrpc":"1.0","id":3,"method":"Echo"})", RpcInvalidRequest, 3, {}},
        {R"({"id":3,"method":"Echo"})", RpcInvalidRequest, 3, {}},
        {R"({"jsonrpc":"2.0","id":4,"method":5})", RpcInvalidRequest, 4, {}},
        {R"({"jsonrpc":"2.0","id":4,"method":""})", RpcInvalidRequest, 4, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.body.constData());
        RpcRequest request;
        RpcError error{0, {}};
        const bool ok = decodeRequest(c.body, &request, &error);
        EXPECT_EQ(ok, c.code == 0);
        if (!ok) {
            EXPECT_EQ(error.code, c.code);
        }
        EXPECT_EQ(request.id, c.id);
        EXPECT_EQ(request.method, c.method);
    }
}

TEST(DecodeReply, AnswersOnlyTheRequestAsked)
{
    const QJsonObject notFound =
        object(R"({"ok":false,"error":{"code":-32601,"message":"Método desconhecido."}})");
    const struct
    {
        const char *body;
        bool ok;
        QJsonObject result;
    } cases[] = {
        {R"({"jsonrpc":"2.0","id":7,"result":{"ok":true,"data":[1]}})", true,
         object(R"({"ok":true,"data":[1]})")},
        {R"({"jsonrpc":"2.0","id":7,"error":{"code":-32601,"message":"Método desconhecido."}})",
         true, notFound},
        // The server could not read the id: the error still answers the one call out.
        {R"({"jsonrpc":"2.0","id":null,"error":{"code":-32601,"message":"Método desconhecido."}})",
         true, notFound},
        {R"({"jsonrpc":"2.0","id":8,"result":{"ok":true,"data":null}})", false, {}},
        {R"({"jsonrpc":"2.0","id":"7","result":{"ok":true,"data":null}})", false, {}},
        {R"({"jsonrpc":"2.0","id":7.5,"result":{"ok":true,"data":null}})", false, {}},
        {R"({"jsonrpc":"2.0","id":null,"result":{"ok":true,"data":null}})", false, {}},
        {R"({"jsonrpc":"2.0","id":8,"error":{"code":-1,"message":"x"}})", false, {}},
        {R"({"jsonrpc":"2.0","id":7,"error":{"code":-1}})", false, {}},
        {R"({"jsonrpc":"2.0","id":7,"error":{"code":"x","message":"x"}})", false, {}},
        {R"({"jsonrpc":"2.0","id":7,"result":5})", false, {}},
        {R"({"jsonrpc":"2.0","id":7})", false, {}},
        {"[7]", false, {}},
        {"{", false, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.body);
        QJsonObject result;
        EXPECT_EQ(decodeReply(c.body, 7, &result), c.ok);
        if (c.ok) {
            EXPECT_EQ(result, c.result);
        }
    }
}

TEST(TokensMatch, OnlyTheWholeTokenMatches)
{
    const struct
    {
        QString offered;
        QString expected;
        bool match;
    } cases[] = {
        {u"abc123"_s, u"abc123"_s, true},
        {u"senhaçã"_s, u"senhaçã"_s, true},
        {u"abc124"_s, u"abc123"_s, false},
        {u"abc12"_s, u"abc123"_s, false},
        {u"abc1234"_s, u"abc123"_s, false},
        {u"ABC123"_s, u"abc123"_s, false},
        {u""_s, u"abc123"_s, false},
        // No token configured must not open the door to an empty one.
        {u""_s, u""_s, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(tokensMatch(c.offered, c.expected), c.match) << c.offered.toStdString();
}

// The whole digest is compared: a wrong token whose digest shares a byte with the right
// one's (about one guess in 256 finds one) is refused all the same.
TEST(TokensMatch, AWrongTokenSharingPartOfTheDigestIsRefused)
{
    const QString expected = u"tok-3f9a1c27e5"_s;
    const auto digestOf = [](const QString &token) {
        return QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256);
    };
    const QByteArray digest = digestOf(expected);
    for (const qsizetype at : {qsizetype(0), digest.size() / 2, digest.size() - 1}) {
        QString offered;
        for (int n = 0; offered.isEmpty(); ++n) {
            const QString guess = u"palpite-%1"_s.arg(n);
            if (digestOf(guess).at(at) == digest.at(at))
                offered = guess;
        }
        EXPECT_FALSE(tokensMatch(offered, expected)) << offered.toStdString() << " byte " << at;
    }
}

} // namespace

namespace {

TEST(EncodeRawResult, MatchesTheReplyBuiltFromAValue)
{
    const QJsonValue ids[] = {QJsonValue(1),
                              QJsonValue(0),
                              QJsonValue(-7),
                              QJsonValue(1e15 + 1),
                              QJsonValue(2.5),
                              QJsonValue(u"abc"_s),
                              QJsonValue(u"\"é\"\n"_s),
                              QJsonValue(QJsonValue::Null)};
    const QJsonValue data[] = {
        QJsonValue(QJsonValue::Null),
        QJsonValue(true),
        QJsonValue(3),
        QJsonValue(u"ç\\"_s),
        QJsonValue(QJsonArray{1, u"x"_s, QJsonValue::Null}),
        QJsonValue(QJsonObject{{u"rows"_s, QJsonArray{}}, {u"fields"_s, QJsonArray{}}})};
    for (const QJsonValue &id : ids) {
        for (const QJsonValue &value : data) {
            QByteArray json = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
            json = json.mid(1, json.size() - 2);
            EXPECT_EQ(encodeRawResult(id, json), encodeResult(id, value)) << json.constData();
        }
    }
    // Nothing written reads as null, as an undefined value does.
    EXPECT_EQ(encodeRawResult(1, QByteArray()), encodeResult(1, QJsonValue()));
}

} // namespace
