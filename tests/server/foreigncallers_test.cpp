// Deltas a caller other than the screen could send (another version, a script, a buggy
// integration), through a real qor-server: each is refused with a Portuguese message and
// leaves the database as it was, and the server keeps answering.
#include "planfixture.h"

#include "deltaresolver.h"
#include "sql/sqlconnection.h"
#include "sql/sqlerror.h"
#include "tables.h"

#include <QJsonArray>
#include <algorithm>
#include <numeric>

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
        // The limit itself: no table has more than 8 fields, a delta may name 64.
        {"one field over the limit", u"SetPlaneja"_s, fieldsOnly(65),
         u"campos demais (65; no máximo 64)"_s},
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

struct TextCase
{
    const char *name;
    QString method;
    QList<TFieldDef> fields;
    QList<TDeltaChange> changes;
};

// Text that cannot be stored as it was sent: a NUL (which PostgreSQL refuses and which
// would cut the statement short) or half of a UTF-16 surrogate pair, as a client that cuts
// a text to its column's length in code units leaves of an emoji (stored as a replacement
// character, so the row would no longer hold what the caller was told was saved).
TEST_P(ForeignCallers, RefuseTextThatCannotBeStoredAsSent)
{
    const QVariantList weight =
        decodePacket(ok(u"GetPeso"_s, {Branch, Maria, consultaIso()})).rows.value(0);
    ASSERT_EQ(weight.size(), 6);
    const auto withText = [](QVariantList row, int column, const QString &text) {
        row[column] = text;
        return row;
    };
    const QString nul = u"68"_s + QChar(0) + u"5"_s;
    const QString halfPair = u"68,5 "_s + QChar(0xD83D);
    const QString lowHalf = QChar(0xDE00) + u"x"_s;
    const QVariantList method{Branch, Joao, consulta, u"01"_s, u"N"_s};
    const QList<TextCase> cases{
        {"weight with a NUL",
         u"SetPeso"_s,
         pesoDeltaFields(),
         {updateOf(weight, withText(weight, 5, nul))}},
        {"weight ending in half a pair",
         u"SetPeso"_s,
         pesoDeltaFields(),
         {updateOf(weight, withText(weight, 5, halfPair))}},
        {"weight starting with the pair's second half",
         u"SetPeso"_s,
         pesoDeltaFields(),
         {updateOf(weight, withText(weight, 5, lowHalf))}},
        {"method flag with a NUL",
         u"SetMetoAval"_s,
         metoAvalDeltaFields(),
         {insertOf(withText(method, 4, QString(QChar(0))))}},
        {"patient key with a NUL",
         u"SetMetoAval"_s,
         metoAvalDeltaFields(),
         {insertOf(withText(method, 1, u"0000000"_s + QChar(0) + u"0002"_s))}},
        {"exercise code with half a pair",
         u"SetPlaneja"_s,
         planDeltaFields(),
         {insertOf(planRow(Maria, consulta, u"01202"_s + QChar(0xD83D), 0.5))}},
    };
    const QStringList before = everything();
    for (const TextCase &c : cases) {
        SCOPED_TRACE(c.name);
        const QJsonObject result = call(c.method, {deltaJson(c.fields, c.changes)});
        const QJsonObject error = result.value(u"error"_s).toObject();
        EXPECT_EQ(error.value(u"code"_s).toInt(), -32602) << outcome(result);
        EXPECT_TRUE(error.value(u"message"_s).toString().contains(u"caracteres inválidos"_s))
            << outcome(result);
    }
    EXPECT_EQ(everything(), before);
    EXPECT_EQ(decodePacket(ok(u"GetPeso"_s, {Branch, Maria, consultaIso()})).rows.value(0), weight);
}

// A weight text a caller saves is either read back exactly as sent, on either database,
// or refused with nothing stored. SQLite hands the noncharacters U+FFFE and U+FFFF back
// as U+FFFD: saved there, the weight read back differed from what the caller was told
// was saved, and the row could no longer be changed by the values it was read with.
TEST_P(ForeignCallers, WeightTextIsReadBackAsSentOrRefused)
{
    struct Case
    {
        const char *name;
        QString text;
        bool stored;
    };
    const QList<Case> cases{
        {"accents, cedilla and an emoji", u"Açaí ção 😀"_s, true},
        {"leading and trailing spaces", u"  68,5  "_s, true},
        {"quotes and backslashes", u"'6\"8\\5"_s, true},
        {"control characters", u"\t6\r8\n\x1b\x7f"_s, true},
        {"replacement character", QChar(0xFFFD) + u"68,5"_s, true},
        {"noncharacters beyond the basic plane", u"68,5 \U0001FFFE\U0010FFFF"_s, true},
        {"noncharacter U+FFFF", u"68,5"_s + QChar(0xFFFF), false},
        {"noncharacter U+FFFE", QChar(0xFFFE) + u"68,5"_s, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QVariantList weight =
            decodePacket(ok(u"GetPeso"_s, {Branch, Maria, consultaIso()})).rows.value(0);
        ASSERT_EQ(weight.size(), 6);
        QVariantList changed = weight;
        changed[5] = c.text;
        const QJsonObject result =
            call(u"SetPeso"_s, {deltaJson(pesoDeltaFields(), {updateOf(weight, changed)})});
        const QVariantList after =
            decodePacket(ok(u"GetPeso"_s, {Branch, Maria, consultaIso()})).rows.value(0);
        ASSERT_EQ(after.size(), 6);
        if (c.stored) {
            EXPECT_EQ(outcome(result), "ok");
            EXPECT_EQ(after[5].toString(), c.text);
        } else {
            const QJsonObject error = result.value(u"error"_s).toObject();
            EXPECT_EQ(error.value(u"code"_s).toInt(), -32602) << outcome(result);
            EXPECT_TRUE(error.value(u"message"_s).toString().contains(u"caracteres inválidos"_s))
                << outcome(result);
            EXPECT_EQ(after, weight);
        }
    }
}

// The same characters in a reading call's arguments are refused the same way: on
// PostgreSQL a NUL reached the driver, which answered with its own English text.
TEST_P(ForeignCallers, RefuseReadingArgumentsThatAreNoText)
{
    const QString nul = u"0000"_s + QChar(0) + u"0000001"_s;
    const QString halfPair = u"00000000000"_s + QChar(0xD83D);
    const QList<std::pair<QString, QJsonArray>> calls{
        {u"GetPaciente"_s, {Branch, nul}},
        {u"GetPaciente"_s, {QString(QChar(0)), Maria}},
        {u"GetPeso"_s, {Branch, halfPair, consultaIso()}},
        {u"GetMetoAval"_s, {Branch, Maria, nul, consultaIso()}},
        {u"VerifExerc"_s, {Branch, Maria, consultaIso(), u"01"_s + QChar(0) + u"2020"_s}},
        {u"GetPlaneja"_s, {Branch, consultaIso(), nul}},
    };
    for (const auto &[method, params] : calls) {
        SCOPED_TRACE(method.toStdString());
        const QJsonObject result = call(method, params);
        const QJsonObject error = result.value(u"error"_s).toObject();
        EXPECT_EQ(error.value(u"code"_s).toInt(), -32602) << outcome(result);
        EXPECT_TRUE(error.value(u"message"_s).toString().contains(u"caracteres inválidos"_s))
            << outcome(result);
    }
    EXPECT_EQ(decodePacket(ok(u"GetPlaneja"_s, {Branch, consultaIso(), Maria})).rows.size(), 3);
}

// The same change sent with its fields in another order is the same statement: a caller
// shuffling them would otherwise have each worker's connection keep (and PostgreSQL
// prepare) a new statement for every order, without end.
TEST_P(ForeignCallers, KeepOneStatementWhateverTheOrderOfTheFields)
{
    // The server's own path: a thread connection, which keeps its statements.
    const QSqlDatabase db = threadDatabase(server->database());
    const QList<TFieldDef> fields = planDeltaFields();
    QList<int> order(fields.size());
    std::iota(order.begin(), order.end(), 0);
    double hours = 1.0;
    int keptAfterFirst = -1;
    for (int round = 0; round < 24; ++round) {
        SCOPED_TRACE(round);
        QList<TFieldDef> shuffled;
        QVariantList oldRow, newRow;
        const QVariantList stored = planRow(Maria, consulta, u"017190"_s, hours);
        for (int i : order) {
            shuffled.append(fields[i]);
            oldRow.append(stored[i]);
            newRow.append(i == 4 ? QVariant(hours + 1) : stored[i]);
        }
        TDelta delta{
            shuffled,
            {updateOf(oldRow, newRow)},
        };
        ASSERT_NO_THROW(applyDelta(db, plaExerFisiTable(), delta));
        hours += 1;
        if (round == 0)
            keptAfterFirst = cachedStatementCount(db);
        else
            EXPECT_EQ(cachedStatementCount(db), keptAfterFirst);
        std::next_permutation(order.begin(), order.end());
        std::rotate(order.begin(), order.begin() + 1, order.end());
    }
    EXPECT_GT(keptAfterFirst, 0);
    closeThreadDatabase(server->database());
    const TDataPacket plan = decodePacket(ok(u"GetPlaneja"_s, {Branch, consultaIso(), Maria}));
    ASSERT_EQ(plan.rows.size(), 3);
    EXPECT_EQ(plan.rows[1][4].toDouble(), hours);
}

// A delta over its budget stops at the next row instead of running to its end only to be
// rolled back: told by a later row's own failure which of the two happened.
TEST_P(ForeignCallers, StopADeltaOnceItIsOverItsBudget)
{
    struct Case
    {
        const char *name;
        std::chrono::milliseconds budget;
        std::string outcome;
    };
    const Case cases[] = {
        {"within its budget", std::chrono::milliseconds(SqlSaveBudgetMs),
         "duplicate: Exercício físico já cadastrado."},
        {"already over it", std::chrono::milliseconds(0), "busy"},
    };
    const TDelta delta{planDeltaFields(),
                       {insertOf(planRow(Maria, consulta, u"012020"_s, 0.5)),
                        insertOf(planRow(Maria, consulta, u"017190"_s, 0.5))}};
    const QSqlDatabase db = threadDatabase(server->database());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string outcome = "stored";
        try {
            applyDelta(db, plaExerFisiTable(), delta, c.budget);
        } catch (const RpcError &e) {
            outcome =
                (e.code == RpcDuplicate ? "duplicate: " : "other: ") + e.message.toStdString();
        } catch (const ESqlError &e) {
            outcome = e.kind() == SqlErrorKind::Busy ? "busy" : e.Message().toStdString();
        }
        EXPECT_EQ(outcome, c.outcome);
        EXPECT_EQ(count(u"PLAEXERFISI"_s), 3);
    }
    closeThreadDatabase(server->database());
}

QOR_INSTANTIATE_BACKENDS(ForeignCallers);

} // namespace
} // namespace qor::testing
