// Saves arriving together from several workstations on a real qor-server: two clients
// changing the same rows from the same values they read, each on its own thread and
// released at the same moment, many rounds; and many clients saving rows of their own
// at once. Whoever is refused has nothing of their save stored, whoever is told "ok"
// has all of it, and the stored rows match what the clients were told.
#include "planfixture.h"

#include "rtl/exceptions.h"
#include "sql/sqlquery.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QThread>
#include <functional>
#include <latch>
#include <thread>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

const QString Conflict = u"Registro alterado ou excluído por outro usuário."_s;
const QString Busy = u"O banco de dados está ocupado. Tente novamente."_s;

std::string failure(int code, const QString &message)
{
    return std::to_string(code) + ": " + message.toStdString();
}

// One save: a method and its delta.
struct Save
{
    QString method;
    QJsonObject delta;
};

class ConcurrentSaves : public PlanServerTest
{
protected:
    // Maria's demo plan and Joao's assessment method "01" without a weight; nothing else
    // in the plan, method and weight tables.
    void resetRows()
    {
        QSqlDatabase db = server->db();
        execSql(db, u"DELETE FROM PLAEXERFISI"_s);
        execSql(db, u"DELETE FROM INFOAVAL WHERE CDPACIENTE = '%1'"_s.arg(Joao));
        execSql(db, u"DELETE FROM METOAVAL WHERE CDPACIENTE = '%1'"_s.arg(Joao));
        const QList<std::tuple<QString, double, double>> rows{
            {u"002054"_s, 0.75, 3.5}, {u"017190"_s, 1.0, 3.5}, {u"018310"_s, 0.5, 6.0}};
        for (const auto &[code, hours, kcal] : rows) {
            SqlStatement insert(db, u"INSERT INTO PLAEXERFISI VALUES (?, ?, ?, ?, ?, ?)"_s);
            insert.bind(Branch).bind(Maria).bind(TFieldType::DateTime, consulta).bind(code);
            insert.bind(hours).bind(kcal).exec();
        }
        SqlStatement method(db, u"INSERT INTO METOAVAL VALUES (?, ?, ?, ?, ?)"_s);
        method.bind(Branch).bind(Joao).bind(TFieldType::DateTime, consulta);
        method.bind(u"01"_s).bind(u"N"_s).exec();
    }

    // Maria's plan as "code hours" lines, then Joao's methods and weights.
    QStringList stored()
    {
        QStringList lines;
        const TDataPacket plan = select(
            u"SELECT CDEXERFISICO, QTHREXERFISI FROM PLAEXERFISI WHERE CDPACIENTE = ? "
            u"ORDER BY CDEXERFISICO"_s,
            {{u"CDEXERFISICO"_s, TFieldType::String, 6}, {u"QTHREXERFISI"_s, TFieldType::Float, 0}},
            {Maria});
        for (const QVariantList &r : plan.rows)
            lines.append(u"%1 %2"_s.arg(r[0].toString()).arg(r[1].toDouble()));
        const TDataPacket methods = select(
            u"SELECT CDTBMETOAVAL, IDTABELAAV FROM METOAVAL WHERE CDPACIENTE = ?"_s,
            {{u"CDTBMETOAVAL"_s, TFieldType::String, 2}, {u"IDTABELAAV"_s, TFieldType::String, 1}},
            {Joao});
        for (const QVariantList &r : methods.rows)
            lines.append(u"metodo %1 %2"_s.arg(r[0].toString(), r[1].toString()));
        const TDataPacket weights =
            select(u"SELECT DSINFOAVAL FROM INFOAVAL WHERE CDPACIENTE = ?"_s,
                   {{u"DSINFOAVAL"_s, TFieldType::String, 30}}, {Joao});
        for (const QVariantList &r : weights.rows)
            lines.append(u"peso %1"_s.arg(r[0].toString()));
        return lines;
    }

    // Runs the saves on threads of their own, each with its own authenticated client,
    // released together; their outcomes in the same order.
    std::vector<std::string> race(const QList<Save> &saves,
                                  const std::function<void()> &meanwhile = {})
    {
        std::vector<std::string> outcomes(saves.size());
        std::latch connected(saves.size());
        std::vector<std::thread> threads;
        for (qsizetype i = 0; i < saves.size(); ++i) {
            threads.emplace_back([&, i] {
                RpcClient workstation;
                workstation.setOptions(server->clientOptions());
                try {
                    workstation.open();
                } catch (const Exception &e) {
                    outcomes[i] = "raised: " + e.Message().toStdString();
                }
                connected.arrive_and_wait();
                if (!outcomes[i].empty())
                    return;
                try {
                    outcomes[i] = outcome(workstation.call(saves[i].method, {saves[i].delta}));
                } catch (const Exception &e) {
                    outcomes[i] = "raised: " + e.Message().toStdString();
                }
            });
        }
        if (meanwhile)
            meanwhile();
        for (std::thread &t : threads)
            t.join();
        return outcomes;
    }

    // On PostgreSQL: locks the plan rows now and returns what lets them go once two
    // sessions wait for locks (or, failing that, after a few seconds).
    std::function<void()> holdRows(const QStringList &codes)
    {
        if (codes.isEmpty() || GetParam() != Backend::PostgreSQL)
            return {};
        QSqlDatabase db = server->db();
        execSql(db, u"BEGIN"_s);
        execSql(db,
                u"SELECT 1 FROM PLAEXERFISI WHERE CDEXERFISICO IN ('%1') FOR UPDATE"_s.arg(
                    codes.join(u"', '"_s)));
        return [this, db] {
            const QDeadlineTimer deadline(5000);
            while (!deadline.hasExpired()) {
                SqlStatement waiting(db,
                                     u"SELECT COUNT(*) FROM pg_stat_activity WHERE "
                                     u"wait_event_type = 'Lock' AND datname = "
                                     u"current_database()"_s);
                waiting.exec();
                if (waiting.next() && waiting.value(0).toInt() >= 2)
                    break;
                QThread::msleep(2);
            }
            execSql(db, u"COMMIT"_s);
        };
    }

public:
    // For the cases' tables, which build their deltas outside the fixture.
    TDateTime consultation() const { return consulta; }
    QVariantList row(const QString &code, double hours, double kcal = 3.5)
    {
        return planRow(Maria, consulta, code, hours, {}, kcal);
    }
    QJsonObject plan(const QList<TDeltaChange> &changes)
    {
        return deltaJson(planDeltaFields(), changes);
    }
};

// One way a race may end: both outcomes and the rows stored then.
struct Ending
{
    std::string first;
    std::string second;
    QStringList storedAfter;
};

struct RaceCase
{
    const char *name;
    int rounds;
    std::function<QList<Save>(ConcurrentSaves &)> saves; // exactly two
    std::function<QList<Ending>()> endings;
    // Plan rows another PostgreSQL session locks until both saves wait for them, so that
    // the saves really run side by side.
    QStringList heldRows = {};
    QStringList before = {}; // run on the database before each round
};

const QStringList Others{u"017190 1"_s, u"018310 0.5"_s};
const QString JoaoMethod = u"metodo 01 N"_s;

QStringList plus(QStringList lines, const QStringList &more)
{
    lines += more;
    lines.sort();
    return lines;
}

QStringList sortedPlan(QStringList plan)
{
    plan.sort();
    plan.append(JoaoMethod);
    return plan;
}

TEST_P(ConcurrentSaves, TwoSavesOfTheSameRowsEndOneWayOrTheOtherNeverHalfway)
{
    const std::string conflict = failure(RpcConflict, Conflict);
    const std::string duplicate = failure(RpcDuplicate, u"Exercício físico já cadastrado."_s);
    const std::string busy = failure(RpcDatabaseError, Busy);
    // Each changes the two rows in the other's order.
    const auto oppositeOrders = [](ConcurrentSaves &t) {
        return QList<Save>{{u"SetPlaneja"_s,
                            t.plan({updateOf(t.row(u"002054"_s, 0.75), t.row(u"002054"_s, 1.25)),
                                    updateOf(t.row(u"017190"_s, 1), t.row(u"017190"_s, 1.5))})},
                           {u"SetPlaneja"_s,
                            t.plan({updateOf(t.row(u"017190"_s, 1), t.row(u"017190"_s, 3)),
                                    updateOf(t.row(u"002054"_s, 0.75), t.row(u"002054"_s, 3))})}};
    };
    const auto oppositeOrderEndings = [&]() {
        const QStringList first = sortedPlan({u"002054 1.25"_s, u"017190 1.5"_s, u"018310 0.5"_s});
        const QStringList second = sortedPlan({u"002054 3"_s, u"017190 3"_s, u"018310 0.5"_s});
        return QList<Ending>{{"ok", conflict, first},
                             {"ok", busy, first},
                             {conflict, "ok", second},
                             {busy, "ok", second}};
    };
    const QList<RaceCase> cases{
        {"update against update from the same hours", 20,
         [](ConcurrentSaves &t) {
             return QList<Save>{
                 {u"SetPlaneja"_s,
                  t.plan({updateOf(t.row(u"002054"_s, 0.75), t.row(u"002054"_s, 1.25))})},
                 {u"SetPlaneja"_s,
                  t.plan({updateOf(t.row(u"002054"_s, 0.75), t.row(u"002054"_s, 2))})}};
         },
         [&]() {
             return QList<Ending>{{"ok", conflict, sortedPlan(plus(Others, {u"002054 1.25"_s}))},
                                  {conflict, "ok", sortedPlan(plus(Others, {u"002054 2"_s}))}};
         }},
        {"update against delete", 20,
         [](ConcurrentSaves &t) {
             return QList<Save>{
                 {u"SetPlaneja"_s,
                  t.plan({updateOf(t.row(u"002054"_s, 0.75), t.row(u"002054"_s, 1.25))})},
                 {u"SetPlaneja"_s, t.plan({deleteOf(t.row(u"002054"_s, 0.75))})}};
         },
         [&]() {
             return QList<Ending>{{"ok", conflict, sortedPlan(plus(Others, {u"002054 1.25"_s}))},
                                  {conflict, "ok", sortedPlan(Others)}};
         }},
        {"delete against delete", 20,
         [](ConcurrentSaves &t) {
             const QJsonObject remove = t.plan({deleteOf(t.row(u"002054"_s, 0.75))});
             return QList<Save>{{u"SetPlaneja"_s, remove}, {u"SetPlaneja"_s, remove}};
         },
         [&]() {
             return QList<Ending>{{"ok", conflict, sortedPlan(Others)},
                                  {conflict, "ok", sortedPlan(Others)}};
         }},
        {"the same exercise added twice", 20,
         [](ConcurrentSaves &t) {
             return QList<Save>{{u"SetPlaneja"_s, t.plan({insertOf(t.row(u"001010"_s, 1))})},
                                {u"SetPlaneja"_s, t.plan({insertOf(t.row(u"001010"_s, 2))})}};
         },
         [&]() {
             const QStringList demo = plus(Others, {u"002054 0.75"_s});
             return QList<Ending>{{"ok", duplicate, sortedPlan(plus(demo, {u"001010 1"_s}))},
                                  {duplicate, "ok", sortedPlan(plus(demo, {u"001010 2"_s}))}};
         }},
        // Each locks its first row and then wants the other's: a deadlock the database
        // breaks by failing one of them, which must then store nothing.
        {"two rows changed in opposite orders", 8, oppositeOrders, oppositeOrderEndings},
        {"two rows changed in opposite orders, both held first",
         4,
         oppositeOrders,
         oppositeOrderEndings,
         {u"002054"_s, u"017190"_s}},
        // A weight recorded while its assessment method is being deleted.
        {"a weight against the removal of its method", 20,
         [](ConcurrentSaves &t) {
             const QVariantList method{Branch, Joao, t.consultation(), u"01"_s, u"N"_s};
             const QVariantList weight{Branch, Joao, t.consultation(), u"01"_s, u"01"_s, u"70"_s};
             return QList<Save>{
                 {u"SetMetoAval"_s, deltaJson(metoAvalDeltaFields(), {deleteOf(method)})},
                 {u"SetPeso"_s, deltaJson(pesoDeltaFields(), {insertOf(weight)})}};
         },
         [&]() {
             QStringList plan = plus(Others, {u"002054 0.75"_s});
             const std::string missing = failure(
                 RpcDatabaseError, u"Método de avaliação não cadastrado para a consulta."_s);
             const std::string missingRow =
                 failure(RpcDatabaseError, u"Registro relacionado não cadastrado."_s);
             const std::string dependents =
                 failure(RpcDatabaseError,
                         u"O método de avaliação não pode ser excluído "
                         u"porque há informações de avaliação ligadas a ele."_s);
             return QList<Ending>{{"ok", missing, plan},
                                  {"ok", missingRow, plan},
                                  {dependents, "ok", plus(plan, {JoaoMethod, u"peso 70"_s})}};
         }},
        // The method and the weight of a consultation that has neither, from two rooms.
        {"a weight against the creation of its method",
         20,
         [](ConcurrentSaves &t) {
             const QVariantList method{Branch, Joao, t.consultation(), u"01"_s, u"N"_s};
             const QVariantList weight{Branch, Joao, t.consultation(), u"01"_s, u"01"_s, u"70"_s};
             return QList<Save>{
                 {u"SetMetoAval"_s, deltaJson(metoAvalDeltaFields(), {insertOf(method)})},
                 {u"SetPeso"_s, deltaJson(pesoDeltaFields(), {insertOf(weight)})}};
         },
         [&]() {
             QStringList plan = plus(Others, {u"002054 0.75"_s});
             const std::string missing = failure(
                 RpcDatabaseError, u"Método de avaliação não cadastrado para a consulta."_s);
             const std::string missingRow =
                 failure(RpcDatabaseError, u"Registro relacionado não cadastrado."_s);
             return QList<Ending>{{"ok", missing, plus(plan, {JoaoMethod})},
                                  {"ok", missingRow, plus(plan, {JoaoMethod})},
                                  {"ok", "ok", plus(plan, {JoaoMethod, u"peso 70"_s})}};
         },
         {},
         {u"DELETE FROM METOAVAL WHERE CDPACIENTE = '%1'"_s.arg(Joao)}},
    };

    for (const RaceCase &c : cases) {
        SCOPED_TRACE(c.name);
        const QList<Ending> endings = c.endings();
        for (int round = 0; round < c.rounds; ++round) {
            resetRows();
            for (const QString &sql : c.before)
                execSql(server->db(), sql);
            const std::vector<std::string> outcomes = race(c.saves(*this), holdRows(c.heldRows));
            const QStringList after = stored();
            const bool known = std::any_of(endings.cbegin(), endings.cend(), [&](const Ending &e) {
                return e.first == outcomes[0] && e.second == outcomes[1] && e.storedAfter == after;
            });
            ASSERT_TRUE(known) << "round " << round << ": " << outcomes[0] << " / " << outcomes[1]
                               << "\nstored: " << after.join(u" | "_s).toStdString()
                               << "\nlog: " << server->log().right(2000).toStdString();
        }
    }
}

// Many workstations saving rows of their own at once, each reading its plan back after
// every save: every save is taken, none is refused as busy, each reads back what it was
// told was stored, and the rows stored at the end are those the workstations were told.
TEST_P(ConcurrentSaves, ManyWorkstationsSavingTheirOwnRowsAllSucceed)
{
    resetRows();
    const TDataPacket catalogue = select(u"SELECT CDEXERFISICO FROM EXERFISICO"_s,
                                         {{u"CDEXERFISICO"_s, TFieldType::String, 6}});
    const QStringList demoCodes{u"002054"_s, u"017190"_s, u"018310"_s};
    // Rows of Maria's plan not in it yet, and of Joao's, who has none.
    QList<std::pair<QString, QString>> rows;
    for (const QString &patient : {Maria, Joao}) {
        for (const QVariantList &r : catalogue.rows) {
            if (patient == Joao || !demoCodes.contains(r[0].toString()))
                rows.append({patient, r[0].toString()});
        }
    }
    constexpr int Workstations = 48;
    constexpr int Cycles = 4;
    ASSERT_GE(rows.size(), Workstations);

    const QString date = consultaIso();
    std::vector<QStringList> faults(Workstations);
    std::latch connected(Workstations);
    std::vector<std::thread> threads;
    for (int i = 0; i < Workstations; ++i) {
        const auto [patient, code] = rows[i];
        threads.emplace_back([&, i, patient, code] {
            RpcClient workstation;
            workstation.setOptions(server->clientOptions());
            try {
                workstation.open();
            } catch (const Exception &e) {
                faults[i].append(e.Message());
            }
            connected.arrive_and_wait();
            if (!faults[i].isEmpty())
                return;
            const auto call = [&](const QString &method, const QJsonArray &params) {
                try {
                    const QJsonObject result = workstation.call(method, params);
                    if (outcome(result) != "ok")
                        faults[i].append(QString::fromStdString(outcome(result)));
                    return result.value(u"data"_s);
                } catch (const Exception &e) {
                    faults[i].append(e.Message());
                }
                return QJsonValue();
            };
            // The hours of this workstation's row as the server reads them back, or -1.
            const auto hoursReadBack = [&] {
                const TDataPacket plan =
                    decodePacket(call(u"GetPlaneja"_s, {Branch, date, patient}));
                for (const QVariantList &r : plan.rows) {
                    if (r[3].toString() == code)
                        return r[4].toDouble();
                }
                return -1.0;
            };
            const auto save = [&](const TDeltaChange &change) {
                call(u"SetPlaneja"_s, {deltaJson(planDeltaFields(), {change})});
            };
            const double hours = 1 + i;
            const QVariantList added = planRow(patient, consulta, code, hours);
            const QVariantList changed = planRow(patient, consulta, code, hours + 0.5);
            // Added, changed and removed again, and at last added and changed for good.
            for (int cycle = 0; cycle <= Cycles; ++cycle) {
                save(insertOf(added));
                save(updateOf(added, changed));
                if (hoursReadBack() != hours + 0.5)
                    faults[i].append(u"a mudança não foi lida de volta"_s);
                if (cycle == Cycles)
                    break;
                save(deleteOf(changed));
                if (hoursReadBack() != -1)
                    faults[i].append(u"a exclusão não foi lida de volta"_s);
            }
        });
    }
    for (std::thread &t : threads)
        t.join();

    QStringList expected;
    for (int i = 0; i < Workstations; ++i) {
        EXPECT_TRUE(faults[i].isEmpty()) << i << ": " << faults[i].join(u" | "_s).toStdString();
        expected.append(u"%1 %2 %3"_s.arg(rows[i].first, rows[i].second).arg(1 + i + 0.5));
    }
    for (const QString &code : demoCodes)
        expected.append(u"%1 %2 %3"_s.arg(Maria, code)
                            .arg(code == u"002054"_s       ? 0.75
                                     : code == u"017190"_s ? 1.0
                                                           : 0.5));
    expected.sort();
    const TDataPacket stored =
        select(u"SELECT CDPACIENTE, CDEXERFISICO, QTHREXERFISI FROM PLAEXERFISI"_s,
               {{u"CDPACIENTE"_s, TFieldType::String, 12},
                {u"CDEXERFISICO"_s, TFieldType::String, 6},
                {u"QTHREXERFISI"_s, TFieldType::Float, 0}});
    QStringList found;
    for (const QVariantList &r : stored.rows)
        found.append(u"%1 %2 %3"_s.arg(r[0].toString(), r[1].toString()).arg(r[2].toDouble()));
    found.sort();
    EXPECT_EQ(found, expected);
}

QOR_INSTANTIATE_BACKENDS(ConcurrentSaves);

} // namespace
} // namespace qor::testing
