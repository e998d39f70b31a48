// What Qt delivers while the screen waits in the middle of its own work: the busy
// indicator lets window-system events through until it is painted, before each call to
// the plan service. A close request arriving then (the main window asked to close by the
// window manager passes it on to every subwindow) must not close the screen under the
// handler that is loading, reading or saving: the command finishes and is reported as
// always, nothing typed is dropped, and the screen closes as usual once asked again.
#include "saving_fixture.h"

#include "data/clientdataset.h"
#include "forms/dbedit.h"
#include "forms/dbgrid.h"
#include "forms/edit.h"
#include "framework/buttonflat.h"
#include "framework/netconnection.h"
#include "framework/showavi.h"
#include "module/Cli_qor12700.h"

#include <QCoreApplication>
#include <QMdiArea>
#include <QPointer>
#include <functional>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

class NestedEventsTest : public ScreenFixture
{
protected:
    // The main window asked to close by the window manager closes every subwindow, as
    // the host's does; queued now, the first event processing from here on runs it.
    void queueCloseRequest()
    {
        QMdiArea *area = harness->mdiArea();
        QMetaObject::invokeMethod(
            area, [area] { area->closeAllSubWindows(); }, Qt::QueuedConnection);
    }
};

struct CloseDuringSaveCase
{
    const char *name;
    QString patient;
    // Brings the screen to the moment just before the command that saves.
    std::function<void(ScreenFixture &)> prepare;
    // The command that saves; the queued close request arrives while it waits.
    std::function<void(ScreenFixture &)> save;
    // What the server holds afterwards, read back by SQL.
    std::function<void(ScreenFixture &)> expectStored;
    QStringList questions; // the confirmations the user is asked, in order
};

void startRow(ScreenFixture &f, const TField *leftIn)
{
    f.form->sbtIncluir->Click();
    f.form->dbgPadrao->SetSelectedField(f.form->cdsPlanejaCDEXERFISICO);
    f.typeInGrid(u"002120"_s);
    f.form->dbgPadrao->SetSelectedField(f.form->cdsPlanejaQTHREXERFISI);
    f.typeInGrid(u"0130"_s);
    // With the code column selected, the post asks the server about a duplicate under
    // the busy indicator while the row is still being inserted.
    f.form->dbgPadrao->SetSelectedField(const_cast<TField *>(leftIn));
}

void confirm(ScreenFixture &f)
{
    f.form->sbtConfirmar->Click();
}

TEST_P(NestedEventsTest, CloseRequestWhileACommandWaitsLetsItFinish)
{
    const CloseDuringSaveCase cases[] = {
        {"a new row posted",
         ScreenHarness::Maria,
         [](ScreenFixture &f) { startRow(f, f.form->cdsPlanejaQTHREXERFISI); },
         confirm,
         [](ScreenFixture &f) { EXPECT_EQ(f.planRows(ScreenHarness::Maria), 4); },
         {}},
        {"a new row checked for a duplicate",
         ScreenHarness::Maria,
         [](ScreenFixture &f) { startRow(f, f.form->cdsPlanejaCDEXERFISICO); },
         confirm,
         [](ScreenFixture &f) { EXPECT_EQ(f.planRows(ScreenHarness::Maria), 4); },
         {}},
        {"the plan read again",
         ScreenHarness::Maria,
         [](ScreenFixture &f) {
             // Another workstation adds a row meanwhile; verifying shows it.
             f.planElsewhere(ScreenHarness::Maria);
         },
         [](ScreenFixture &f) { f.form->sbtVerificar->Click(); },
         [](ScreenFixture &f) { EXPECT_EQ(f.form->cdsPlaneja->RecordCount(), 4); },
         {}},
        {"a row deleted",
         ScreenHarness::Maria,
         [this](ScreenFixture &f) {
             ASSERT_TRUE(f.form->cdsPlaneja->Locate(u"CDEXERFISICO"_s, u"018310"_s));
             harness->dialogs().QueueAnswer(mrYes); // "Confirma exclusão?"
         },
         [](ScreenFixture &f) { f.form->sbtExcluir->Click(); },
         [](ScreenFixture &f) { EXPECT_EQ(f.planRows(ScreenHarness::Maria), 2); },
         {u"Confirma exclusão?"_s}},
        {"a weight recorded",
         ScreenHarness::Joao,
         [](ScreenFixture &f) { f.typeWeight(u"70,5"_s); },
         confirm,
         [](ScreenFixture &f) {
             EXPECT_EQ(f.storedWeight(ScreenHarness::Joao), QVariant(u"70,5"_s));
         },
         {}},
    };
    for (const CloseDuringSaveCase &c : cases) {
        SCOPED_TRACE(c.name);
        // Each case starts from the demo plan, and from no weight for Joao.
        exec(u"DELETE FROM PLAEXERFISI WHERE CDPACIENTE = ? AND CDEXERFISICO = '002120'"_s,
             {ScreenHarness::Maria});
        exec(u"DELETE FROM INFOAVAL WHERE CDPACIENTE = ?"_s, {ScreenHarness::Joao});
        ASSERT_NE(open(c.patient), nullptr);
        QPointer<TfrmPlanejaExerc> screen = form;
        harness->dialogs().Clear();
        c.prepare(*this);
        ASSERT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();
        queueCloseRequest();
        c.save(*this);
        ScreenHarness::processEvents();

        // The screen stayed, its save done and told as usual, nothing asked in between.
        ASSERT_FALSE(screen.isNull());
        EXPECT_EQ(frmPlanejaExerc, screen.data());
        EXPECT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();
        EXPECT_EQ(harness->dialogs().Texts(mtConfirmation), c.questions);
        EXPECT_EQ(harness->dialogs().Unanswered(), 0);
        EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
        EXPECT_EQ(form->cdsPeso->State(), dsBrowse);
        EXPECT_EQ(form->cdsPlaneja->ChangeCount(), 0);
        EXPECT_EQ(form->cdsPeso->ChangeCount(), 0);
        EXPECT_TRUE(form->netPlanejaExerc->Connected());
        EXPECT_FALSE(ShowAviVisible());
        c.expectStored(*this);

        // Asked again, at rest, the screen closes.
        harness->closeScreen();
        EXPECT_TRUE(screen.isNull());
        EXPECT_EQ(frmPlanejaExerc, nullptr);
        harness->clearErrors();
    }
}

// The first activation loads the consultation under the busy indicator.
TEST_P(NestedEventsTest, CloseRequestWhileLoadingWaitsForTheLoad)
{
    queueCloseRequest();
    ASSERT_NE(open(ScreenHarness::Maria), nullptr);
    QPointer<TfrmPlanejaExerc> screen = form;
    EXPECT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();
    EXPECT_EQ(frmPlanejaExerc, screen.data());
    EXPECT_EQ(form->cdsPlaneja->RecordCount(), 3);
    EXPECT_FALSE(form->dbePeso->Text().isEmpty());
    EXPECT_TRUE(form->netPlanejaExerc->Connected());
    EXPECT_FALSE(ShowAviVisible());

    harness->closeScreen();
    EXPECT_TRUE(screen.isNull());
    EXPECT_EQ(frmPlanejaExerc, nullptr);
}

QOR_INSTANTIATE_BACKENDS(NestedEventsTest);

} // namespace
} // namespace qor::testing
