// The search dialog opened on a new row, and the row changed while it is open (the host
// handing the screen another consultation, the row dropped and another begun): the
// choice belongs to the row the dialog was opened for and goes into no other.
#include "entry_fixture.h"

#include "data/clientdataset.h"
#include "forms/dbgrid.h"
#include "framework/buttonflat.h"
#include "module/Cli_qor12700.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QDialog>
#include <QLineEdit>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

const QString NotPlaced = u"O exercício escolhido não foi colocado: a linha para a qual a "
                          u"pesquisa foi aberta não está mais em inclusão."_s;

class SearchRowTest : public PlanScreenTest
{
};

void handOverJoao(TfrmPlanejaExerc *)
{
    IniProc(QVariantList{ScreenHarness::Branch, ScreenHarness::Joao, u"João Pereira"_s, Date(),
                         Date()});
}

void dropRowAndBeginAnother(TfrmPlanejaExerc *screen)
{
    ScreenHarness::click(screen->sbtCancelar);
    ScreenHarness::click(screen->sbtIncluir);
}

TEST_P(SearchRowTest, ChoiceGoesOnlyIntoTheRowTheDialogWasOpenedFor)
{
    struct Case
    {
        const char *name;
        // What happens while the dialog is open; the answer to any question it asks.
        void (*meanwhile)(TfrmPlanejaExerc *);
        TModalResult answer;
        QString patient; // the consultation shown afterwards
        TDataSetState state; // the plan's state afterwards
        int rows; // the plan's rows on screen afterwards
        QString code; // the current row's code afterwards
        bool told; // the user is told the choice was not placed
    };
    const Case cases[] = {
        {"another consultation, typed row dropped", handOverJoao, mrYes, ScreenHarness::Joao,
         dsBrowse, 1, u"002054"_s, true},
        {"another consultation refused, typed row kept", handOverJoao, mrNo, ScreenHarness::Maria,
         dsInsert, 4, u"012030"_s, false},
        {"row dropped and another begun", dropRowAndBeginAnother, mrYes, ScreenHarness::Maria,
         dsInsert, 4, QString(), true},
    };
    setWeight(ScreenHarness::Joao, u"70"_s);
    addPlanRow(ScreenHarness::Joao, u"002054"_s, 1.0, 8.0);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(open(ScreenHarness::Maria), nullptr);
        harness->dialogs().Clear();
        harness->clearErrors();
        const int mariasRows = storedRowCount(ScreenHarness::Maria);
        searchAnswer = [&](QDialog *dialog) {
            auto *filter = dialog->findChild<QLineEdit *>(u"edtPesquisa"_s);
            if (!filter)
                return int(QDialog::Rejected);
            filter->setText(u"Corrida, 8 km"_s); // 012030
            harness->dialogs().QueueAnswer(c.answer);
            c.meanwhile(form);
            ScreenHarness::processEvents();
            dialog->accept();
            return dialog->result();
        };
        clickIncluir();
        QAbstractButton *button = form->dbgPadrao->EditButton();
        ASSERT_NE(button, nullptr);
        ScreenHarness::click(button);
        searchAnswer = nullptr;

        EXPECT_TRUE(errors().isEmpty()) << errors().join(u'\n').toStdString();
        EXPECT_EQ(messages().contains(NotPlaced), c.told) << messages().join(u'\n').toStdString();
        EXPECT_EQ(stCdPaciente, c.patient);
        EXPECT_EQ(form->cdsPlaneja->State(), c.state);
        EXPECT_EQ(form->cdsPlaneja->RecordCount(), c.rows);
        EXPECT_EQ(form->cdsPlanejaCDEXERFISICO->AsString(), c.code);
        // The name and cost shown are those of the row's own code, nothing of the choice.
        if (c.code.isEmpty()) {
            EXPECT_TRUE(form->cdsPlanejaDSEXERFISICO->AsString().isEmpty());
            EXPECT_TRUE(form->cdsPlanejaQTENERCONSPL->IsNull());
        }
        EXPECT_EQ(storedRowCount(ScreenHarness::Maria), mariasRows);
        EXPECT_EQ(storedRowCount(ScreenHarness::Joao), 1);

        harness->dialogs().QueueAnswer(mrYes);
        harness->closeScreen();
        harness->dialogs().Clear();
    }
}

QOR_INSTANTIATE_BACKENDS(SearchRowTest);

} // namespace
} // namespace qor::testing
