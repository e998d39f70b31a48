// The host's main window asked to close while the screen is open on it: the screen is
// closed first and asks about a row still being typed; kept, it keeps the host open
// with the row as typed, and nothing of it is stored until the user decides.
#include "saving_fixture.h"

#include "data/clientdataset.h"
#include "forms/application.h"
#include "forms/dbgrid.h"
#include "framework/buttonflat.h"
#include "host/mainwindow.h"
#include "host/packageloader.h"
#include "module/Cli_qor12700.h"

#include <QMdiArea>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

class HostCloseTest : public ScreenFixture
{
protected:
    void TearDown() override
    {
        // The harness's own window is the main form again before the host's goes.
        Application()->SetMainForm(harness ? harness->mainWindow() : nullptr);
        ScreenFixture::TearDown();
    }
};

struct HostCloseCase
{
    const char *name;
    bool typing; // a new row's code and time typed, not confirmed
    QList<TModalResult> answers; // to "Canc", one per close request, in order
    int questions; // asked over all the requests
};

TEST_P(HostCloseTest, ClosingTheHostAsksAboutTheRowBeingTypedAndStaysOpenWhenItIsKept)
{
    const HostCloseCase cases[] = {
        {"nothing being typed", false, {}, 0},
        {"a row being typed, dropped", true, {mrYes}, 1},
        {"a row being typed, kept, then dropped", true, {mrNo, mrYes}, 2},
    };
    for (const HostCloseCase &c : cases) {
        SCOPED_TRACE(c.name);
        PackageLoader package;
        MainWindow window(&package);
        window.show();
        Application()->SetMainForm(&window);
        ASSERT_NE(open(ScreenHarness::Maria), nullptr);
        ASSERT_EQ(form->parentWidget() ? form->window() : nullptr, &window);
        const int storedBefore = planRows(ScreenHarness::Maria);
        if (c.typing) {
            form->sbtIncluir->Click();
            form->dbgPadrao->SetSelectedField(form->cdsPlanejaCDEXERFISICO);
            typeInGrid(u"002120"_s);
            form->dbgPadrao->SetSelectedField(form->cdsPlanejaQTHREXERFISI);
            typeInGrid(u"0130"_s);
            ASSERT_EQ(form->cdsPlaneja->State(), dsInsert);
        }
        const int questionsBefore = harness->dialogs().Texts(mtConfirmation).size();
        for (qsizetype i = 0; i + 1 < c.answers.size(); ++i) {
            // Kept: the host and the screen stay, the row still being typed as it was.
            harness->dialogs().QueueAnswer(c.answers.at(i));
            EXPECT_FALSE(window.close());
            ScreenHarness::processEvents();
            EXPECT_TRUE(window.isVisible());
            ASSERT_NE(frmPlanejaExerc, nullptr);
            EXPECT_EQ(frmPlanejaExerc, form);
            EXPECT_EQ(form->cdsPlaneja->State(), dsInsert);
            EXPECT_EQ(form->cdsPlanejaCDEXERFISICO->AsString(), u"002120"_s);
            EXPECT_EQ(window.mdiArea()->subWindowList().size(), 1);
            EXPECT_EQ(planRows(ScreenHarness::Maria), storedBefore);
        }
        if (!c.answers.isEmpty())
            harness->dialogs().QueueAnswer(c.answers.last());
        EXPECT_TRUE(window.close());
        ScreenHarness::processEvents();
        EXPECT_FALSE(window.isVisible());
        EXPECT_EQ(frmPlanejaExerc, nullptr);
        form = nullptr;
        EXPECT_EQ(harness->dialogs().Texts(mtConfirmation).size() - questionsBefore, c.questions);
        EXPECT_EQ(harness->dialogs().Unanswered(), 0);
        // A row dropped is not stored.
        EXPECT_EQ(planRows(ScreenHarness::Maria), storedBefore);
        Application()->SetMainForm(harness->mainWindow());
    }
}

QOR_INSTANTIATE_BACKENDS(HostCloseTest);

} // namespace
} // namespace qor::testing
