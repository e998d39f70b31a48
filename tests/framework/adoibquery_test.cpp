// TADOIBQuery and the general data module on a real, temporary SQLite catalogue.
#include "framework/adoibquery.h"

#include "data/field.h"
#include "framework/dbgeral.h"
#include "framework/velmora.h"
#include "rtl/exceptions.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using namespace qor;

namespace {

const QStringList kListing{
    u"SELECT  CDEXERFISICO,"_s, u"   DSEXERFISICO,"_s,       u"   QTENERCONS"_s,
    u"FROM  EXERFISICO"_s,      u"ORDER BY  CDEXERFISICO"_s,
};
const QStringList kLookup{
    u"SELECT"_s,
    u"   CDEXERFISICO,"_s,
    u"   DSEXERFISICO,"_s,
    u"   QTENERCONS"_s,
    u"FROM"_s,
    u"   EXERFISICO"_s,
    u"WHERE"_s,
    u"   (CDEXERFISICO = :P_CDEXERFISICO)"_s,
    u"ORDER BY"_s,
    u"   CDEXERFISICO"_s,
};

class CatalogueTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        module.Open(u"sqlite:"_s + dir.filePath(u"catalogo/catalogue.db"_s));
        SetDtmDBGeral(&module);
        QSqlQuery q(module.Database());
        ASSERT_TRUE(q.exec(u"CREATE TABLE EXERFISICO (CDEXERFISICO VARCHAR(6) PRIMARY KEY, "
                           "DSEXERFISICO VARCHAR(100), QTENERCONS DOUBLE PRECISION)"_s));
        const std::tuple<QString, QString, double> rows[] = {
            {u"017010"_s, u"Caminhada, 5 km/h, plano"_s, 3.5},
            {u"002010"_s, u"Ciclismo, lazer"_s, 7.5},
            {u"012020"_s, u"Corrida, 8 km/h"_s, 8.3},
            {u"018310"_s, u"Natação, estilo livre"_s, 5.8},
        };
        for (const auto &[code, name, met] : rows) {
            q.prepare(u"INSERT INTO EXERFISICO VALUES (?, ?, ?)"_s);
            q.addBindValue(code);
            q.addBindValue(name);
            q.addBindValue(met);
            ASSERT_TRUE(q.exec());
        }
    }
    void TearDown() override { SetDtmDBGeral(nullptr); }

    // The query as the screen declares it: persistent fields with labels and widths.
    void declare(TADOIBQuery &query, const QStringList &text, int codeWidth)
    {
        query.SQL = query.SQL_ORACLE = query.SQL_MSSQL = query.SQL_IB = text;
        TField *code = query.AddField(u"CDEXERFISICO"_s, TFieldType::String, 6);
        code->DisplayLabel = u"Código"_s;
        code->DisplayWidth = codeWidth;
        TField *name = query.AddField(u"DSEXERFISICO"_s, TFieldType::String, 100);
        name->DisplayLabel = u"Descrição"_s;
        name->DisplayWidth = 35;
        TField *met = query.AddField(u"QTENERCONS"_s, TFieldType::Float);
        met->DisplayLabel = u"Kcal/Kg/hora"_s;
        met->DisplayWidth = 10;
    }

    QTemporaryDir dir;
    TdtmDBGeral module;
};

TEST_F(CatalogueTest, ListingIsOrderedByCode)
{
    TADOIBQuery query;
    declare(query, kListing, 8);
    EXPECT_FALSE(query.Active());
    query.Open();
    ASSERT_TRUE(query.Active());
    EXPECT_EQ(query.RecordCount(), 4);
    QStringList codes;
    for (query.First(); !query.Eof(); query.Next())
        codes.append(query.FieldByName(u"CDEXERFISICO"_s)->AsString());
    EXPECT_EQ(codes, (QStringList{u"002010"_s, u"012020"_s, u"017010"_s, u"018310"_s}));
    query.First();
    EXPECT_EQ(query.FieldByName(u"DSEXERFISICO"_s)->AsString(), u"Ciclismo, lazer"_s);
    EXPECT_EQ(query.FieldByName(u"QTENERCONS"_s)->AsFloat(), 7.5);
    EXPECT_EQ(query.FieldByName(u"CDEXERFISICO"_s)->DisplayName(), u"Código"_s);
}

struct LookupCase
{
    const char16_t *code;
    bool found;
    const char16_t *name;
};

class LookupTest : public CatalogueTest, public ::testing::WithParamInterface<LookupCase>
{
};

TEST_P(LookupTest, FindsOneExerciseByItsCode)
{
    TADOIBQuery query;
    declare(query, kLookup, 6);
    query.Close();
    query.ParamByName(u"P_CDEXERFISICO"_s)->SetAsString(QString::fromUtf16(GetParam().code));
    query.Open();
    EXPECT_EQ(!query.IsEmpty(), GetParam().found);
    if (GetParam().found) {
        EXPECT_EQ(query.FieldByName(u"DSEXERFISICO"_s)->AsString(),
                  QString::fromUtf16(GetParam().name));
    }
}

INSTANTIATE_TEST_SUITE_P(ADOIBQuery, LookupTest,
                         ::testing::Values(LookupCase{u"018310", true, u"Natação, estilo livre"},
                                           LookupCase{u"002010", true, u"Ciclismo, lazer"},
                                           LookupCase{u"999999", false, nullptr},
                                           LookupCase{u"18310", false, nullptr},
                                           LookupCase{u"", false, nullptr},
                                           // A parameter is bound, never pasted into the text.
                                           LookupCase{u"' OR '1'='1", false, nullptr},
                                           LookupCase{u"017010') OR ('1'='1", false, nullptr}));

TEST_F(CatalogueTest, ParametersKeepTheirValueAcrossReopens)
{
    TADOIBQuery query;
    declare(query, kLookup, 6);
    query.ParamByName(u"P_CDEXERFISICO"_s)->SetAsString(u"012020"_s);
    query.Open();
    ASSERT_FALSE(query.IsEmpty());
    query.Close();
    EXPECT_EQ(query.ParamByName(u"p_cdexerfisico"_s)->AsString(), u"012020"_s);
    query.Open();
    EXPECT_EQ(query.FieldByName(u"CDEXERFISICO"_s)->AsString(), u"012020"_s);
    query.ParamByName(u"P_CDEXERFISICO"_s)->SetAsString(u"017010"_s);
    query.Open(); // reopening an open query runs it again
    EXPECT_EQ(query.FieldByName(u"CDEXERFISICO"_s)->AsString(), u"017010"_s);
    EXPECT_EQ(query.ParamNames(), QStringList{u"P_CDEXERFISICO"_s});
}

TEST_F(CatalogueTest, UnknownParameterRaises)
{
    TADOIBQuery query;
    declare(query, kLookup, 6);
    EXPECT_THROW(query.ParamByName(u"P_OUTRO"_s), EDatabaseError);
}

struct TextCase
{
    const char16_t *driver;
    const char16_t *expected;
};

class TextChoiceTest : public ::testing::TestWithParam<TextCase>
{
};

TEST_P(TextChoiceTest, TextFollowsTheDriver)
{
    TADOIBQuery query;
    query.SQL = QStringList{u"SELECT 'padrao'"_s};
    query.SQL_ORACLE = QStringList{u"SELECT 'oracle' FROM DUAL"_s};
    query.SQL_MSSQL = QStringList{u"SELECT 'mssql'"_s};
    query.SQL_IB = QStringList{u"SELECT 'ib' FROM RDB$DATABASE"_s};
    EXPECT_EQ(query.SQLFor(QString::fromUtf16(GetParam().driver)),
              QString::fromUtf16(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(ADOIBQuery, TextChoiceTest,
                         ::testing::Values(TextCase{u"QSQLITE", u"SELECT 'padrao'"},
                                           TextCase{u"QPSQL", u"SELECT 'padrao'"},
                                           TextCase{u"QOCI", u"SELECT 'oracle' FROM DUAL"},
                                           TextCase{u"QODBC", u"SELECT 'mssql'"},
                                           TextCase{u"QTDS", u"SELECT 'mssql'"},
                                           TextCase{u"QIBASE", u"SELECT 'ib' FROM RDB$DATABASE"},
                                           TextCase{u"", u"SELECT 'padrao'"}));

TEST(ADOIBQueryText, EmptyKindTextFallsBackAndLinesJoin)
{
    TADOIBQuery query;
    query.SQL = QStringList{u"SELECT 1"_s, u"FROM T"_s};
    EXPECT_EQ(query.SQLFor(u"QOCI"_s), u"SELECT 1\nFROM T"_s);
    query.SQL_ORACLE = QStringList{u"  "_s};
    EXPECT_EQ(query.SQLFor(u"QOCI"_s), u"SELECT 1\nFROM T"_s);
}

TEST_F(CatalogueTest, RunsTheTextOfItsOwnDriver)
{
    TADOIBQuery query;
    query.SQL = kListing;
    query.SQL_ORACLE = QStringList{u"SELECT * FROM TABELA_QUE_NAO_EXISTE"_s};
    query.Open(); // SQLite: the default text
    EXPECT_EQ(query.RecordCount(), 4);
}

TEST_F(CatalogueTest, FieldsFromTheResultWhenNoneAreDefined)
{
    TADOIBQuery query;
    query.SQL = kListing;
    query.Open();
    ASSERT_EQ(query.Fields().size(), 3);
    EXPECT_EQ(query.Fields()[0]->FieldName(), u"CDEXERFISICO"_s);
    EXPECT_EQ(query.RecordCount(), 4);
    query.Last();
    EXPECT_EQ(query.FieldByName(u"QTENERCONS"_s)->AsFloat(), 5.8);
}

struct FailureCase
{
    const char *name;
    const char16_t *sql;
};

class FailureTest : public CatalogueTest, public ::testing::WithParamInterface<FailureCase>
{
};

TEST_P(FailureTest, RaisesADatabaseErrorInPortugueseAndStaysClosed)
{
    TADOIBQuery query;
    query.SQL = QStringList{QString::fromUtf16(GetParam().sql)};
    try {
        query.Open();
        FAIL() << "no exception";
    } catch (const EDatabaseError &e) {
        EXPECT_FALSE(e.Message().isEmpty());
        EXPECT_TRUE(e.Message().contains(u"banco de dados"_s)
                    || e.Message().contains(u"consulta"_s))
            << e.Message().toStdString();
    }
    EXPECT_FALSE(query.Active());
}

INSTANTIATE_TEST_SUITE_P(
    ADOIBQuery, FailureTest,
    ::testing::Values(FailureCase{"missing_table", u"SELECT * FROM EXERCICIO_INEXISTENTE"},
                      FailureCase{"syntax", u"SELEC CDEXERFISICO FROM EXERFISICO"},
                      FailureCase{"no_text", u""},
                      // The last row fails to be read (an integer overflow in it): the
                      // rows before it are not the whole result.
                      FailureCase{"row_fails_midway",
                                  u"SELECT CDEXERFISICO, CASE WHEN CDEXERFISICO <> '018310' "
                                  u"THEN 0 ELSE abs(length(CDEXERFISICO) * 0 - "
                                  u"9223372036854775807 - 1) END AS N FROM EXERFISICO"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(CatalogueTest, DefinedFieldMissingFromTheResultRaises)
{
    TADOIBQuery query;
    declare(query, QStringList{u"SELECT CDEXERFISICO, DSEXERFISICO FROM EXERFISICO"_s}, 6);
    EXPECT_THROW(query.Open(), EDatabaseError);
    EXPECT_FALSE(query.Active());
}

TEST_F(CatalogueTest, IsReadOnly)
{
    TADOIBQuery query;
    declare(query, kListing, 8);
    query.Open();
    EXPECT_THROW(query.Insert(), EDatabaseError);
    EXPECT_THROW(query.Edit(), EDatabaseError);
    EXPECT_THROW(query.Delete(), EDatabaseError);
    EXPECT_EQ(query.State(), dsBrowse);
    EXPECT_EQ(query.RecordCount(), 4);
}

TEST(ADOIBQueryConnection, WithoutAConnectionRaises)
{
    SetDtmDBGeral(nullptr);
    TADOIBQuery query;
    query.SQL = kListing;
    EXPECT_THROW(query.Open(), EDatabaseError);
    TdtmDBGeral closed;
    SetDtmDBGeral(&closed);
    EXPECT_THROW(query.Open(), EDatabaseError);
    SetDtmDBGeral(nullptr);
}

struct UriCase
{
    const char *name;
    const char16_t *uri;
};

class DataModuleBadUriTest : public ::testing::TestWithParam<UriCase>
{
};

TEST_P(DataModuleBadUriTest, RaisesAndStaysClosed)
{
    TdtmDBGeral module;
    EXPECT_THROW(module.Open(QString::fromUtf16(GetParam().uri)), EDatabaseError);
    EXPECT_FALSE(module.Connected());
    EXPECT_EQ(module.DriverName(), QString());
}

INSTANTIATE_TEST_SUITE_P(
    DataModule, DataModuleBadUriTest,
    ::testing::Values(UriCase{"unknown_scheme", u"mysql://localhost/qor"}, UriCase{"empty", u""},
                      UriCase{"unreachable_folder", u"sqlite:/proc/nao/pode/catalogue.db"},
                      UriCase{"postgres_refused", u"postgresql://qor:x@127.0.0.1:1/qor"}),
    [](const auto &info) { return std::string(info.param.name); });

// A catalogue that cannot be read is said in Portuguese, at opening or at the first
// query: the drivers word the reason in English.
TEST(DataModule, SaysInPortugueseWhyTheCatalogueCannotBeRead)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString text = dir.filePath(u"texto.db"_s);
    {
        QFile file(text);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
    }
    const QString empty = dir.filePath(u"vazio.db"_s);
    const struct
    {
        const char *name;
        QString uri;
        QString message;
    } cases[] = {
        {"database without the catalogue's table", u"sqlite:"_s + empty,
         u"Falha ao consultar o banco de dados: a tabela EXERFISICO não existe."_s},
        {"file that is no database", u"sqlite:"_s + text,
         u"Não foi possível abrir o banco de dados sqlite:%1: o arquivo não é um banco de "
         u"dados."_s.arg(text)},
        {"database server not listening", u"postgresql://qor@127.0.0.1:1/qor"_s,
         u"Não foi possível abrir o banco de dados postgresql://qor@127.0.0.1:1/qor: conexão "
         u"recusada pelo servidor do banco de dados."_s},
        {"database server unknown", u"postgresql://qor@servidor-inexistente.invalid/qor"_s,
         u"Não foi possível abrir o banco de dados "
         u"postgresql://qor@servidor-inexistente.invalid:5432/qor: servidor do banco de dados "
         u"não encontrado."_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TdtmDBGeral module;
        SetDtmDBGeral(&module);
        QString message;
        try {
            module.Open(c.uri);
            TADOIBQuery query;
            query.SQL = kListing;
            query.Open();
        } catch (const EDatabaseError &e) {
            message = e.Message();
        }
        EXPECT_EQ(message.toStdString(), c.message.toStdString());
        SetDtmDBGeral(nullptr);
    }
}

TEST(DataModule, OpensTheCatalogueNamedByTheSettings)
{
    QTemporaryDir dir;
    qputenv("QOR_SETTINGS", dir.filePath(u"qor-host.ini"_s).toUtf8());
    ASSERT_TRUE(WriteSetting(u"catalogue/uri"_s, u"sqlite:"_s + dir.filePath(u"cat.db"_s)));
    {
        TdtmDBGeral module;
        module.Open();
        EXPECT_TRUE(module.Connected());
        EXPECT_EQ(module.DriverName(), u"QSQLITE"_s);
        EXPECT_EQ(module.URI(), u"sqlite:"_s + dir.filePath(u"cat.db"_s));
        SetDtmDBGeral(&module);
        EXPECT_EQ(dtmDBGeral(), &module);
        module.Close();
        EXPECT_FALSE(module.Connected());
    }
    // A destroyed module is no longer the global one.
    EXPECT_EQ(dtmDBGeral(), nullptr);
    qunsetenv("QOR_SETTINGS");
}

} // namespace
