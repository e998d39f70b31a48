#pragma once

#include "fieldtypes.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QVariant>

namespace qor {

// A data packet: field metadata and rows. Values in memory are null, QString, or
// double (floats, and date-times as TDateTime).
struct TDataPacket
{
    QList<TFieldDef> fields;
    QList<QVariantList> rows;
};

enum class TChangeOp { Insert, Update, Delete };

struct TDeltaChange
{
    TChangeOp op = TChangeOp::Insert;
    QVariantList oldValues; // update and delete
    QVariantList newValues; // insert and update
};

// The changes of a change log since its last merge. Calculated fields never travel.
struct TDelta
{
    QList<TFieldDef> fields;
    QList<TDeltaChange> changes;
};

// Wire form:
//  packet {"fields":[{"name":"CDFILIAL","type":"string","size":4},...],"rows":[[...],...]}
//  delta  {"fields":[...],"changes":[{"op":"insert","new":[...]},
//          {"op":"update","old":[...],"new":[...]},{"op":"delete","old":[...]}]}
// Date-times travel as ISO 8601 local time "YYYY-MM-DDTHH:MM:SS.zzz".
// Decoding raises EDatabaseError naming what is wrong; it never reads out of bounds.
QJsonObject encodePacket(const TDataPacket &packet);
// The same packet written straight to compact JSON text: byte for byte what
// QJsonDocument(encodePacket(packet)).toJson(QJsonDocument::Compact) gives, with the
// same errors, at a fraction of the cost.
QByteArray encodePacketJson(const TDataPacket &packet);
TDataPacket decodePacket(const QJsonValue &json);
QJsonObject encodeDelta(const TDelta &delta);
TDelta decodeDelta(const QJsonValue &json);

QString fieldTypeName(TFieldType type);
QJsonValue encodeValue(TFieldType type, const QVariant &value);
QVariant decodeValue(TFieldType type, const QJsonValue &json, const QString &fieldName);

} // namespace qor
