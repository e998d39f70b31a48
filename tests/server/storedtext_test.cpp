// What the databases hand back, read under hostile content: numbers SQLite keeps as text
// or as infinities, date-times typed by hand or beyond the calendar the wire carries.
// Whatever is read must go out in a packet; what cannot is unreadable, never a figure.
#include "sql/databaseuri.h"
#include "sql/sqlconnection.h"
#include "sql/sqldatetime.h"
#include "sql/sqlquery.h"

#include "data/packet.h"
#include "rtl/exceptions.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace Qt::StringLiterals;

namespace qor {
namespace {

struct StoredCase
{
    const char *name;
    TFieldType type;
    QVariant stored; // as a driver hands it over
    bool readable;
    double value = 0; // read, when readable: a number, or days since 1899-12-30
};

// A value either reads as one that a packet carries, or is refused as unreadable.
TEST(StoredValues, AreReadOnlyWhenAPacketCanCarryThem)
{
    const double inf = std::numeric_limits<double>::infinity();
    const StoredCase cases[] = {
        {"number", TFieldType::Float, QVariant(70.5), true, 70.5},
        {"number kept as text", TFieldType::Float, QVariant(u"70.5"_s), true, 70.5},
        {"text infinity", TFieldType::Float, QVariant(u"inf"_s), false},
        {"text minus infinity", TFieldType::Float, QVariant(u"-inf"_s), false},
        {"text not a number", TFieldType::Float, QVariant(u"nan"_s), false},
        {"real infinity", TFieldType::Float, QVariant(inf), false},
        {"real minus infinity", TFieldType::Float, QVariant(-inf), false},
        {"real not a number", TFieldType::Float, QVariant(std::nan("")), false},
        {"decimal comma", TFieldType::Float, QVariant(u"70,5"_s), false},
        {"driver date-time", TFieldType::DateTime,
         QVariant(QDateTime(QDate(2024, 2, 29), QTime(12, 0), Qt::LocalTime)), true, 45351.5},
        {"driver date-time of the year 10000", TFieldType::DateTime,
         QVariant(QDateTime(QDate(10000, 1, 1), QTime(0, 0), Qt::LocalTime)), false},
        {"driver date-time before the year 1", TFieldType::DateTime,
         QVariant(QDateTime(QDate(-44, 3, 15), QTime(0, 0), Qt::LocalTime)), false},
        {"driver date-time at the end of the year 9999", TFieldType::DateTime,
         QVariant(QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999), Qt::LocalTime)), true,
         2958465 + 86399999.0 / 86400000.0},
        {"stored text", TFieldType::DateTime, QVariant(u"2024-02-29 12:00:00.000"_s), true,
         45351.5},
        {"year 0", TFieldType::DateTime, QVariant(u"0000-01-01 00:00:00.000"_s), false},
    };
    for (const StoredCase &c : cases) {
        SCOPED_TRACE(c.name);
        QVariant value;
        try {
            value = fromSqlValue(c.type, c.stored);
        } catch (const EDatabaseError &e) {
            EXPECT_FALSE(c.readable) << e.Message().toStdString();
            continue;
        }
        EXPECT_TRUE(c.readable) << "read as " << value.toString().toStdString();
        EXPECT_NEAR(value.toDouble(), c.value, 1e-9);
        EXPECT_NO_THROW(encodeValue(c.type, value));
    }
}

// Through a real database: a patient's weight SQLite keeps as an infinity, written as a
// text or as a number, is an unreadable cell of its row, and the row still travels.
TEST(StoredValues, AnInfiniteStoredNumberSpoilsOnlyItsCell)
{
    QTemporaryDir dir;
    const DatabaseUri uri = DatabaseUri::parse(u"sqlite:"_s + dir.filePath(u"t.db"_s));
    {
        QSqlDatabase db = openDatabase(uri, u"storedtext"_s);
        execSql(db, u"CREATE TABLE t (id INTEGER, peso REAL)"_s);
        execSql(db, u"INSERT INTO t VALUES (1, 'inf'), (2, 9e999), (3, -9e999), (4, 70.5)"_s);
        const QList<TFieldDef> fields{{u"ID"_s, TFieldType::Float, 0},
                                      {u"PESO"_s, TFieldType::Float, 0}};
        QSqlQuery query(db);
        ASSERT_TRUE(query.exec(u"SELECT id, peso FROM t ORDER BY id"_s));
        const TDataPacket packet = packetFromQuery(query, fields, UnreadableValues::ReadAsNull);
        ASSERT_EQ(packet.rows.size(), 4);
        for (int r = 0; r < 3; ++r)
            EXPECT_FALSE(packet.rows[r][1].isValid()) << r << ": " << packet.rows[r][1].toDouble();
        EXPECT_EQ(packet.rows[3][1], QVariant(70.5));
        EXPECT_NO_THROW(encodePacketJson(packet));

        ASSERT_TRUE(query.exec(u"SELECT id, peso FROM t ORDER BY id"_s));
        EXPECT_THROW(packetFromQuery(query, fields), EDatabaseError);
        query.clear();
        db.close();
    }
    QSqlDatabase::removeDatabase(u"storedtext"_s);
}

const char16_t Alphabet[] = {u'0', u'1', u'2', u'9',   u'-',   u':',   u'.',  u' ',
                             u'T', u'Z', u'+', 0xFF11, 0x0661, 0x00A0, u'\n', u'\0'};

// Texts typed into a date-time column by hand: each is refused, or read as a moment
// that stores back as the same calendar moment.
TEST(StoredValues, HandTypedDateTimesAreReadOrRefusedCleanly)
{
    QRandomGenerator random(2024);
    const QStringList seeds{u"2024-02-29 23:59:59.999"_s, u"2024-02-29T23:59:59.5"_s,
                            u"0001-01-01"_s, u"9999-12-31 23:59:59"_s};
    for (int round = 0; round < 20000; ++round) {
        QString text = seeds.at(round % seeds.size());
        for (int m = int(random.bounded(3)); m >= 0; --m) {
            const int at = int(random.bounded(int(text.size()) + 1));
            const QChar c(Alphabet[random.bounded(int(std::size(Alphabet)))]);
            if (random.bounded(2) && at < text.size())
                text[at] = c;
            else
                text.insert(at, c);
        }
        SCOPED_TRACE(text.toStdString());
        TDateTime value = 0;
        try {
            value = sqlTextToDateTime(text);
        } catch (const EDatabaseError &) {
            continue;
        }
        const QString stored = dateTimeToSqlText(value);
        EXPECT_EQ(sqlTextToDateTime(stored), value);
        EXPECT_EQ(stored.left(10), text.trimmed().left(10));
    }
}

} // namespace
} // namespace qor
