#include "jsonrpc.h"

#include <QJsonDocument>
#include <QJsonParseError>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

QByteArray toJson(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

bool fail(RpcError *error, int code, const QString &message)
{
    *error = {code, message};
    return false;
}

bool isIntegral(const QJsonValue &value)
{
    return value.isDouble() && value.toDouble() == double(value.toInteger());
}

} // namespace

bool decodeRequest(const QByteArray &body, RpcRequest *request, RpcError *error)
{
    *request = {};
    request->id = QJsonValue::Null;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(error, RpcParseError, u"Mensagem JSON inválida."_s);
    const QString invalid = u"Requisição JSON-RPC inválida."_s;
    if (!document.isObject())
        return fail(error, RpcInvalidRequest, invalid);

    const QJsonObject object = document.object();
    const QJsonValue id = object.value(u"id"_s);
    if (!id.isString() && !id.isDouble())
        return fail(error, RpcInvalidRequest, invalid);
    request->id = id;
    if (object.value(u"jsonrpc"_s) != QJsonValue(u"2.0"_s))
        return fail(error, RpcInvalidRequest, invalid);
    const QJsonValue method = object.value(u"method"_s);
    if (!method.isString() || method.toString().isEmpty())
        return fail(error, RpcInvalidRequest, invalid);
    request->method = method.toString();
    request->params = object.value(u"params"_s);
    return true;
}

QByteArray encodeRequest(qint64 id, const QString &method, const QJsonArray &params)
{
    return toJson(
        {{u"jsonrpc"_s, u"2.0"_s}, {u"id"_s, id}, {u"method"_s, method}, {u"params"_s, params}});
}

QByteArray encodeResult(const QJsonValue &id, const QJsonValue &data)
{
    const QJsonObject result{{u"ok"_s, true},
                             {u"data"_s, data.isUndefined() ? QJsonValue() : data}};
    return toJson({{u"jsonrpc"_s, u"2.0"_s}, {u"id"_s, id}, {u"result"_s, result}});
}

QByteArray encodeRawResult(const QJsonValue &id, QByteArrayView dataJson)
{
    // The keys in the order a QJsonObject writes them (sorted), so both forms match.
    QByteArray idJson = QJsonDocument(QJsonArray{id}).toJson(QJsonDocument::Compact);
    idJson.chop(1);
    const QByteArrayView idText = QByteArrayView(idJson).sliced(1); // without [ and ]
    QByteArray out;
    out.reserve(dataJson.size() + idText.size() + 48);
    out += "{\"id\":";
    out += idText;
    out += ",\"jsonrpc\":\"2.0\",\"result\":{\"data\":";
    out += dataJson.isEmpty() ? QByteArrayView("null") : dataJson;
    out += ",\"ok\":true}}";
    return out;
}

QByteArray encodeError(const QJsonValue &id, int code, const QString &message)
{
    const QJsonObject error{{u"code"_s, code}, {u"message"_s, message}};
    return toJson({{u"jsonrpc"_s, u"2.0"_s}, {u"id"_s, id}, {u"error"_s, error}});
}

bool decodeReply(const QByteArray &body, qint64 expectedId, QJsonObject *result)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonObject reply = document.object();
    const QJsonValue id = reply.value(u"id"_s);
    const bool ours = isIntegral(id) && id.toInteger() == expectedId;

    const QJsonValue error = reply.value(u"error"_s);
    if (error.isObject()) {
        const QJsonObject e = error.toObject();
        const QJsonValue code = e.value(u"code"_s);
        const QJsonValue message = e.value(u"message"_s);
        if (!(ours || id.isNull()) || !isIntegral(code) || !message.isString())
            return false;
        *result = {
            {u"ok"_s, false},
            {u"error"_s, QJsonObject{{u"code"_s, code.toInteger()}, {u"message"_s, message}}}};
        return true;
    }
    const QJsonValue value = reply.value(u"result"_s);
    if (!ours || !value.isObject())
        return false;
    *result = value.toObject();
    return true;
}

} // namespace qor
