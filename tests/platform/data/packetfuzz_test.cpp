// Hostile packets and deltas: good ones with parts replaced by generated JSON, from a
// fixed seed. Decoding either refuses with EDatabaseError or gives a packet that
// encodes again and decodes to the same cells.
#include "data/packet.h"
#include "rtl/exceptions.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>

using namespace Qt::StringLiterals;

namespace qor {
namespace {

constexpr int Rounds = 4000;

const QList<TFieldDef> Fields = {{u"CDFILIAL"_s, TFieldType::String, 4},
                                 {u"DTCONSPACI"_s, TFieldType::DateTime, 0},
                                 {u"QTHREXERFISI"_s, TFieldType::Float, 0},
                                 {u"DSEXERFISICO"_s, TFieldType::String, 100}};

QJsonValue randomValue(QRandomGenerator &random, int depth)
{
    static const QJsonValue leaves[] = {
        QJsonValue(),
        QJsonValue(0),
        QJsonValue(-1),
        QJsonValue(1.5),
        QJsonValue(1e300),
        QJsonValue(-0.0),
        QJsonValue(4.9e-324),
        QJsonValue(9007199254740993.0),
        QJsonValue(2147483648.0),
        QJsonValue(1e10),
        QJsonValue(true),
        QJsonValue(u""_s),
        QJsonValue(u"0001"_s),
        QJsonValue(u"string"_s),
        QJsonValue(u"float"_s),
        QJsonValue(u"datetime"_s),
        QJsonValue(u"insert"_s),
        QJsonValue(u"update"_s),
        QJsonValue(u"delete"_s),
        QJsonValue(u"2024-02-29T12:00:00.000"_s),
        QJsonValue(u"2023-02-29T12:00:00.000"_s),
        QJsonValue(u"2024-01-01T24:00:00.000"_s),
        QJsonValue(u"0000-01-01T00:00:00.000"_s),
        QJsonValue(u"2024-01-01T00:00:00Z"_s),
        QJsonValue(u"2024-01-01T00:00:00.0001"_s),
        QJsonValue(u"\U0001D49C\U0001D49C\U0001D49C\U0001D49C\U0001D49C"_s),
        QJsonValue(QString(QChar(0xD835))),
        QJsonValue(u"a\u0000b"_s),
        QJsonValue(u"cdfilial"_s),
    };
    const int pick = int(random.bounded(depth > 3 ? 1 : 4));
    if (pick == 0)
        return leaves[random.bounded(int(std::size(leaves)))];
    if (pick == 1) {
        QJsonArray array;
        for (int n = int(random.bounded(6)); n > 0; --n)
            array.append(randomValue(random, depth + 1));
        return array;
    }
    QJsonObject object;
    static const QString keys[] = {u"name"_s, u"type"_s, u"size"_s,   u"op"_s,
                                   u"old"_s,  u"new"_s,  u"fields"_s, u"rows"_s};
    for (int n = int(random.bounded(4)); n > 0; --n)
        object.insert(keys[random.bounded(int(std::size(keys)))], randomValue(random, depth + 1));
    return object;
}

// Replaces one node of the tree, found by walking down at random, with a random value.
QJsonValue replaceSomewhere(QRandomGenerator &random, const QJsonValue &node, int depth)
{
    const bool stop = random.bounded(4) == 0 || !(node.isArray() || node.isObject());
    if (stop)
        return randomValue(random, depth);
    if (node.isArray()) {
        QJsonArray array = node.toArray();
        if (array.isEmpty())
            return randomValue(random, depth);
        const int at = int(random.bounded(int(array.size())));
        switch (random.bounded(4)) {
        case 0:
            array.removeAt(at);
            break;
        case 1:
            array.insert(at, array.at(at)); // a row or field twice, a cell too many
            break;
        default:
            array.replace(at, replaceSomewhere(random, array.at(at), depth + 1));
        }
        return array;
    }
    QJsonObject object = node.toObject();
    if (object.isEmpty())
        return randomValue(random, depth);
    const QString key = object.keys().at(int(random.bounded(int(object.size()))));
    if (random.bounded(5) == 0)
        object.remove(key);
    else
        object.insert(key, replaceSomewhere(random, object.value(key), depth + 1));
    return object;
}

// One to three replacements somewhere in a good packet or delta.
QJsonValue mutated(QRandomGenerator &random, const QJsonObject &good)
{
    QJsonValue candidate = good;
    for (int m = int(random.bounded(3)); m >= 0; --m)
        candidate = replaceSomewhere(random, candidate, 0);
    return candidate;
}

void expectSameRows(const QList<QVariantList> &got, const QList<QVariantList> &want)
{
    ASSERT_EQ(got.size(), want.size());
    for (qsizetype r = 0; r < want.size(); ++r)
        EXPECT_EQ(got.at(r), want.at(r)) << "row " << r;
}

TEST(PacketFuzz, AnyPacketIsRefusedCleanlyOrTravelsAgainUnchanged)
{
    TDataPacket packet;
    packet.fields = Fields;
    packet.rows = {{u"0001"_s, 45366.5, 1.5, u"Caminhada"_s},
                   {QVariant(), -1.25, 0.16666667, QVariant()},
                   {u"9999"_s, 2958465.0, -0.0, QString(100, u'x')}};
    const QJsonObject good = encodePacket(packet);
    QRandomGenerator random(127);
    int accepted = 0;
    for (int round = 0; round < Rounds; ++round) {
        const QJsonValue candidate = mutated(random, good);
        SCOPED_TRACE(
            QJsonDocument(candidate.toObject()).toJson(QJsonDocument::Compact).toStdString());
        TDataPacket decoded;
        try {
            decoded = decodePacket(candidate);
        } catch (const EDatabaseError &) {
            continue;
        }
        ++accepted;
        // What was accepted from a peer goes back out, and arrives the same.
        QByteArray text;
        ASSERT_NO_THROW(text = encodePacketJson(decoded));
        const TDataPacket again = decodePacket(QJsonDocument::fromJson(text).object());
        EXPECT_EQ(again.fields, decoded.fields);
        expectSameRows(again.rows, decoded.rows);
    }
    EXPECT_GT(accepted, 0);
}

TEST(PacketFuzz, AnyDeltaIsRefusedCleanlyOrTravelsAgainUnchanged)
{
    TDelta delta;
    delta.fields = Fields;
    delta.changes = {
        {TChangeOp::Insert, {}, {u"0001"_s, 45366.5, 1.5, u"Caminhada"_s}},
        {TChangeOp::Update, {u"0001"_s, 45366.5, 1.5, u"a"_s}, {u"0001"_s, 45366.5, 2.0, u"b"_s}},
        {TChangeOp::Delete, {u"0002"_s, -1.25, QVariant(), QVariant()}, {}},
    };
    const QJsonObject good = encodeDelta(delta);
    QRandomGenerator random(128);
    int accepted = 0;
    for (int round = 0; round < Rounds; ++round) {
        const QJsonValue candidate = mutated(random, good);
        SCOPED_TRACE(
            QJsonDocument(candidate.toObject()).toJson(QJsonDocument::Compact).toStdString());
        TDelta decoded;
        try {
            decoded = decodeDelta(candidate);
        } catch (const EDatabaseError &) {
            continue;
        }
        ++accepted;
        QJsonObject encoded;
        ASSERT_NO_THROW(encoded = encodeDelta(decoded));
        const TDelta again = decodeDelta(
            QJsonDocument::fromJson(QJsonDocument(encoded).toJson(QJsonDocument::Compact))
                .object());
        EXPECT_EQ(again.fields, decoded.fields);
        ASSERT_EQ(again.changes.size(), decoded.changes.size());
        for (qsizetype i = 0; i < decoded.changes.size(); ++i) {
            EXPECT_EQ(again.changes.at(i).op, decoded.changes.at(i).op);
            EXPECT_EQ(again.changes.at(i).oldValues, decoded.changes.at(i).oldValues);
            EXPECT_EQ(again.changes.at(i).newValues, decoded.changes.at(i).newValues);
        }
    }
    EXPECT_GT(accepted, 0);
}

TEST(PacketFuzz, AnyBytesAreRefusedCleanly)
{
    TDataPacket packet;
    packet.fields = Fields;
    packet.rows = {{u"0001"_s, 45366.5, 1.5, u"Caminhada"_s}};
    const QByteArray good = encodePacketJson(packet);
    QRandomGenerator random(129);
    for (int round = 0; round < Rounds; ++round) {
        QByteArray bytes = good;
        for (int m = int(random.bounded(4)); m >= 0; --m)
            bytes[random.bounded(int(bytes.size()))] = char(random.bounded(256));
        const QJsonDocument document = QJsonDocument::fromJson(bytes);
        try {
            const TDataPacket decoded = decodePacket(document.object());
            EXPECT_NO_THROW(encodePacketJson(decoded)) << bytes.toStdString();
        } catch (const EDatabaseError &) { }
    }
}

struct NamePair
{
    const char *first;
    const char *second;
    bool repeated;
};

QJsonObject packetNaming(const QStringList &names)
{
    QJsonArray fields;
    for (const QString &name : names)
        fields.append(QJsonObject{{u"name"_s, name}, {u"type"_s, u"float"_s}});
    return QJsonObject{{u"fields"_s, fields}, {u"rows"_s, QJsonArray()}};
}

// Field names are told apart without regard to case, in any script.
TEST(PacketFuzz, RepeatedFieldNamesAreFoundWhateverTheirCase)
{
    const NamePair pairs[] = {
        {"CDFILIAL", "cdfilial", true},
        {"Ação", "AÇÃO", true},
        {"Σίσυφος", "ΣΊΣΥΦΟΣ", true},
        {"CDFILIAL", "CDFILIAL ", false},
        {"Acao", "Ação", false},
        {"straße", "STRASSE", false},
        {"𝒜", "𝒜", true},
        {"DSEXERFISICO", "DSEXERFISIC0", false},
    };
    for (const NamePair &pair : pairs) {
        const QString first = QString::fromUtf8(pair.first);
        const QString second = QString::fromUtf8(pair.second);
        SCOPED_TRACE(std::string(pair.first) + " / " + pair.second);
        for (const QStringList &names :
             {QStringList{first, u"X"_s, second}, QStringList{second, u"X"_s, first}}) {
            try {
                const TDataPacket decoded = decodePacket(packetNaming(names));
                EXPECT_FALSE(pair.repeated) << "accepted";
                EXPECT_EQ(decoded.fields.size(), 3);
            } catch (const EDatabaseError &e) {
                EXPECT_TRUE(pair.repeated) << e.Message().toStdString();
                EXPECT_TRUE(e.Message().contains(u"campo '%1' repetido"_s.arg(names.last())))
                    << e.Message().toStdString();
            }
        }
    }
}

// A message of up to 16 MiB holds some 400,000 field definitions: they are read (or
// refused for a repeated name at the very end) in one pass, not by comparing every name
// with every other, which held the reader for many minutes. A tenth of that is enough to
// hold this test for a minute with the comparison back, and costs little without it.
TEST(PacketFuzz, AMessageFullOfFieldDefinitionsIsReadInOnePass)
{
    constexpr int Count = 40000;
    QStringList names;
    names.reserve(Count + 1);
    for (int i = 0; i < Count; ++i)
        names.append(u"F%1"_s.arg(i));
    const QJsonObject packet = packetNaming(names);
    EXPECT_LT(QJsonDocument(packet).toJson(QJsonDocument::Compact).size(), 16 * 1024 * 1024);
    EXPECT_EQ(decodePacket(packet).fields.size(), Count);
    names.append(u"f%1"_s.arg(Count - 1));
    try {
        decodePacket(packetNaming(names));
        ADD_FAILURE() << "a repeated name was accepted";
    } catch (const EDatabaseError &e) {
        EXPECT_TRUE(e.Message().contains(u"campo 'f%1' repetido"_s.arg(Count - 1)));
    }
}

} // namespace
} // namespace qor
