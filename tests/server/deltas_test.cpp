// Deltas through a real qor-server, read back from the database: inserts, updates and
// deletes; the optimistic check against rows changed behind the client's back;
// uniqueness, missing parents and malformed deltas, each leaving nothing written.
#include "planfixture.h"

#include "deltaresolver.h"
#include "sql/sqlconnection.h"
#include "sql/sqlerror.h"
#include "sql/sqlquery.h"

#include <QJsonArray>
#include <QSemaphore>
#include <QThread>
#include <chrono>
#include <functional>
#include <thread>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

const QString Conflict = u"Registro alterado ou excluído por outro usuário."_s;
const QString Duplicate = u"Exercício físico já cadastrado."_s;

class PlanDeltas : public PlanServerTest
{
protected:
    // The demo plan again, whatever the last case did.
    void resetPlan()
    {
        execSql(server->db(), u"DELETE FROM PLAEXERFISI"_s);
        const QList<std::tuple<QString, double, double>> rows{
            {u"002054"_s, 0.75, 3.5}, {u"017190"_s, 1.0, 3.5}, {u"018310"_s, 0.5, 6.0}};
        for (const auto &[code, hours, kcal] : rows) {
            SqlStatement insert(server->db(),
                                u"INSERT INTO PLAEXERFISI VALUES (?, ?, ?, ?, ?, ?)"_s);
            insert.bind(Branch).bind(Maria).bind(TFieldType::DateTime, consulta).bind(code);
            insert.bind(hours).bind(kcal).exec();
        }
    }

    QStringList plan()
    {
        const TDataPacket rows =
            select(u"SELECT CDEXERFISICO, QTHREXERFISI, QTENERCONSPL, DTCONSPACI FROM PLAEXERFISI "
                   u"WHERE CDFILIAL = ? AND CDPACIENTE = ? ORDER BY CDEXERFISICO"_s,
                   {{u"CDEXERFISICO"_s, TFieldType::String, 6},
                    {u"QTHREXERFISI"_s, TFieldType::Float, 0},
                    {u"QTENERCONSPL"_s, TFieldType::Float, 0},
                    {u"DTCONSPACI"_s, TFieldType::DateTime, 0}},
                   {Branch, Maria});
        QStringList lines;
        for (const QVariantList &r : rows.rows) {
            QString line = u"%1 %2 %3"_s.arg(r[0].toString())
                               .arg(r[1].isNull() ? u"null"_s : QString::number(r[1].toDouble()))
                               .arg(r[2].isNull() ? u"null"_s : QString::number(r[2].toDouble()));
            if (r[3].toDouble() != consulta)
                line += u" other-date"_s;
            lines.append(line);
        }
        return lines;
    }

    QVariantList row(const QString &code, QVariant hours, QVariant kcal = 3.5)
    {
        return planRow(Maria, consulta, code, hours, {}, kcal);
    }
};

struct PlanCase
{
    const char *name;
    QStringList behindTheBack; // run on the database before the call
    std::function<QList<TDeltaChange>(
        const std::function<QVariantList(QString, QVariant, QVariant)> &)>
        changes;
    std::string outcome; // "ok" or "code: message"
    QStringList planAfter;
};

const QStringList DemoPlan{u"002054 0.75 3.5"_s, u"017190 1 3.5"_s, u"018310 0.5 6"_s};

std::string failure(int code, const QString &message)
{
    return std::to_string(code) + ": " + message.toStdString();
}

TEST_P(PlanDeltas, ApplyOrRefuseWholeDeltas)
{
    using Row = std::function<QVariantList(QString, QVariant, QVariant)>;
    const QList<PlanCase> cases{
        {"insert",
         {},
         [](const Row &r) { return QList<TDeltaChange>{insertOf(r(u"012020"_s, 0.5, 7.0))}; },
         "ok",
         {u"002054 0.75 3.5"_s, u"012020 0.5 7"_s, u"017190 1 3.5"_s, u"018310 0.5 6"_s}},
        {"update hours",
         {},
         [](const Row &r) {
             return QList<TDeltaChange>{
                 updateOf(r(u"017190"_s, 1.0, 3.5), r(u"017190"_s, 1.5, 3.5))};
         },
         "ok",
         {u"002054 0.75 3.5"_s, u"017190 1.5 3.5"_s, u"018310 0.5 6"_s}},
        {"update to null hours",
         {},
         [](const Row &r) {
             return QList<TDeltaChange>{
                 updateOf(r(u"017190"_s, 1.0, 3.5), r(u"017190"_s, QVariant(), 3.5))};
         },
         "ok",
         {u"002054 0.75 3.5"_s, u"017190 null 3.5"_s, u"018310 0.5 6"_s}},
        {"update of the code (a key column)",
         {},
         [](const Row &r) {
             return QList<TDeltaChange>{
                 updateOf(r(u"002054"_s, 0.75, 3.5), r(u"012020"_s, 0.75, 7.0))};
         },
         "ok",
         {u"012020 0.75 7"_s, u"017190 1 3.5"_s, u"018310 0.5 6"_s}},
        {"delete",
         {},
         [](const Row &r) { return QList<TDeltaChange>{deleteOf(r(u"018310"_s, 0.5, 6.0))}; },
         "ok",
         {u"002054 0.75 3.5"_s, u"017190 1 3.5"_s}},
        {"several changes in order",
         {},
         [](const Row &r) {
             return QList<TDeltaChange>{deleteOf(r(u"018310"_s, 0.5, 6.0)),
                                        insertOf(r(u"018310"_s, 0.25, 6.0))};
         },
         "ok",
         {u"002054 0.75 3.5"_s, u"017190 1 3.5"_s, u"018310 0.25 6"_s}},
        {"update of a row changed by someone else",
         {u"UPDATE PLAEXERFISI SET QTHREXERFISI = 2 WHERE CDEXERFISICO = '017190'"_s},
         [](const Row &r) {
             return QList<TDeltaChange>{
                 updateOf(r(u"017190"_s, 1.0, 3.5), r(u"017190"_s, 1.5, 3.5))};
         },
         failure(RpcConflict, Conflict),
         {u"002054 0.75 3.5"_s, u"017190 2 3.5"_s, u"018310 0.5 6"_s}},
        {"update of a row deleted by someone else",
         {u"DELETE FROM PLAEXERFISI WHERE CDEXERFISICO = '017190'"_s},
         [](const Row &r) {
             return QList<TDeltaChange>{
                 updateOf(r(u"017190"_s, 1.0, 3.5), r(u"017190"_s, 1.5, 3.5))};
         },
         failure(RpcConflict, Conflict),
         {u"002054 0.75 3.5"_s, u"018310 0.5 6"_s}},
        {"update where someone else changed only another column",
         {u"UPDATE PLAEXERFISI SET QTENERCONSPL = 4 WHERE CDEXERFISICO = '017190'"_s},
         [](const Row &r) {
             return QList<TDeltaChange>{
                 updateOf(r(u"017190"_s, 1.0, 3.5), r(u"017190"_s, 1.5, 3.5))};
         },
         "ok",
         {u"002054 0.75 3.5"_s, u"017190 1.5 4"_s, u"018310 0.5 6"_s}},
        {"update that changes nothing, of a row deleted by someone else",
         {u"DELETE FROM PLAEXERFISI WHERE CDEXERFISICO = '017190'"_s},
         [](const Row &r) {
             return QList<TDeltaChange>{
                 updateOf(r(u"017190"_s, 1.0, 3.5), r(u"017190"_s, 1.0, 3.5))};
         },
         failure(RpcConflict, Conflict),
         {u"002054 0.75 3.5"_s, u"018310 0.5 6"_s}},
        {"delete of a row changed by someone else",
         {u"UPDATE PLAEXERFISI SET QTENERCONSPL = 4 WHERE CDEXERFISICO = '018310'"_s},
         [](const Row &r) { return QList<TDeltaChange>{deleteOf(r(u"018310"_s, 0.5, 6.0))}; },
         failure(RpcConflict, Conflict),
         {u"002054 0.75 3.5"_s, u"017190 1 3.5"_s, u"018310 0.5 4"_s}},
        {"delete of a row deleted by someone else",
         {u"DELETE FROM PLAEXERFISI WHERE CDEXERFISICO = '018310'"_s},
         [](const Row &r) { return QList<TDeltaChange>{deleteOf(r(u"018310"_s, 0.5, 6.0))}; },
         failure(RpcConflict, Conflict),
         {u"002054 0.75 3.5"_s, u"017190 1 3.5"_s}},
        {"a conflict rolls back the changes before it",
         {u"DELETE FROM PLAEXERFISI WHERE CDEXERFISICO = '018310'"_s},
         [](const Row &r) {
             return QList<TDeltaChange>{insertOf(r(u"012020"_s, 0.5, 7.0)),
                                        deleteOf(r(u"018310"_s, 0.5, 6.0))};
         },
         failure(RpcConflict, Conflict),
         {u"002054 0.75 3.5"_s, u"017190 1 3.5"_s}},
        {"insert of a planned exercise",
         {},
         [](const Row &r) { return QList<TDeltaChange>{insertOf(r(u"017190"_s, 0.5, 3.5))}; },
         failure(RpcDuplicate, Duplicate),
         DemoPlan},
        {"a duplicate rolls back the insert before it",
         {},
         [](const Row &r) {
             return QList<TDeltaChange>{insertOf(r(u"012020"_s, 0.5, 7.0)),
                                        insertOf(r(u"012020"_s, 0.5, 7.0))};
         },
         failure(RpcDuplicate, Duplicate),
         DemoPlan},
        {"code changed to a planned exercise",
         {},
         [](const Row &r) {
             return QList<TDeltaChange>{
                 updateOf(r(u"002054"_s, 0.75, 3.5), r(u"017190"_s, 0.75, 3.5))};
         },
         failure(RpcDuplicate, Duplicate),
         DemoPlan},
        {"exercise not in the catalogue",
         {},
         [](const Row &r) { return QList<TDeltaChange>{insertOf(r(u"999999"_s, 0.5, 7.0))}; },
         failure(RpcDatabaseError, u"Exercício não cadastrado."_s),
         DemoPlan},
        {"code changed to one not in the catalogue",
         {},
         [](const Row &r) {
             return QList<TDeltaChange>{updateOf(r(u"002054"_s, 0.75, 3.5), r(u"99"_s, 0.75, 3.5))};
         },
         failure(RpcDatabaseError, u"Exercício não cadastrado."_s),
         DemoPlan},
        {"blank code",
         {},
         [](const Row &r) { return QList<TDeltaChange>{insertOf(r(u"      "_s, 0.5, 7.0))}; },
         failure(-32602, u"O campo CDEXERFISICO deve ser informado."_s),
         DemoPlan},
        {"null code",
         {},
         [](const Row &r) {
             QVariantList row = r(u"012020"_s, 0.5, 7.0);
             row[3] = QVariant();
             return QList<TDeltaChange>{insertOf(row)};
         },
         failure(-32602, u"O campo CDEXERFISICO deve ser informado."_s),
         DemoPlan},
    };

    for (const PlanCase &c : cases) {
        SCOPED_TRACE(c.name);
        resetPlan();
        for (const QString &sql : c.behindTheBack)
            execSql(server->db(), sql);
        const auto row = [this](QString code, QVariant hours, QVariant kcal) {
            return this->row(code, hours, kcal);
        };
        const QJsonObject result =
            call(u"SetPlaneja"_s, {deltaJson(planDeltaFields(), c.changes(row))});
        EXPECT_EQ(outcome(result), c.outcome);
        EXPECT_EQ(plan(), c.planAfter);
    }
}

TEST_P(PlanDeltas, WriteOnlyThePlansOwnColumns)
{
    // The name and catalogue energy travel with the row but belong to the catalogue.
    QVariantList row = planRow(Maria, consulta, u"012020"_s, 0.5, u"Outro nome"_s, 7.0);
    row[7] = 99.0;
    ok(u"SetPlaneja"_s, {deltaJson(planDeltaFields(), {insertOf(row)})});
    const TDataPacket catalogue = select(
        u"SELECT DSEXERFISICO, QTENERCONS FROM EXERFISICO WHERE CDEXERFISICO = ?"_s,
        {{u"DSEXERFISICO"_s, TFieldType::String, 100}, {u"QTENERCONS"_s, TFieldType::Float, 0}},
        {u"012020"_s});
    ASSERT_EQ(catalogue.rows.size(), 1);
    EXPECT_EQ(catalogue.rows[0][0].toString(), u"Corrida leve (jogging), geral"_s);
    EXPECT_EQ(catalogue.rows[0][1].toDouble(), 7.0);
}

// A save that waited for rows held elsewhere for longer than its budget is rolled back
// rather than stored: its client may have stopped waiting and been told it failed.
TEST_P(PlanDeltas, StoreNothingOfASaveThatOutlastedItsBudget)
{
    struct Case
    {
        const char *name;
        std::chrono::milliseconds budget;
        bool stored;
    };
    const Case cases[] = {
        {"over its budget", std::chrono::milliseconds(200), false},
        {"within its budget", std::chrono::milliseconds(SqlSaveBudgetMs), true},
    };
    // As the server decodes it from the wire.
    const TDelta delta = decodeDelta(
        deltaJson(planDeltaFields(), {insertOf(planRow(Maria, consulta, u"012020"_s, 0.5))}));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        resetPlan();
        // Another session holds the plan table for longer than the first budget.
        QSemaphore held;
        std::thread holder([&] {
            const QString name = u"qor-test-holder"_s;
            {
                QSqlDatabase other = openDatabase(server->database(), name);
                if (GetParam() == Backend::SQLite) {
                    execSql(other, u"BEGIN IMMEDIATE"_s);
                } else {
                    execSql(other, u"BEGIN"_s);
                    execSql(other, u"LOCK TABLE PLAEXERFISI IN ACCESS EXCLUSIVE MODE"_s);
                }
                held.release();
                QThread::msleep(600);
                execSql(other, u"COMMIT"_s);
                other.close();
            }
            QSqlDatabase::removeDatabase(name);
        });
        held.acquire();
        bool busy = false;
        try {
            applyDelta(server->db(), plaExerFisiTable(), delta, c.budget);
        } catch (const ESqlError &e) {
            busy = e.kind() == SqlErrorKind::Busy;
        }
        holder.join();
        EXPECT_EQ(busy, !c.stored);
        EXPECT_EQ(plan().contains(u"012020 0.5 3.5"_s), c.stored)
            << plan().join(u"; "_s).toStdString();
        EXPECT_EQ(plan().size(), c.stored ? 4 : 3);
    }
}

struct FieldCase
{
    const char *name;
    QList<TFieldDef> fields;
    QString messagePart;
    QString code = QStringLiteral("012020");
};

TEST_P(PlanDeltas, RefuseDeltasWhoseFieldsDoNotFitTheTable)
{
    const QList<TFieldDef> all = planDeltaFields();
    QList<TFieldDef> unknown = all;
    unknown.append({u"NMPACIENTE"_s, TFieldType::String, 80});
    QList<TFieldDef> wrongType = all;
    wrongType[4].type = TFieldType::String;
    QList<TFieldDef> noBranch = all;
    noBranch.removeAt(0);
    QList<TFieldDef> twice = all;
    twice[7].name = u"QTHREXERFISI"_s;
    // A client whose metadata allows more than the column holds.
    QList<TFieldDef> wider = all;
    wider[3].size = 10;
    const QList<FieldCase> cases{
        {"unknown field", unknown, u"NMPACIENTE"_s},
        {"hours as text", wrongType, u"QTHREXERFISI"_s},
        {"key field missing", noBranch, u"CDFILIAL"_s},
        {"field twice", twice, u"QTHREXERFISI"_s},
        {"code longer than its column", wider,
         u"O campo CDEXERFISICO aceita no máximo 6 caracteres."_s, u"0120200"_s},
    };
    for (const FieldCase &c : cases) {
        SCOPED_TRACE(c.name);
        QVariantList values;
        for (const TFieldDef &f : c.fields) {
            if (f.type == TFieldType::Float)
                values.append(1.0);
            else if (f.type == TFieldType::DateTime)
                values.append(consulta);
            else if (f.name == u"CDEXERFISICO"_s)
                values.append(c.code);
            else if (f.name == u"CDPACIENTE"_s)
                values.append(Maria);
            else
                values.append(Branch);
        }
        const QJsonObject result = call(u"SetPlaneja"_s, {deltaJson(c.fields, {insertOf(values)})});
        const QJsonObject error = result.value(u"error"_s).toObject();
        EXPECT_EQ(error.value(u"code"_s).toInt(), -32602) << outcome(result);
        EXPECT_TRUE(error.value(u"message"_s).toString().contains(c.messagePart))
            << outcome(result);
    }
    EXPECT_EQ(count(u"PLAEXERFISI"_s), 3);
}

TEST_P(PlanDeltas, RecordAWeightUnderItsAssessmentMethod)
{
    const QList<TFieldDef> metoFields = metoAvalDeltaFields();
    const QList<TFieldDef> pesoFields = pesoDeltaFields();
    const QVariantList weight{Branch, Joao, consulta, u"01"_s, u"01"_s, u"72,5"_s};

    // The weight needs its assessment method first.
    EXPECT_EQ(outcome(call(u"SetPeso"_s, {deltaJson(pesoFields, {insertOf(weight)})})),
              failure(RpcDatabaseError, u"Método de avaliação não cadastrado para a consulta."_s));
    EXPECT_EQ(count(u"INFOAVAL"_s), 1);

    // Nor can a method be recorded for a patient who is not registered (of the
    // branch, or at all).
    for (const QVariantList &stranger :
         {QVariantList{u"0002"_s, Joao, consulta, u"01"_s, u"N"_s},
          QVariantList{Branch, u"000000000099"_s, consulta, u"01"_s, u"N"_s}}) {
        EXPECT_EQ(outcome(call(u"SetMetoAval"_s, {deltaJson(metoFields, {insertOf(stranger)})})),
                  failure(RpcDatabaseError, u"Paciente não cadastrado."_s));
    }
    EXPECT_EQ(count(u"METOAVAL"_s), 1);

    ok(u"SetMetoAval"_s,
       {deltaJson(metoFields, {insertOf({Branch, Joao, consulta, u"01"_s, u"N"_s})})});
    ok(u"SetPeso"_s, {deltaJson(pesoFields, {insertOf(weight)})});
    const TDataPacket peso = decodePacket(ok(u"GetPeso"_s, {Branch, Joao, consultaIso()}));
    ASSERT_EQ(peso.rows.size(), 1);
    EXPECT_EQ(peso.rows[0][5].toString(), u"72,5"_s);
    EXPECT_EQ(peso.rows[0][2].toDouble(), consulta);

    // Twice the same method for the consultation, a weight too long for its column,
    // and a method still holding a weight cannot be stored.
    EXPECT_EQ(outcome(call(
                  u"SetMetoAval"_s,
                  {deltaJson(metoFields, {insertOf({Branch, Joao, consulta, u"01"_s, u"N"_s})})})),
              failure(RpcDuplicate, u"Método de avaliação já cadastrado para a consulta."_s));
    QVariantList longWeight = weight;
    longWeight[5] = QString(31, u'9');
    QList<TFieldDef> widerPeso = pesoFields;
    widerPeso[5].size = 40;
    EXPECT_EQ(outcome(call(u"SetPeso"_s, {deltaJson(widerPeso, {updateOf(weight, longWeight)})})),
              failure(-32602, u"O campo DSINFOAVAL aceita no máximo 30 caracteres."_s));
    const std::string refused = outcome(
        call(u"SetMetoAval"_s,
             {deltaJson(metoFields, {deleteOf({Branch, Joao, consulta, u"01"_s, u"N"_s})})}));
    EXPECT_EQ(refused,
              failure(RpcDatabaseError,
                      u"O método de avaliação não pode ser excluído porque há "
                      u"informações de avaliação ligadas a ele."_s));
    EXPECT_EQ(count(u"METOAVAL"_s), 2);
    EXPECT_EQ(count(u"INFOAVAL"_s), 2);
}

// Methods stored before the patient check existed may belong to a patient nobody
// registered; a weight is still never recorded under them, while what such rows
// already hold stays reachable.
TEST_P(PlanDeltas, RecordNoWeightForAPatientWhoIsNotRegistered)
{
    const QString stranger = u"000000000099"_s;
    for (const QString &paciente : {stranger, Joao}) {
        SqlStatement method(server->db(), u"INSERT INTO METOAVAL VALUES (?, ?, ?, ?, ?)"_s);
        method.bind(Branch).bind(paciente).bind(TFieldType::DateTime, consulta);
        method.bind(u"01"_s).bind(u"N"_s).exec();
    }
    const QVariantList storedWeight{Branch, stranger, consulta, u"01"_s, u"02"_s, u"80"_s};
    {
        SqlStatement weight(server->db(), u"INSERT INTO INFOAVAL VALUES (?, ?, ?, ?, ?, ?)"_s);
        weight.bind(Branch).bind(stranger).bind(TFieldType::DateTime, consulta);
        weight.bind(u"01"_s).bind(u"02"_s).bind(u"80"_s).exec();
    }
    const int weightsBefore = count(u"INFOAVAL"_s);
    const QVariantList known{Branch, Joao, consulta, u"01"_s, u"01"_s, u"72,5"_s};
    const QVariantList unknown{Branch, stranger, consulta, u"01"_s, u"01"_s, u"72,5"_s};
    QVariantList changedWeight = storedWeight;
    changedWeight[5] = u"81"_s;

    struct Case
    {
        const char *name;
        QList<TDeltaChange> changes;
        std::string outcome;
        int weightsAdded;
    };
    const Case cases[] = {
        {"a weight of the unregistered patient",
         {insertOf(unknown)},
         failure(RpcDatabaseError, u"Paciente não cadastrado."_s),
         0},
        {"a registered patient's weight before it is rolled back too",
         {insertOf(known), insertOf(unknown)},
         failure(RpcDatabaseError, u"Paciente não cadastrado."_s),
         0},
        {"a new value for the weight already stored",
         {updateOf(storedWeight, changedWeight)},
         "ok",
         0},
        {"a registered patient's weight", {insertOf(known)}, "ok", 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(outcome(call(u"SetPeso"_s, {deltaJson(pesoDeltaFields(), c.changes)})),
                  c.outcome);
        EXPECT_EQ(count(u"INFOAVAL"_s), weightsBefore + c.weightsAdded);
    }
    // The weight already stored took its new value.
    const TDataPacket stored =
        select(u"SELECT DSINFOAVAL FROM INFOAVAL WHERE CDPACIENTE = ? AND CDTIPODADO = '02'"_s,
               {{u"DSINFOAVAL"_s, TFieldType::String, 30}}, {stranger});
    ASSERT_EQ(stored.rows.size(), 1);
    EXPECT_EQ(stored.rows[0][0].toString(), u"81"_s);

    // A plan row of that patient is refused the same way.
    EXPECT_EQ(outcome(call(u"SetPlaneja"_s,
                           {deltaJson(planDeltaFields(),
                                      {insertOf(planRow(stranger, consulta, u"012020"_s, 0.5))})})),
              failure(RpcDatabaseError, u"Paciente não cadastrado."_s));
}

// Texts as long as their columns, counted in characters as both databases count them: a
// character beyond the basic plane is one character, though QString holds it in two
// units. A patient another program registered under such a code gets a weight and a plan
// like any other; one character more than the column holds is still refused.
TEST_P(PlanDeltas, StoreTextsAsLongAsTheirColumnsCountingCharacters)
{
    const QString runner = u"\U0001F3C3"_s; // one character, two UTF-16 units
    struct Case
    {
        const char *name;
        QString paciente;
        QString weight;
        std::string outcome; // of the weight; the method and the plan row store alike
    };
    const Case cases[] = {
        {"accents, the columns full", u"Paciênte-çãõ"_s, u"ção"_s.repeated(10), "ok"},
        {"characters beyond the basic plane, the columns full", runner + u"0000000009"_s + runner,
         u"68,5 "_s + runner.repeated(25), "ok"},
        {"one character more than the weight's column", Maria, u"68,5 "_s + runner.repeated(26),
         failure(-32602, u"O campo DSINFOAVAL aceita no máximo 30 caracteres."_s)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const bool stored = c.outcome == "ok";
        if (c.paciente != Maria) {
            SqlStatement patient(server->db(), u"INSERT INTO PACIENTE VALUES (?, ?, ?, ?)"_s);
            patient.bind(Branch).bind(c.paciente).bind(u"Paciente de outro sistema"_s);
            patient.bind(TFieldType::DateTime, QVariant()).exec();
            const QVariantList method{Branch, c.paciente, consulta, u"01"_s, u"N"_s};
            EXPECT_EQ(outcome(call(u"SetMetoAval"_s,
                                   {deltaJson(metoAvalDeltaFields(), {insertOf(method)})})),
                      "ok");
        }
        const int weightsBefore = count(u"INFOAVAL"_s);
        const QVariantList weight{Branch, c.paciente, consulta, u"01"_s, u"02"_s, c.weight};
        // Sent with metadata wider than the column, so that the column's own size decides.
        QList<TFieldDef> widerPeso = pesoDeltaFields();
        widerPeso[5].size = 40;
        EXPECT_EQ(outcome(call(u"SetPeso"_s, {deltaJson(widerPeso, {insertOf(weight)})})),
                  c.outcome);
        EXPECT_EQ(count(u"INFOAVAL"_s), weightsBefore + (stored ? 1 : 0));
        if (!stored)
            continue;
        const TDataPacket peso =
            select(u"SELECT DSINFOAVAL FROM INFOAVAL WHERE CDPACIENTE = ? AND CDTIPODADO = '02'"_s,
                   {{u"DSINFOAVAL"_s, TFieldType::String, 30}}, {c.paciente});
        ASSERT_EQ(peso.rows.size(), 1);
        EXPECT_EQ(peso.rows[0][0].toString(), c.weight);

        // The patient's plan: added, found again, changed and deleted under that code.
        const QVariantList row = planRow(c.paciente, consulta, u"012020"_s, 0.5);
        QVariantList changed = row;
        changed[4] = 0.75;
        EXPECT_EQ(outcome(call(u"SetPlaneja"_s, {deltaJson(planDeltaFields(), {insertOf(row)})})),
                  "ok");
        const TDataPacket plan =
            decodePacket(ok(u"GetPlaneja"_s, {Branch, consultaIso(), c.paciente}));
        ASSERT_EQ(plan.rows.size(), 1);
        EXPECT_EQ(plan.rows[0][1].toString(), c.paciente);
        EXPECT_EQ(outcome(call(u"SetPlaneja"_s,
                               {deltaJson(planDeltaFields(), {updateOf(row, changed)})})),
                  "ok");
        EXPECT_EQ(
            outcome(call(u"SetPlaneja"_s, {deltaJson(planDeltaFields(), {deleteOf(changed)})})),
            "ok");
        EXPECT_EQ(
            decodePacket(ok(u"GetPlaneja"_s, {Branch, consultaIso(), c.paciente})).rows.size(), 0);
    }
}

QOR_INSTANTIATE_BACKENDS(PlanDeltas);

} // namespace
} // namespace qor::testing
