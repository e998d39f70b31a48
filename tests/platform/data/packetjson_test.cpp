// Packets written straight to JSON text must match, byte for byte, what the
// QJsonObject form gives once written, and refuse the same bad cells.
#include "data/packet.h"
#include "rtl/datetime.h"
#include "rtl/exceptions.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace qor {
namespace {

QByteArray throughTree(const TDataPacket &packet)
{
    return QJsonDocument(encodePacket(packet)).toJson(QJsonDocument::Compact);
}

QString text(std::initializer_list<char16_t> units)
{
    return QString(reinterpret_cast<const QChar *>(units.begin()), qsizetype(units.size()));
}

struct Case
{
    const char *name;
    TFieldType type;
    QVariant value;
};

class PacketJsonCell : public ::testing::TestWithParam<Case>
{
};

TEST_P(PacketJsonCell, MatchesTheTreeWriter)
{
    TDataPacket packet;
    packet.fields = {{u"A"_s, GetParam().type, 0}, {u"B"_s, TFieldType::String, 3}};
    packet.rows = {{GetParam().value, u"x"_s}, {QVariant(), QVariant()}};
    const QByteArray fast = encodePacketJson(packet);
    EXPECT_EQ(fast.toStdString(), throughTree(packet).toStdString());
    // And it reads back as JSON.
    QJsonParseError error;
    QJsonDocument::fromJson(fast, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << fast.constData();
}

const Case Cells[] = {
    {"Null", TFieldType::String, QVariant()},
    {"NullString", TFieldType::String, QVariant(QString())},
    {"Empty", TFieldType::String, QVariant(u""_s)},
    {"Accents", TFieldType::String, QVariant(u"Natação, café, ÇÃO"_s)},
    {"Cjk", TFieldType::String, QVariant(u"日本語"_s)},
    {"Emoji", TFieldType::String, QVariant(text({0xd83d, 0xde00, u'a'}))},
    {"QuotesAndBackslash", TFieldType::String, QVariant(u"\"aspas\" \\ e / barras"_s)},
    {"ControlChars", TFieldType::String,
     QVariant(text({0, 1, 8, 9, 10, 12, 13, 0x1b, 0x1f, 0x7f, u' '}))},
    {"LoneHighSurrogate", TFieldType::String, QVariant(text({u'a', 0xd800, u'b'}))},
    {"LoneLowSurrogate", TFieldType::String, QVariant(text({0xdc00}))},
    {"HighAtEnd", TFieldType::String, QVariant(text({u'é', 0xd83d}))},
    {"Nbsp", TFieldType::String, QVariant(text({0xa0, 0x2028, 0xfeff, 0xffff}))},
    {"Zero", TFieldType::Float, QVariant(0.0)},
    {"MinusZero", TFieldType::Float, QVariant(-0.0)},
    {"PointOne", TFieldType::Float, QVariant(0.1)},
    {"Third", TFieldType::Float, QVariant(1.0 / 3)},
    {"Big", TFieldType::Float, QVariant(1e300)},
    {"Tiny", TFieldType::Float, QVariant(-1e-300)},
    {"Denormal", TFieldType::Float, QVariant(std::numeric_limits<double>::denorm_min())},
    {"Whole", TFieldType::Float, QVariant(42.0)},
    {"Negative", TFieldType::Float, QVariant(-1234.5)},
    {"TwoTo53", TFieldType::Float, QVariant(9007199254740992.0)},
    {"TwoTo53Plus2", TFieldType::Float, QVariant(9007199254740994.0)},
    {"TenTo17", TFieldType::Float, QVariant(1e17)},
    {"TenTo17Plus", TFieldType::Float, QVariant(100000000000000016.0)},
    {"MinusTwoTo53Minus2", TFieldType::Float, QVariant(-9007199254740994.0)},
    {"TwoTo63", TFieldType::Float, QVariant(9223372036854775808.0)},
    {"MinusTwoTo63", TFieldType::Float, QVariant(-9223372036854775808.0)},
    {"Max", TFieldType::Float, QVariant(std::numeric_limits<double>::max())},
    {"IntCell", TFieldType::Float, QVariant(7)},
    {"Date", TFieldType::DateTime, QVariant(45366.5)},
    {"DateWithMs", TFieldType::DateTime, QVariant(45366.5 + 123 / 86400000.0)},
    {"FirstDay", TFieldType::DateTime, QVariant(-693593.0)},
    {"LastDay", TFieldType::DateTime, QVariant(2958465.0)},
    {"DateNull", TFieldType::DateTime, QVariant()},
};

INSTANTIATE_TEST_SUITE_P(Cells, PacketJsonCell, ::testing::ValuesIn(Cells),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(PacketJson, FieldsAndShapesMatchTheTreeWriter)
{
    const struct
    {
        const char *name;
        TDataPacket packet;
    } cases[] = {
        {"NoFields", {}},
        {"NoRows", {{{u"CDFILIAL"_s, TFieldType::String, 4}, {u"VL"_s, TFieldType::Float, 0}}, {}}},
        {"SizedFloatAndOddNames",
         {{{u"Quote\"d"_s, TFieldType::Float, 8},
           {u"Ção"_s, TFieldType::DateTime, 0},
           {u"S"_s, TFieldType::String, 0}},
          {{1.5, 45000.0, u"a"_s}, {QVariant(), QVariant(), QVariant()}}}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(encodePacketJson(c.packet).toStdString(), throughTree(c.packet).toStdString())
            << c.name;
}

TEST(PacketJson, WritesDateTimesAsLocalIsoText)
{
    const struct
    {
        TDateTime value;
        const char *text;
    } cases[] = {
        {45366.5 + 123 / 86400000.0, "2024-03-15T12:00:00.123"},
        {EncodeDateTime(QDate(2024, 2, 29), 86399999), "2024-02-29T23:59:59.999"},
        {EncodeDateTime(QDate(1, 1, 1), 0), "0001-01-01T00:00:00.000"},
        {EncodeDateTime(QDate(9999, 12, 31), 3723004), "9999-12-31T01:02:03.004"},
        {EncodeDateTime(QDate(1899, 12, 30), 59000), "1899-12-30T00:00:59.000"},
    };
    for (const auto &c : cases) {
        const TDataPacket packet{{{u"D"_s, TFieldType::DateTime, 0}}, {{c.value}}};
        EXPECT_EQ(encodePacketJson(packet).toStdString(),
                  std::string(R"({"fields":[{"name":"D","type":"datetime"}],"rows":[[")") + c.text
                      + R"("]]})");
    }
}

TEST(PacketJson, RefusesTheSameCellsWithTheSameMessage)
{
    const struct
    {
        const char *name;
        TFieldType type;
        QVariantList row; // two cells
    } cases[] = {
        {"NumberInText", TFieldType::String, {QVariant(1.5), u"x"_s}},
        {"TextInNumber", TFieldType::Float, {QVariant(u"1.5"_s), u"x"_s}},
        {"NaN", TFieldType::Float, {QVariant(std::nan("")), u"x"_s}},
        {"Infinity", TFieldType::Float, {QVariant(HUGE_VAL), u"x"_s}},
        {"TextInDate", TFieldType::DateTime, {QVariant(u"2024-01-01"_s), u"x"_s}},
        {"DateOutOfRange", TFieldType::DateTime, {QVariant(1e9), u"x"_s}},
        {"ShortRow", TFieldType::Float, {QVariant(1.0)}},
        {"LongRow", TFieldType::Float, {QVariant(1.0), u"x"_s, u"y"_s}},
    };
    for (const auto &c : cases) {
        TDataPacket packet;
        packet.fields = {{u"A"_s, c.type, 0}, {u"B"_s, TFieldType::String, 3}};
        packet.rows = {{QVariant(), QVariant()}, c.row};
        QString expected, actual;
        try {
            throughTree(packet);
        } catch (const EDatabaseError &e) {
            expected = e.Message();
        }
        try {
            encodePacketJson(packet);
        } catch (const EDatabaseError &e) {
            actual = e.Message();
        }
        EXPECT_FALSE(expected.isEmpty()) << c.name;
        EXPECT_EQ(actual, expected) << c.name;
    }
}

} // namespace
} // namespace qor
