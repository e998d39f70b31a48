// Deltas a caller other than the screen could send (another version, a script, a buggy
// integration), through a real qor-server: each is refused with a Portuguese message and
// leaves the database as it was, and the server keeps answering.
#include "planfixture.h"

#include <QJsonArray>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

class ForeignCallers : public PlanServerTest
{
protected:
    // Every row of the tables the plan service writes, for "nothing changed".
    QStringList everything()
    {
        QStringList rows;
        for (const QString &table : {u"METOAVAL"_s, u"INFOAVAL"_s, u"PLAEXERFISI"_s})
            rows.append(u"%1 %2"_s.arg(table).arg(count(table)));
        const TDataPacket plan =
            select(u"SELECT CDEXERFISICO, QTHREXERFISI FROM PLAEXERFISI ORDER BY CDEXERFISICO"_s,
                   {{u"CDEXERFISICO"_s, TFieldType::String, 6},
                    {u"QTHREXERFISI"_s, TFieldType::Float, 0}});
        for (const QVariantList &r : plan.rows)
            rows.append(r[0].toString() + u' ' + QString::number(r[1].toDouble()));
        return rows;
    }
};

// A delta written by hand, as any JSON a caller could send.
QJsonObject fieldsOnly(int count)
{
    QJsonArray fields;
    for (int i = 0; i < count; ++i)
        fields.append(QJsonObject{{u"name"_s, u"F%1"_s.arg(i)}, {u"type"_s, u"float"_s}});
    return QJsonObject{{u"fields"_s, fields}, {u"changes"_s, QJsonArray()}};
}

struct ShapeCase
{
    const char *name;
    QString method;
    QJsonObject delta;
    QString messagePart;
};

// Deltas whose very shape is wrong are answered at once: a worker held for long by one
// caller leaves every other connection it serves waiting.
TEST_P(ForeignCallers, AnswerDeltasOfAbsurdShapeAtOnce)
{
    const QStringList before = everything();
    const QList<ShapeCase> cases{
        {"two hundred thousand fields", u"SetPlaneja"_s, fieldsOnly(200000), u"campos"_s},
        {"two hundred thousand fields for the weight", u"SetPeso"_s, fieldsOnly(200000),
         u"campos"_s},
    };
    for (const ShapeCase &c : cases) {
        SCOPED_TRACE(c.name);
        const QJsonObject result = call(c.method, {c.delta});
        const QJsonObject error = result.value(u"error"_s).toObject();
        EXPECT_EQ(error.value(u"code"_s).toInt(), -32602) << outcome(result);
        EXPECT_TRUE(error.value(u"message"_s).toString().contains(c.messagePart))
            << outcome(result);
        // The same connection is served again straight away.
        EXPECT_EQ(decodePacket(ok(u"GetPlaneja"_s, {Branch, consultaIso(), Maria})).rows.size(), 3);
    }
    EXPECT_EQ(everything(), before);
}

QOR_INSTANTIATE_BACKENDS(ForeignCallers);

} // namespace
} // namespace qor::testing
