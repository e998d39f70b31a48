// The two catalogue queries on the general data module, over the demo catalogue of a
// real database, and their texts and fields.
#include "support/serverprocess.h"

#include "catalogue/exercisequeries.h"
#include "framework/dbgeral.h"
#include "rtl/exceptions.h"
#include "sql/databaseuri.h"
#include "sql/sqlconnection.h"
#include "sql/sqlquery.h"

#include <QCoreApplication>
#include <QSqlQuery>
#include <functional>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

TEST(CatalogueQueries, TextsAreTheSameForEveryDatabaseKind)
{
    struct Row
    {
        const char *name;
        ExerciseQueryFields (*define)(TADOIBQuery *);
        QStringList sql;
        int codeWidth;
    };
    const Row rows[] = {
        {"qryAuxPlaneja", DefineQryAuxPlaneja, QryAuxPlanejaSQL(), 8},
        {"qryVdPlaneja", DefineQryVdPlaneja, QryVdPlanejaSQL(), 6},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        TADOIBQuery query;
        const ExerciseQueryFields fields = row.define(&query);
        for (const QString &driver : {u"QSQLITE"_s, u"QPSQL"_s, u"QOCI"_s, u"QODBC"_s, u"QIBASE"_s})
            EXPECT_EQ(query.SQLFor(driver), row.sql.join(u'\n')) << driver.toStdString();
        EXPECT_FALSE(query.Active());
        EXPECT_EQ(fields.CDEXERFISICO->DisplayLabel, u"Código"_s);
        EXPECT_EQ(fields.CDEXERFISICO->DisplayWidth, row.codeWidth);
        EXPECT_EQ(fields.CDEXERFISICO->Size(), 6);
        EXPECT_EQ(fields.DSEXERFISICO->DisplayLabel, u"Descrição"_s);
        EXPECT_EQ(fields.DSEXERFISICO->DisplayWidth, 35);
        EXPECT_EQ(fields.DSEXERFISICO->Size(), 100);
        EXPECT_EQ(fields.QTENERCONS->DisplayLabel, u"Kcal/Kg/hora"_s);
        EXPECT_EQ(fields.QTENERCONS->DisplayWidth, 10);
        EXPECT_EQ(fields.QTENERCONS->DataType(), TFieldType::Float);
    }
    TADOIBQuery lookup;
    DefineQryVdPlaneja(&lookup);
    EXPECT_EQ(lookup.ParamNames(), QStringList{u"P_CDEXERFISICO"_s});
    EXPECT_EQ(QryVdPlanejaSQL().at(7), u"   (CDEXERFISICO = :P_CDEXERFISICO)"_s);
    EXPECT_EQ(QryAuxPlanejaSQL().first(), u"SELECT  CDEXERFISICO,"_s);
}

class CatalogueOnDatabase : public BackendTest
{
protected:
    void SetUp() override
    {
        BackendTest::SetUp();
        if (IsSkipped())
            return;
        // The server creates the schema and the demo catalogue.
        server = startServer();
        ASSERT_TRUE(server);
        dbGeral = std::make_unique<TdtmDBGeral>();
        dbGeral->Open(server->databaseUri());
        SetDtmDBGeral(dbGeral.get());
    }
    void TearDown() override
    {
        dbGeral.reset();
        server.reset();
    }
    std::unique_ptr<ServerProcess> server;
    std::unique_ptr<TdtmDBGeral> dbGeral;
};

struct ListingCase
{
    const char *name;
    QString added; // a code stored after the demo catalogue, empty for none
    int rows;
    QString first; // the code listed first
};

// Rows come back in the order they were stored unless the query orders them: a code
// added later, below every other, is still listed in its place for the search dialog.
TEST_P(CatalogueOnDatabase, ListingIsOrderedByCode)
{
    const ListingCase cases[] = {
        {"the demo catalogue", {}, 28, u"001010"_s},
        {"a code added below every other", u"000100"_s, 29, u"000100"_s},
    };
    for (const ListingCase &c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.added.isEmpty()) {
            QSqlQuery insert(server->db());
            ASSERT_TRUE(insert.prepare(u"INSERT INTO EXERFISICO (CDEXERFISICO, DSEXERFISICO, "
                                       u"QTENERCONS) VALUES (?, 'Alongamento', 2.3)"_s));
            insert.addBindValue(c.added);
            ASSERT_TRUE(insert.exec());
        }
        TADOIBQuery query;
        const ExerciseQueryFields fields = DefineQryAuxPlaneja(&query);
        query.Open();
        ASSERT_EQ(query.RecordCount(), c.rows);
        query.First();
        EXPECT_EQ(fields.CDEXERFISICO->AsString(), c.first);
        QString previous;
        for (; !query.Eof(); query.Next()) {
            EXPECT_LT(previous, fields.CDEXERFISICO->AsString());
            previous = fields.CDEXERFISICO->AsString();
            EXPECT_EQ(previous.size(), 6);
            EXPECT_FALSE(fields.DSEXERFISICO->AsString().isEmpty());
            EXPECT_GT(fields.QTENERCONS->AsFloat(), 0.0);
        }
    }
}

TEST_P(CatalogueOnDatabase, LookupByCode)
{
    struct Case
    {
        QString code;
        bool found;
        double kcalPerKgHour;
    };
    const Case cases[] = {
        {u"017190"_s, true, 0},       {u"001010"_s, true, 4.0},
        {u"999999"_s, false, 0},      {u"17190"_s, false, 0}, // codes are compared whole, as stored
        {u"' OR '1'='1"_s, false, 0}, // bound, never pasted into the text
        {QString(), false, 0},
    };
    TADOIBQuery query;
    const ExerciseQueryFields fields = DefineQryVdPlaneja(&query);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.code.toStdString());
        query.Close();
        query.ParamByName(u"P_CDEXERFISICO"_s)->SetAsString(c.code);
        query.Open();
        EXPECT_EQ(!query.IsEmpty(), c.found);
        if (c.found) {
            EXPECT_EQ(query.RecordCount(), 1);
            EXPECT_EQ(fields.CDEXERFISICO->AsString(), c.code);
            if (c.kcalPerKgHour > 0) {
                EXPECT_DOUBLE_EQ(fields.QTENERCONS->AsFloat(), c.kcalPerKgHour);
            }
        }
    }
}

// The database server ends the catalogue's session (a restart, an administrator ending
// sessions): the next read opens the connection again and is served, every time it
// happens, instead of failing until the host is restarted.
TEST_P(CatalogueOnDatabase, DroppedConnectionIsOpenedAgain)
{
    if (GetParam() != Backend::PostgreSQL)
        GTEST_SKIP() << "sessions ended by the server only with PostgreSQL";
    const auto sessionId = [this] {
        QSqlQuery query(dbGeral->Database());
        EXPECT_TRUE(query.exec(u"SELECT pg_backend_pid()"_s));
        return query.next() ? query.value(0).toInt() : -1;
    };
    TADOIBQuery lookup;
    const ExerciseQueryFields found = DefineQryVdPlaneja(&lookup);
    TADOIBQuery listing;
    DefineQryAuxPlaneja(&listing);
    const struct
    {
        const char *name;
        std::function<void()> read;
    } reads[] = {
        {"lookup by code",
         [&] {
             lookup.Close();
             lookup.ParamByName(u"P_CDEXERFISICO"_s)->SetAsString(u"001010"_s);
             lookup.Open();
             ASSERT_EQ(lookup.RecordCount(), 1);
             EXPECT_DOUBLE_EQ(found.QTENERCONS->AsFloat(), 4.0);
         }},
        {"listing",
         [&] {
             listing.Open();
             EXPECT_EQ(listing.RecordCount(), 28);
         }},
    };
    for (int round = 0; round < 2; ++round) {
        for (const auto &read : reads) {
            SCOPED_TRACE(read.name);
            SCOPED_TRACE(round);
            const int session = sessionId();
            ASSERT_GT(session, 0);
            QSqlQuery end(server->db());
            ASSERT_TRUE(end.exec(u"SELECT pg_terminate_backend(%1)"_s.arg(session)));
            try {
                read.read();
            } catch (const Exception &e) {
                ADD_FAILURE() << e.Message().toStdString();
            }
            EXPECT_TRUE(dbGeral->Connected());
            EXPECT_NE(sessionId(), session);
        }
    }
}

// The host started while the catalogue's database server could not be reached (here: its
// database not created yet): once it can, the next read opens the connection and is
// served, instead of every read failing until the host is restarted.
TEST_P(CatalogueOnDatabase, CatalogueUnreachableAtStartIsOpenedOnceReachable)
{
    if (GetParam() != Backend::PostgreSQL)
        GTEST_SKIP() << "a database server only with PostgreSQL";
    DatabaseUri later = DatabaseUri::parse(server->databaseUri());
    later.database = u"qor_catalogo_tardio_%1"_s.arg(QCoreApplication::applicationPid());
    QSqlDatabase admin = server->db();
    execSql(admin, u"DROP DATABASE IF EXISTS %1"_s.arg(later.database));
    dbGeral = std::make_unique<TdtmDBGeral>();
    SetDtmDBGeral(dbGeral.get());
    EXPECT_THROW(dbGeral->Open(later.toString()), EDatabaseError);
    EXPECT_FALSE(dbGeral->Connected());

    TADOIBQuery lookup;
    const ExerciseQueryFields found = DefineQryVdPlaneja(&lookup);
    lookup.ParamByName(u"P_CDEXERFISICO"_s)->SetAsString(u"001010"_s);
    // Still unreachable: each read says so, and nothing is served.
    for (int i = 0; i < 2; ++i)
        EXPECT_THROW(lookup.Open(), EDatabaseError);
    EXPECT_FALSE(lookup.Active());

    execSql(admin, u"CREATE DATABASE %1"_s.arg(later.database));
    {
        const QString name = u"catalogo-tardio"_s;
        QSqlDatabase created = openDatabase(later, name);
        execSql(created,
                u"CREATE TABLE EXERFISICO (CDEXERFISICO varchar(6) PRIMARY KEY, "
                u"DSEXERFISICO varchar(100), QTENERCONS double precision)"_s);
        execSql(created, u"INSERT INTO EXERFISICO VALUES ('001010', 'Ciclismo', 4)"_s);
        created.close();
        created = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
    }
    try {
        lookup.Open();
        ASSERT_EQ(lookup.RecordCount(), 1);
        EXPECT_EQ(found.DSEXERFISICO->AsString(), u"Ciclismo"_s);
        EXPECT_DOUBLE_EQ(found.QTENERCONS->AsFloat(), 4.0);
    } catch (const Exception &e) {
        ADD_FAILURE() << e.Message().toStdString();
    }
    EXPECT_TRUE(dbGeral->Connected());
    dbGeral->Close();
    execSql(admin, u"DROP DATABASE %1"_s.arg(later.database));
}

// What a workstation meets when the catalogue's database server refuses it, said in
// Portuguese rather than in the client library's English.
TEST_P(CatalogueOnDatabase, SaysInPortugueseWhyTheDatabaseServerRefuses)
{
    if (GetParam() != Backend::PostgreSQL)
        GTEST_SKIP() << "a database server only with PostgreSQL";
    const QString pid = QString::number(QCoreApplication::applicationPid());
    const QString reader = u"qor_leitor_%1"_s.arg(pid);
    const QString bare = u"qor_sem_catalogo_%1"_s.arg(pid);
    QSqlDatabase admin = server->db();
    execSql(admin, u"DROP DATABASE IF EXISTS %1"_s.arg(bare));
    execSql(admin, u"DROP ROLE IF EXISTS %1"_s.arg(reader));
    execSql(admin, u"CREATE ROLE %1 LOGIN"_s.arg(reader));
    execSql(admin, u"CREATE DATABASE %1"_s.arg(bare));

    const DatabaseUri own = DatabaseUri::parse(server->databaseUri());
    const auto at = [&](const QString &user, const QString &database) {
        DatabaseUri uri = own;
        uri.user = user;
        uri.password.clear();
        uri.database = database;
        return uri.toString();
    };
    const QString opening = u"Não foi possível abrir o banco de dados %1: %2."_s;
    const QString reading = u"Falha ao consultar o banco de dados: %1."_s;
    const struct
    {
        const char *name;
        QString uri;
        QString message;
    } cases[] = {
        {"user unknown to the server", at(u"qor_ninguem"_s, own.database),
         opening.arg(at(u"qor_ninguem"_s, own.database),
                     u"o usuário qor_ninguem não existe no servidor do banco de dados"_s)},
        {"database unknown to the server", at(own.user, u"qor_nenhum"_s),
         opening.arg(at(own.user, u"qor_nenhum"_s),
                     u"o banco qor_nenhum não existe no servidor do banco de dados"_s)},
        {"database without the catalogue", at(own.user, bare),
         reading.arg(u"a tabela exerfisico não existe"_s)},
        {"user not granted the catalogue", at(reader, own.database),
         reading.arg(u"o usuário não tem permissão de acesso à tabela exerfisico"_s)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QString message;
        try {
            dbGeral->Open(c.uri);
            TADOIBQuery listing;
            DefineQryAuxPlaneja(&listing);
            listing.Open();
        } catch (const EDatabaseError &e) {
            message = e.Message();
        }
        EXPECT_EQ(message.toStdString(), c.message.toStdString());
    }
    dbGeral->Close();
    execSql(admin, u"DROP DATABASE %1"_s.arg(bare));
    execSql(admin, u"DROP ROLE %1"_s.arg(reader));
}

QOR_INSTANTIATE_BACKENDS(CatalogueOnDatabase);

// A catalogue database in the cluster named by QOR_TEST_PG, made the way an administrator
// may have made it (another encoding, settings of its own), with one exercise; dropped
// at the end.
class AdministeredCatalogue : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!ServerProcess::postgresAvailable())
            GTEST_SKIP() << "QOR_TEST_PG is not set";
        admin = DatabaseUri::parse(qEnvironmentVariable("QOR_TEST_PG"));
    }
    void TearDown() override
    {
        dbGeral.reset();
        closeDirect();
        if (!catalogue.database.isEmpty())
            runStatement(admin,
                         u"DROP DATABASE IF EXISTS %1 WITH (FORCE)"_s.arg(catalogue.database));
    }
    // Creates the database with these CREATE DATABASE options and ALTER DATABASE ... SET
    // settings, and opens the general data module on it.
    void create(const QString &options, const QStringList &settings = {})
    {
        catalogue = admin;
        catalogue.database = u"qor_cat_%1"_s.arg(QCoreApplication::applicationPid());
        runStatement(admin, u"DROP DATABASE IF EXISTS %1 WITH (FORCE)"_s.arg(catalogue.database));
        runStatement(admin, u"CREATE DATABASE %1 %2"_s.arg(catalogue.database, options));
        for (const QString &setting : settings)
            runStatement(admin, u"ALTER DATABASE %1 SET %2"_s.arg(catalogue.database, setting));
        execSql(direct(),
                u"CREATE TABLE EXERFISICO (CDEXERFISICO varchar(6) PRIMARY KEY, "
                u"DSEXERFISICO varchar(100), QTENERCONS double precision)"_s);
        SqlStatement insert(direct(), u"INSERT INTO EXERFISICO VALUES (?, ?, ?)"_s);
        insert.bind(u"018300"_s).bind(Swimming).bind(5.8).exec();
        dbGeral = std::make_unique<TdtmDBGeral>();
        dbGeral->Open(catalogue.toString());
        SetDtmDBGeral(dbGeral.get());
    }
    // The test's own connection to the catalogue database.
    QSqlDatabase direct()
    {
        if (!QSqlDatabase::contains(DirectName))
            return openDatabase(catalogue, DirectName);
        return QSqlDatabase::database(DirectName);
    }
    void closeDirect()
    {
        if (!QSqlDatabase::contains(DirectName))
            return;
        QSqlDatabase::database(DirectName, false).close();
        QSqlDatabase::removeDatabase(DirectName);
    }

    inline static const QString DirectName = u"qor-catalogue-direct"_s;
    inline static const QString Swimming = u"Natação, nado livre, esforço moderado"_s;
    DatabaseUri admin;
    DatabaseUri catalogue;
    std::unique_ptr<TdtmDBGeral> dbGeral;
};

// A code typed with a character the catalogue's encoding cannot hold (a euro sign, an
// emoji) names no exercise: the lookup is refused in Portuguese, and the accented names
// the catalogue holds are read exactly.
TEST_F(AdministeredCatalogue, LookupInAnotherEncodingKeepsAccentsAndRefusesInPortuguese)
{
    const QString refused = u"Falha ao consultar o banco de dados: o texto informado tem "
                            u"caracteres que a codificação do banco de dados não aceita."_s;
    const struct
    {
        const char *encoding;
        QString code;
        bool found;
        QString error; // empty: read without error
    } cases[] = {
        {"LATIN1", u"018300"_s, true, {}},       {"LATIN1", u"01830ç"_s, false, {}},
        {"LATIN1", u"0183€0"_s, false, refused}, {"LATIN1", u"0183😀"_s, false, refused},
        {"WIN1252", u"018300"_s, true, {}},      {"WIN1252", u"0183€0"_s, false, {}},
        {"WIN1252", u"0183😀"_s, false, refused},
    };
    QString created;
    TADOIBQuery lookup;
    const ExerciseQueryFields fields = DefineQryVdPlaneja(&lookup);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.encoding);
        SCOPED_TRACE(c.code.toStdString());
        if (created != QLatin1StringView(c.encoding)) {
            dbGeral.reset();
            closeDirect();
            create(u"ENCODING '%1' LC_COLLATE 'C' LC_CTYPE 'C' TEMPLATE template0"_s.arg(
                QLatin1StringView(c.encoding)));
            created = QLatin1StringView(c.encoding);
        }
        lookup.Close();
        lookup.ParamByName(u"P_CDEXERFISICO"_s)->SetAsString(c.code);
        try {
            lookup.Open();
            EXPECT_TRUE(c.error.isEmpty()) << "read";
            EXPECT_EQ(!lookup.IsEmpty(), c.found);
            if (c.found) {
                EXPECT_EQ(fields.DSEXERFISICO->AsString(), Swimming);
            }
        } catch (const EDatabaseError &e) {
            EXPECT_EQ(e.Message().toStdString(), c.error.toStdString());
        }
    }
}

// A catalogue table held by another session (a reload of the catalogue, an administrator's
// maintenance) longer than the lookup may wait, by our own bound or by a statement_timeout
// the administrator set: the lookup is refused in Portuguese, and served once let go.
TEST_F(AdministeredCatalogue, LookupOfAHeldTableIsRefusedInPortuguese)
{
    const struct
    {
        const char *name;
        QStringList settings;
    } cases[] = {
        {"statement_timeout", {u"statement_timeout = '500ms'"_s}},
        {"our own wait for locks", {}},
    };
    TADOIBQuery lookup;
    const ExerciseQueryFields fields = DefineQryVdPlaneja(&lookup);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        dbGeral.reset();
        closeDirect();
        create({}, c.settings);
        execSql(direct(), u"BEGIN"_s);
        execSql(direct(), u"LOCK TABLE EXERFISICO IN ACCESS EXCLUSIVE MODE"_s);
        lookup.Close();
        lookup.ParamByName(u"P_CDEXERFISICO"_s)->SetAsString(u"018300"_s);
        try {
            lookup.Open();
            ADD_FAILURE() << "read a table held elsewhere";
        } catch (const EDatabaseError &e) {
            EXPECT_EQ(e.Message().toStdString(),
                      "Falha ao consultar o banco de dados: o banco de dados está ocupado; "
                      "tente novamente.");
        }
        execSql(direct(), u"ROLLBACK"_s);
        lookup.Close();
        lookup.Open();
        ASSERT_EQ(lookup.RecordCount(), 1);
        EXPECT_EQ(fields.DSEXERFISICO->AsString(), Swimming);
    }
}

} // namespace
} // namespace qor::testing
