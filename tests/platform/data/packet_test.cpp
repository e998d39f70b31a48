// The JSON form of data packets and deltas, and what a malformed one gets.
#include "data/packet.h"
#include "rtl/exceptions.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>

using namespace Qt::StringLiterals;

namespace qor {
namespace {

const QList<TFieldDef> PlanFields = {{u"CDFILIAL"_s, TFieldType::String, 4},
                                     {u"DTCONSPACI"_s, TFieldType::DateTime, 0},
                                     {u"QTHREXERFISI"_s, TFieldType::Float, 0},
                                     {u"DSEXERFISICO"_s, TFieldType::String, 100}};

// Through bytes, as on the wire.
QJsonValue overTheWire(const QJsonObject &object)
{
    return QJsonDocument::fromJson(QJsonDocument(object).toJson(QJsonDocument::Compact)).object();
}

TEST(Packet, RoundTripsThroughJsonText)
{
    TDataPacket packet;
    packet.fields = PlanFields;
    packet.rows = {
        {u"0001"_s, 45366.5 + 123 / 86400000.0, 1.5, u"Natação, estilo livre"_s},
        {QVariant(), QVariant(), QVariant(), QVariant()},
        {u""_s, -1.25, -1e-9, u"\"aspas\" \\ e barras / 日本"_s},
        {u"9999"_s, 2958465.0, 1e300, QString(100, u'x')},
        // Four characters beyond the basic plane fill a size of 4, as a database counts.
        {u"\U0001D49C\U0001D49C\U0001D49C\U0001D49C"_s, 0.0, 0.0, QString()},
    };
    const TDataPacket back = decodePacket(overTheWire(encodePacket(packet)));
    EXPECT_EQ(back.fields, packet.fields);
    ASSERT_EQ(back.rows.size(), packet.rows.size());
    for (qsizetype r = 0; r < packet.rows.size(); ++r) {
        for (qsizetype c = 0; c < packet.fields.size(); ++c) {
            const QVariant want = packet.rows[r][c];
            const QVariant got = back.rows[r][c];
            if (want.metaType().id() == QMetaType::Double)
                EXPECT_NEAR(got.toDouble(), want.toDouble(),
                            1e-9 * std::max(1.0, std::abs(want.toDouble())))
                    << r << "," << c;
            else
                EXPECT_EQ(got, want) << r << "," << c;
        }
    }
}

TEST(Packet, DateTimesTravelAsLocalIsoText)
{
    const double noonAnd123ms = 45366.5 + 123 / 86400000.0;
    EXPECT_EQ(encodeValue(TFieldType::DateTime, noonAnd123ms).toString(),
              u"2024-03-15T12:00:00.123"_s);
    EXPECT_EQ(encodeValue(TFieldType::DateTime, 45366.0).toString(), u"2024-03-15T00:00:00.000"_s);
    EXPECT_EQ(decodeValue(TFieldType::DateTime, u"2024-03-15T12:00:00"_s, u"D"_s),
              QVariant(45366.5));
    EXPECT_EQ(decodeValue(TFieldType::DateTime, u"2024-03-15"_s, u"D"_s), QVariant(45366.0));
    EXPECT_NEAR(decodeValue(TFieldType::DateTime, u"2024-03-15T12:00:00.123"_s, u"D"_s).toDouble(),
                noonAnd123ms, 1e-12);
    EXPECT_THROW(encodeValue(TFieldType::DateTime, 1e7), EDatabaseError); // beyond the year 9999
}

TEST(Packet, EncodingValuesOfTheWrongTypeRaises)
{
    TDataPacket packet;
    packet.fields = PlanFields;
    packet.rows = {{u"0001"_s, 1.0, u"1,5"_s, u"x"_s}};
    EXPECT_THROW(encodePacket(packet), EDatabaseError);
    packet.rows = {{u"0001"_s, 1.0, std::numeric_limits<double>::quiet_NaN(), u"x"_s}};
    EXPECT_THROW(encodePacket(packet), EDatabaseError);
    packet.rows = {{u"0001"_s, 1.0}};
    EXPECT_THROW(encodePacket(packet), EDatabaseError);
}

TEST(Delta, RoundTripsThroughJsonText)
{
    TDelta delta;
    delta.fields = PlanFields;
    delta.changes = {
        {TChangeOp::Delete, {u"0001"_s, 45366.0, 1.0, u"a"_s}, {}},
        {TChangeOp::Update, {u"0001"_s, 45366.0, 1.0, u"b"_s}, {u"0001"_s, 45366.0, 2.5, u"b"_s}},
        {TChangeOp::Insert, {}, {u"0002"_s, QVariant(), QVariant(), u"c"_s}},
    };
    const QJsonObject json = encodeDelta(delta);
    EXPECT_EQ(json.value(u"changes").toArray().at(0).toObject().value(u"op").toString(),
              u"delete"_s);
    EXPECT_FALSE(json.value(u"changes").toArray().at(0).toObject().contains(u"new"));
    const TDelta back = decodeDelta(overTheWire(json));
    EXPECT_EQ(back.fields, delta.fields);
    ASSERT_EQ(back.changes.size(), 3);
    for (qsizetype i = 0; i < 3; ++i) {
        EXPECT_EQ(back.changes[i].op, delta.changes[i].op);
        EXPECT_EQ(back.changes[i].oldValues, delta.changes[i].oldValues);
        EXPECT_EQ(back.changes[i].newValues, delta.changes[i].newValues);
    }
}

struct Malformed
{
    const char *json;
    const char *says; // part of the message
};

void PrintTo(const Malformed &c, std::ostream *os)
{
    *os << c.json;
}

QJsonValue parse(const char *text)
{
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray(text));
    if (doc.isArray())
        return doc.array();
    if (doc.isObject())
        return doc.object();
    return QJsonValue(); // undefined, for texts that are not JSON documents
}

void expectRefused(const std::function<void()> &decode, const char *says)
{
    try {
        decode();
        ADD_FAILURE() << "accepted";
    } catch (const EDatabaseError &e) {
        EXPECT_TRUE(e.Message().contains(QString::fromUtf8(says)))
            << e.Message().toStdString() << " / wanted: " << says;
    }
}

class MalformedPacket : public ::testing::TestWithParam<Malformed>
{
};

TEST_P(MalformedPacket, RaisesADatabaseErrorNamingTheProblem)
{
    expectRefused([] { decodePacket(parse(GetParam().json)); }, GetParam().says);
}

#define FIELD_A R"({"name":"A","type":"string","size":3})"
#define FIELD_F R"({"name":"F","type":"float"})"
#define FIELD_D R"({"name":"D","type":"datetime"})"

INSTANTIATE_TEST_SUITE_P(
    Inputs, MalformedPacket,
    ::testing::Values(
        Malformed{"[]", "não é um objeto"}, Malformed{"7", "não é um objeto"},
        Malformed{"{}", "\"fields\""}, Malformed{R"({"fields":{},"rows":[]})", "\"fields\""},
        Malformed{R"({"fields":[1],"rows":[]})", "campo 1 não é um objeto"},
        Malformed{R"({"fields":[{"type":"string"}],"rows":[]})", "sem \"name\""},
        Malformed{R"({"fields":[{"name":"","type":"string"}],"rows":[]})", "sem \"name\""},
        Malformed{R"({"fields":[{"name":"A","type":"blob"}],"rows":[]})",
                  "tipo desconhecido no campo 'A'"},
        Malformed{R"({"fields":[{"name":"A"}],"rows":[]})", "tipo desconhecido no campo 'A'"},
        Malformed{R"({"fields":[{"name":"A","type":"string","size":-1}],"rows":[]})",
                  "tamanho inválido no campo 'A'"},
        Malformed{R"({"fields":[{"name":"A","type":"string","size":2.5}],"rows":[]})",
                  "tamanho inválido"},
        Malformed{R"({"fields":[{"name":"A","type":"string","size":"4"}],"rows":[]})",
                  "tamanho inválido"},
        Malformed{R"({"fields":[)" FIELD_A R"(,{"name":"a","type":"float"}],"rows":[]})",
                  "campo 'a' repetido"},
        Malformed{R"({"fields":[)" FIELD_A R"(]})", "\"rows\""},
        Malformed{R"({"fields":[)" FIELD_A R"(],"rows":{}})", "\"rows\""},
        Malformed{R"({"fields":[)" FIELD_A R"(],"rows":["x"]})", "linha 1 não é uma lista"},
        Malformed{R"({"fields":[)" FIELD_A R"(],"rows":[["x","y"]]})",
                  "linha 1 tem 2 valores; esperados 1"},
        Malformed{R"({"fields":[)" FIELD_A R"(],"rows":[[]]})", "linha 1 tem 0 valores"},
        Malformed{R"({"fields":[)" FIELD_A R"(],"rows":[[5]]})",
                  "linha 1, campo 'A': esperado um texto"},
        Malformed{R"({"fields":[)" FIELD_A R"(],"rows":[["abcd"]]})", "texto com 4 caracteres"},
        Malformed{R"({"fields":[)" FIELD_A
                  R"(],"rows":[["\ud835\udc9c\ud835\udc9c\ud835\udc9c\ud835\udc9c"]]})",
                  "texto com 4 caracteres para o tamanho 3"},
        Malformed{R"({"fields":[)" FIELD_F R"(],"rows":[[1],["1,5"]]})",
                  "linha 2, campo 'F': esperado um número"},
        Malformed{R"({"fields":[)" FIELD_F R"(],"rows":[[true]]})", "esperado um número"},
        Malformed{R"({"fields":[)" FIELD_D R"(],"rows":[[45366]]})", "esperada uma data e hora"},
        Malformed{R"({"fields":[)" FIELD_D R"(],"rows":[["15/03/2024"]]})",
                  "data e hora '15/03/2024'"},
        Malformed{R"({"fields":[)" FIELD_D R"(],"rows":[["2024-02-30T00:00:00.000"]]})",
                  "2024-02-30"},
        Malformed{R"({"fields":[)" FIELD_D R"(],"rows":[["2024-03-15T24:00:00.000"]]})", "T24"},
        Malformed{R"({"fields":[)" FIELD_D R"(],"rows":[["2024-03-15T10:00:00Z"]]})", "10:00:00Z"},
        Malformed{R"({"fields":[)" FIELD_D R"(],"rows":[["2024-3-15"]]})", "2024-3-15"}));

class MalformedDelta : public ::testing::TestWithParam<Malformed>
{
};

TEST_P(MalformedDelta, RaisesADatabaseErrorNamingTheProblem)
{
    expectRefused([] { decodeDelta(parse(GetParam().json)); }, GetParam().says);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, MalformedDelta,
    ::testing::Values(
        Malformed{"[]", "Delta inválido: não é um objeto"},
        Malformed{R"({"fields":[)" FIELD_F R"(]})", "\"changes\""},
        Malformed{R"({"fields":[)" FIELD_F R"(],"changes":[3]})", "alteração 1 não é um objeto"},
        Malformed{R"({"fields":[)" FIELD_F R"(],"changes":[{"op":"upsert","new":[1]}]})",
                  "\"op\" desconhecido"},
        Malformed{R"({"fields":[)" FIELD_F R"(],"changes":[{"new":[1]}]})", "\"op\" desconhecido"},
        Malformed{R"({"fields":[)" FIELD_F R"(],"changes":[{"op":"insert"}]})",
                  "alteração 1 (\"new\") não é uma lista"},
        Malformed{R"({"fields":[)" FIELD_F R"(],"changes":[{"op":"update","new":[1]}]})",
                  "(\"old\") não é uma lista"},
        Malformed{R"({"fields":[)" FIELD_F
                  R"(],"changes":[{"op":"update","old":[1,2],"new":[1]}]})",
                  "(\"old\") tem 2 valores; esperados 1"},
        Malformed{R"({"fields":[)" FIELD_F R"(],"changes":[{"op":"delete","old":["x"]}]})",
                  "esperado um número"},
        Malformed{R"({"fields":[)" FIELD_F
                  R"(],"changes":[{"op":"delete","old":[1]},{"op":"delete"}]})",
                  "alteração 2"}));

// Every cell and every field definition of a good packet replaced in turn by each kind
// of JSON value: decoding either succeeds or raises EDatabaseError, nothing else.
TEST(Packet, AnyValueAnywhereIsDecodedOrRefusedCleanly)
{
    TDataPacket packet;
    packet.fields = PlanFields;
    packet.rows = {{u"0001"_s, 45366.5, 1.5, u"a"_s}, {u"0002"_s, 45367.0, 2.0, u"b"_s}};
    const QJsonObject good = encodePacket(packet);
    const QJsonValue kinds[] = {
        QJsonValue(),     QJsonValue(1.5),          QJsonValue(u"x"_s),
        QJsonValue(true), QJsonValue(QJsonArray()), QJsonValue(QJsonObject()),
        QJsonValue(-1)};
    int refused = 0, accepted = 0;
    const auto attempt = [&](const QJsonObject &candidate) {
        try {
            decodePacket(candidate);
            ++accepted;
        } catch (const EDatabaseError &) {
            ++refused;
        }
    };
    for (const QJsonValue &kind : kinds) {
        for (qsizetype r = 0; r < 2; ++r) {
            for (qsizetype c = 0; c < PlanFields.size(); ++c) {
                QJsonObject candidate = good;
                QJsonArray rows = candidate.value(u"rows").toArray();
                QJsonArray row = rows.at(r).toArray();
                row.replace(c, kind);
                rows.replace(r, row);
                candidate.insert(u"rows"_s, rows);
                attempt(candidate);
            }
            QJsonObject candidate = good;
            QJsonArray rows = candidate.value(u"rows").toArray();
            rows.replace(r, kind);
            candidate.insert(u"rows"_s, rows);
            attempt(candidate);
        }
        for (qsizetype f = 0; f < PlanFields.size(); ++f) {
            for (const QString &key : {u"name"_s, u"type"_s, u"size"_s}) {
                QJsonObject candidate = good;
                QJsonArray fields = candidate.value(u"fields").toArray();
                QJsonObject def = fields.at(f).toObject();
                def.insert(key, kind);
                fields.replace(f, def);
                candidate.insert(u"fields"_s, fields);
                attempt(candidate);
            }
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(accepted, 0); // nulls in cells, sizes that fit
}

} // namespace
} // namespace qor
