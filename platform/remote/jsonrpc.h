#pragma once

#include "rpcerror.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

namespace qor {

// One request as read off the wire, before its method is looked at.
struct RpcRequest
{
    QJsonValue id; // a number or a string; null while unreadable
    QString method; // empty while unreadable
    QJsonValue params; // as sent; undefined when left out
};

// Reads a JSON-RPC 2.0 request. On failure returns false with *error set; the id and
// method read so far stay in *request so the reply can carry them.
bool decodeRequest(const QByteArray &body, RpcRequest *request, RpcError *error);

QByteArray encodeRequest(qint64 id, const QString &method, const QJsonArray &params);
// {"jsonrpc":"2.0","id":..,"result":{"ok":true,"data":<data>}}
QByteArray encodeResult(const QJsonValue &id, const QJsonValue &data);
// The same, with data given as compact JSON text, copied in as it is.
QByteArray encodeRawResult(const QJsonValue &id, QByteArrayView dataJson);
QByteArray encodeError(const QJsonValue &id, int code, const QString &message);

// Reads the reply to request expectedId into the raw result a caller sees: the
// server's result object, or {"ok":false,"error":{"code":N,"message":"..."}}.
// False when the body is no valid reply to that request. An error with a null id
// answers it too: the server could not read the request's id.
bool decodeReply(const QByteArray &body, qint64 expectedId, QJsonObject *result);

} // namespace qor
