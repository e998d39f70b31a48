// A clinic's server often runs in UTC with a locale of its own while its workstations run
// in one of Brazil's zones. Consultation dates travel as the wall time the workstation
// holds, without zone: a row saved from one zone is the same row, under the same day and
// time, when another zone reads, changes or removes it, also on a midnight that daylight
// saving time skipped and in an hour it repeated.
#include "planfixture.h"

#include "support/madelocales.h"
#include "support/scopedtimezone.h"

#include <QJsonArray>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

// One environment variable of the process for one scope; a server started meanwhile
// inherits it.
class ScopedVariable
{
public:
    ScopedVariable(const char *name, const QByteArray &value)
        : m_name(name)
        , m_had(qEnvironmentVariableIsSet(name))
        , m_previous(qgetenv(name))
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~ScopedVariable()
    {
        if (m_had)
            qputenv(m_name, m_previous);
        else
            qunsetenv(m_name);
    }
    ScopedVariable(const ScopedVariable &) = delete;
    ScopedVariable &operator=(const ScopedVariable &) = delete;

private:
    const char *m_name;
    bool m_had;
    QByteArray m_previous;
};

struct ZoneCase
{
    const char *name;
    const char *consulta; // the consultation's wall time, as it travels
    const char *writer; // the workstation's zone that saves the rows
    const char *reader; // the zone of the workstation that reads, changes and removes them
    const char *code; // the exercise planned
};

const ZoneCase ZoneCases[] = {
    {"midnight_skipped_in_sao_paulo", "2018-11-04T00:00:00.000", "America/Sao_Paulo",
     "America/Rio_Branco", "002054"},
    {"late_evening_in_noronha", "2026-12-08T23:30:00.000", "America/Noronha", "America/Manaus",
     "017190"},
    {"midnight_after_it", "2026-12-09T00:00:00.000", "America/Rio_Branco", "America/Sao_Paulo",
     "018310"},
    {"hour_repeated_in_sao_paulo", "2019-02-16T23:30:00.000", "America/Sao_Paulo",
     "America/Noronha", "002054"},
};

// The demo server started in UTC with German numbers where the system can make them.
class ServerInAnotherZone : public PlanServerTest
{
protected:
    void SetUp() override
    {
        BackendTest::SetUp();
        if (IsSkipped())
            return;
        german = makeLocales(locales.path(), {u"de_DE.UTF-8"_s});
        const ScopedTimeZone utc("UTC");
        const ScopedVariable lang("LANG", QByteArray());
        const ScopedVariable all("LC_ALL", "de_DE.UTF-8");
        const ScopedVariable path("LOCPATH", locales.path().toLocal8Bit());
        server = startServer();
        ASSERT_TRUE(server);
    }

    QTemporaryDir locales;
    bool german = false;
};

TEST_P(ServerInAnotherZone, RowsSavedFromOneZoneAreFoundChangedAndRemovedFromAnother)
{
    SCOPED_TRACE(german ? "server with decimal comma" : "server on the C locale's numbers");

    // 1:10 a week, a figure no decimal text of fewer than 17 digits holds.
    const double horas = 70.0 / 60.0;
    const double novasHoras = 0.1 + 0.2;
    for (const ZoneCase &c : ZoneCases) {
        SCOPED_TRACE(c.name);
        const QString consultaText = QString::fromLatin1(c.consulta);
        TDateTime consulta = 0;
        ASSERT_TRUE(ReadDateTimeText(consultaText, u'T', &consulta));
        const QVariantList row = planRow(Joao, consulta, QString::fromLatin1(c.code), horas);
        {
            const ScopedTimeZone zone(c.writer);
            const auto writer = server->connect();
            ASSERT_EQ(outcome(writer->call(
                          u"SetMetoAval"_s,
                          {deltaJson(metoAvalDeltaFields(),
                                     {insertOf({Branch, Joao, consulta, u"01"_s, u"N"_s})})})),
                      "ok");
            ASSERT_EQ(outcome(writer->call(u"SetPeso"_s,
                                           {deltaJson(pesoDeltaFields(),
                                                      {insertOf({Branch, Joao, consulta, u"01"_s,
                                                                 u"01"_s, u"72,25"_s})})})),
                      "ok");
            ASSERT_EQ(outcome(writer->call(u"SetPlaneja"_s,
                                           {deltaJson(planDeltaFields(), {insertOf(row)})})),
                      "ok");
        }

        QVariantList changed;
        {
            const ScopedTimeZone zone(c.reader);
            const auto reader = server->connect();
            const QJsonObject peso =
                reader->call(u"GetPeso"_s, {Branch, Joao, isoDateTime(consulta)});
            ASSERT_EQ(outcome(peso), "ok");
            const TDataPacket pesoRows = decodePacket(peso.value(u"data"_s));
            ASSERT_EQ(pesoRows.rows.size(), 1);
            EXPECT_EQ(isoDateTime(pesoRows.rows[0][2].toDouble()), consultaText);
            EXPECT_EQ(pesoRows.rows[0][5].toString(), u"72,25"_s);

            const QJsonObject plan =
                reader->call(u"GetPlaneja"_s, {Branch, isoDateTime(consulta), Joao});
            ASSERT_EQ(outcome(plan), "ok");
            const TDataPacket planRows = decodePacket(plan.value(u"data"_s));
            ASSERT_EQ(planRows.rows.size(), 1);
            const QVariantList read = planRows.rows[0];
            EXPECT_EQ(isoDateTime(read[2].toDouble()), consultaText);
            EXPECT_EQ(read[3].toString(), QString::fromLatin1(c.code));
            EXPECT_EQ(read[4].toDouble(), horas);

            const QJsonObject found =
                reader->call(u"VerifExerc"_s,
                             {Branch, Joao, isoDateTime(consulta), QString::fromLatin1(c.code)});
            ASSERT_EQ(outcome(found), "ok");
            EXPECT_EQ(decodePacket(found.value(u"data"_s)).rows.size(), 1);

            // The row as read is the row as stored: changing it is no conflict.
            changed = read;
            changed[4] = novasHoras;
            EXPECT_EQ(
                outcome(reader->call(u"SetPlaneja"_s,
                                     {deltaJson(planDeltaFields(), {updateOf(read, changed)})})),
                "ok");
        }

        const TDataPacket stored = select(
            u"SELECT DTCONSPACI, QTHREXERFISI FROM PLAEXERFISI WHERE CDPACIENTE = ? "
            u"AND CDEXERFISICO = ?"_s,
            {{u"DTCONSPACI"_s, TFieldType::DateTime, 0}, {u"QTHREXERFISI"_s, TFieldType::Float, 0}},
            {Joao, QString::fromLatin1(c.code)});
        ASSERT_EQ(stored.rows.size(), 1);
        EXPECT_EQ(isoDateTime(stored.rows[0][0].toDouble()), consultaText);
        EXPECT_EQ(stored.rows[0][1].toDouble(), novasHoras);

        {
            // Back in the writer's zone, the row the other workstation changed is removed.
            const ScopedTimeZone zone(c.writer);
            const auto writer = server->connect();
            EXPECT_EQ(outcome(writer->call(u"SetPlaneja"_s,
                                           {deltaJson(planDeltaFields(), {deleteOf(changed)})})),
                      "ok");
        }
    }
}

QOR_INSTANTIATE_BACKENDS(ServerInAnotherZone);

} // namespace
} // namespace qor::testing
