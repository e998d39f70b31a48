// The search dialog, driven live through QTest: filter, choose, cancel.
#include "framework/pesquisa.h"

#include "data/clientdataset.h"
#include "data/datasource.h"
#include "forms/scripteddialogs.h"
#include "framework/adoibquery.h"
#include "framework/dbgeral.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace qor;

namespace {

const QString kCaption = u"Exercício|Não há exercício cadastrado."_s;

TDataPacket catalogue(int rows)
{
    TDataPacket packet;
    packet.fields = {{u"CDFILIAL"_s, TFieldType::String, 4},
                     {u"CDEXERFISICO"_s, TFieldType::String, 6},
                     {u"DSEXERFISICO"_s, TFieldType::String, 100},
                     {u"QTENERCONS"_s, TFieldType::Float, 0}};
    const QList<QVariantList> all{
        {u"0001"_s, u"002010"_s, u"Ciclismo, lazer"_s, 7.5},
        {u"0001"_s, u"012020"_s, u"Corrida, 8 km/h"_s, 8.3},
        {u"0001"_s, u"017010"_s, u"Caminhada, 5 km/h, plano"_s, 3.5},
        {u"0001"_s, u"018310"_s, u"Natação, estilo livre"_s, 5.8},
        {u"0001"_s, u"021000"_s, u"Ginástica aeróbica"_s, 6.8},
    };
    packet.rows = all.mid(0, rows);
    return packet;
}

// Types text as a keyboard would, accented letters included (QTest::keyClicks only
// knows ASCII).
void typeText(QWidget *widget, const QString &text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QApplication::sendEvent(widget, &release);
    }
}

// Runs every framework dialog through a script instead of a modal loop.
class ScriptedRunner
{
public:
    explicit ScriptedRunner(std::function<void(QDialog *)> script)
    {
        m_previous = SetModalRunner([this, script](QDialog *dialog) {
            ++runs;
            title = dialog->windowTitle();
            dialog->show();
            script(dialog);
            const int result = dialog->isVisible() ? QDialog::Rejected : dialog->result();
            dialog->hide();
            return result;
        });
    }
    ~ScriptedRunner() { SetModalRunner(std::move(m_previous)); }

    int runs = 0;
    QString title;

private:
    ModalRunner m_previous;
};

class PesquisaTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        data.SetData(catalogue(5));
        data.FieldByName(u"CDFILIAL"_s)->Visible = false;
        data.FieldByName(u"CDEXERFISICO"_s)->DisplayLabel = u"Código"_s;
        source.SetDataSet(&data);
        data.Last(); // the position a cancelled search must leave alone
    }

    TClientDataSet data;
    TDataSource source;
    ScopedScriptedDialogs dialogs;
};

struct PickCase
{
    const char *name;
    const char16_t *typed;
    int downs; // down-arrow presses in the filter box
    Qt::Key finish; // Enter or Esc
    bool chosen;
    const char16_t *code; // the dataset's code afterwards
};

class PesquisaPickTest : public PesquisaTest, public ::testing::WithParamInterface<PickCase>
{
};

TEST_P(PesquisaPickTest, FiltersAndChooses)
{
    const PickCase &c = GetParam();
    int shownRows = -1;
    ScriptedRunner runner([&](QDialog *dialog) {
        auto *filter = dialog->findChild<QLineEdit *>(u"edtPesquisa"_s);
        auto *table = dialog->findChild<QTableView *>(u"grdPesquisa"_s);
        ASSERT_NE(filter, nullptr);
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(table->model()->columnCount(), 3); // the hidden branch is not shown
        typeText(filter, QString::fromUtf16(c.typed));
        for (int i = 0; i < c.downs; ++i)
            QTest::keyClick(filter, Qt::Key_Down);
        shownRows = table->model()->rowCount();
        QTest::keyClick(filter, c.finish);
    });
    EXPECT_EQ(Pesquisar_Plus(&source, kCaption, false, true), c.chosen);
    EXPECT_EQ(runner.runs, 1);
    EXPECT_EQ(runner.title, u"Exercício"_s);
    EXPECT_GE(shownRows, 0);
    EXPECT_EQ(data.FieldByName(u"CDEXERFISICO"_s)->AsString(), QString::fromUtf16(c.code));
    EXPECT_TRUE(dialogs->Messages().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Pesquisa, PesquisaPickTest,
    ::testing::Values(
        PickCase{"name_without_accents", u"natacao", 0, Qt::Key_Return, true, u"018310"},
        PickCase{"name_other_case_accents", u"GINÁSTICA", 0, Qt::Key_Return, true, u"021000"},
        PickCase{"accent_typed_name_plain", u"aeróbica", 0, Qt::Key_Enter, true, u"021000"},
        PickCase{"part_of_name", u"corr", 0, Qt::Key_Return, true, u"012020"},
        PickCase{"by_code", u"0170", 0, Qt::Key_Return, true, u"017010"},
        PickCase{"nothing_typed_first_row", u"", 0, Qt::Key_Return, true, u"002010"},
        PickCase{"down_moves_the_choice", u"km/h", 1, Qt::Key_Return, true, u"017010"},
        PickCase{"esc_cancels", u"corr", 0, Qt::Key_Escape, false, u"021000"},
        PickCase{"no_match_enter_does_not_choose", u"xadrez", 0, Qt::Key_Return, false, u"021000"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(PesquisaTest, DoubleClickChooses)
{
    ScriptedRunner runner([&](QDialog *dialog) {
        auto *table = dialog->findChild<QTableView *>(u"grdPesquisa"_s);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
        const QRect cell = table->visualRect(table->model()->index(2, 1));
        // A view takes a double click on the row it was pressed on.
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    });
    EXPECT_TRUE(Pesquisar_Plus(&source, kCaption, false, true));
    EXPECT_EQ(data.FieldByName(u"CDEXERFISICO"_s)->AsString(), u"017010"_s);
}

TEST_F(PesquisaTest, NoRowsShowsTheMessageInsteadOfTheDialog)
{
    data.SetData(catalogue(0));
    ScriptedRunner runner([](QDialog *) {});
    EXPECT_FALSE(Pesquisar_Plus(&source, kCaption, false, true));
    EXPECT_EQ(runner.runs, 0);
    EXPECT_EQ(dialogs->Texts(mtInformation), QStringList{u"Não há exercício cadastrado."_s});
}

TEST_F(PesquisaTest, NoRowsWithoutAMessageInTheCaption)
{
    data.SetData(catalogue(0));
    ScriptedRunner runner([](QDialog *) {});
    EXPECT_FALSE(Pesquisar_Plus(&source, u"Exercício"_s, false, true));
    EXPECT_EQ(dialogs->Texts(mtInformation), QStringList{u"Nenhum registro encontrado."_s});
}

TEST_F(PesquisaTest, SingleRowChosenAtOnceWhenAsked)
{
    data.SetData(catalogue(1));
    ScriptedRunner runner([](QDialog *) {});
    EXPECT_TRUE(Pesquisar_Plus(&source, kCaption, true, true));
    EXPECT_EQ(runner.runs, 0);
    EXPECT_FALSE(Pesquisar_Plus(&source, kCaption, false, true)); // the dialog, cancelled
    EXPECT_EQ(runner.runs, 1);
}

TEST_F(PesquisaTest, WithNoColumnShownNothingCanBeChosen)
{
    for (TField *field : data.Fields())
        field->Visible = false;
    int shownRows = -1;
    ScriptedRunner runner([&](QDialog *dialog) {
        auto *table = dialog->findChild<QTableView *>(u"grdPesquisa"_s);
        ASSERT_NE(table, nullptr);
        shownRows = table->model()->rowCount();
        QTest::keyClick(dialog->findChild<QLineEdit *>(u"edtPesquisa"_s), Qt::Key_Return);
    });
    EXPECT_FALSE(Pesquisar_Plus(&source, kCaption, false, true));
    EXPECT_EQ(runner.runs, 1);
    EXPECT_EQ(shownRows, 0);
    EXPECT_EQ(data.RecNo(), 5); // left where it was
}

TEST(PesquisaNoData, WithoutADataSetNothingIsChosen)
{
    TDataSource empty;
    EXPECT_FALSE(Pesquisar_Plus(&empty, kCaption, false, true));
    EXPECT_FALSE(Pesquisar_Plus(nullptr, kCaption, false, true));
}

TEST(PesquisaQuery, RunsTheQueryAnewEachTime)
{
    QTemporaryDir dir;
    TdtmDBGeral module;
    module.Open(u"sqlite:"_s + dir.filePath(u"cat.db"_s));
    SetDtmDBGeral(&module);
    QSqlQuery sql(module.Database());
    ASSERT_TRUE(sql.exec(u"CREATE TABLE EXERFISICO (CDEXERFISICO VARCHAR(6), "
                         "DSEXERFISICO VARCHAR(100), QTENERCONS DOUBLE PRECISION)"_s));
    ASSERT_TRUE(sql.exec(u"INSERT INTO EXERFISICO VALUES ('002010', 'Ciclismo', 7.5)"_s));

    TADOIBQuery query;
    query.SQL = QStringList{u"SELECT CDEXERFISICO, DSEXERFISICO, QTENERCONS FROM EXERFISICO "
                            "ORDER BY CDEXERFISICO"_s};
    TDataSource source;
    source.SetDataSet(&query);
    ScopedScriptedDialogs dialogs;
    int rows = 0;
    ScriptedRunner runner([&](QDialog *dialog) {
        rows = dialog->findChild<QTableView *>(u"grdPesquisa"_s)->model()->rowCount();
        QTest::keyClick(dialog->findChild<QLineEdit *>(u"edtPesquisa"_s), Qt::Key_Escape);
    });
    EXPECT_FALSE(Pesquisar_Plus(&source, kCaption, false, true));
    EXPECT_EQ(rows, 1);
    ASSERT_TRUE(sql.exec(u"INSERT INTO EXERFISICO VALUES ('018310', 'Natação', 5.8)"_s));
    EXPECT_FALSE(Pesquisar_Plus(&source, kCaption, false, true));
    EXPECT_EQ(rows, 2);
    SetDtmDBGeral(nullptr);
}

} // namespace
