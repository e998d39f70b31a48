// The record commands around the plan grid on the real screen, against a real
// qor-server: Localizar finds a row and changes nothing; Exportar writes what the grid
// shows, every row, and saves nothing; both are out of reach while a row is typed.
#include "saving_fixture.h"

#include "data/clientdataset.h"
#include "forms/dbedit.h"
#include "forms/dbgrid.h"
#include "forms/dbgridmodel.h"
#include "forms/menuitem.h"
#include "framework/buttonflat.h"
#include "framework/prompts.h"
#include "module/Cli_qor12700.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

class RecordCommandsTest : public ScreenFixture
{
protected:
    void TearDown() override
    {
        SetInputPrompter({});
        SetSaveFilePrompter({});
        ScreenFixture::TearDown();
    }

    // Every row of the grid as it shows it: the shown columns' texts joined by ';'
    // (none of the demo's texts holds a ';' or a quote), the titles first.
    QStringList gridLines() const
    {
        const TDBGrid *grid = form->dbgPadrao;
        const QAbstractItemModel *model = grid->model();
        QStringList lines;
        QStringList cells;
        for (int c = 0; c < model->columnCount(); ++c) {
            if (!grid->isColumnHidden(c))
                cells.append(model->headerData(c, Qt::Horizontal).toString());
        }
        lines.append(cells.join(u';'));
        for (int r = 0; r < model->rowCount(); ++r) {
            cells.clear();
            for (int c = 0; c < model->columnCount(); ++c) {
                if (!grid->isColumnHidden(c))
                    cells.append(model->index(r, c).data().toString());
            }
            lines.append(cells.join(u';'));
        }
        return lines;
    }

    QString code() const { return form->cdsPlanejaCDEXERFISICO->AsString(); }
    // Whatever a command did, nothing reached the server's data nor is pending.
    void expectNothingSaved(const QString &weight)
    {
        EXPECT_FALSE(methods().contains(u"SetPlaneja"_s)) << methods().join(u' ').toStdString();
        EXPECT_FALSE(methods().contains(u"SetPeso"_s)) << methods().join(u' ').toStdString();
        EXPECT_EQ(form->cdsPlaneja->ChangeCount(), 0);
        EXPECT_EQ(planRows(ScreenHarness::Maria), 3);
        EXPECT_EQ(storedWeight(ScreenHarness::Maria), QVariant(weight));
        EXPECT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();
    }
};

struct ExportCase
{
    const char *name;
    QString storedWeight; // the weight text recorded before opening
    std::function<void(ScreenFixture &)> before; // where the user is when exporting
    bool weightTyped; // the weight is still being typed afterwards
};

TEST_P(RecordCommandsTest, ExportHoldsEveryRowAsTheGridShowsIt)
{
    const ExportCase cases[] = {
        {"on the first row", u"68,5"_s, [](ScreenFixture &f) { f.form->cdsPlaneja->First(); },
         false},
        {"on the last row", u"68,5"_s, [](ScreenFixture &f) { f.form->cdsPlaneja->Last(); }, false},
        // The weight edit is open only while no weight is recorded.
        {"while a weight is typed", u""_s,
         [](ScreenFixture &f) {
             f.form->cdsPlaneja->SetRecNo(2);
             f.typeWeight(u"80"_s);
         },
         true},
    };
    for (const ExportCase &c : cases) {
        SCOPED_TRACE(c.name);
        exec(u"UPDATE INFOAVAL SET DSINFOAVAL = ? WHERE CDPACIENTE = ?"_s,
             {c.storedWeight, ScreenHarness::Maria});
        ASSERT_NE(open(ScreenHarness::Maria), nullptr);
        // A short grid: the rows it cannot show are exported all the same.
        form->dbgPadrao->setFixedHeight(40);
        c.before(*this);
        ScreenHarness::processEvents();
        const int current = form->cdsPlaneja->RecNo();
        clearCalls();

        QTemporaryDir dir;
        const QString path = dir.filePath(u"plano.csv"_s);
        int asked = 0;
        SetSaveFilePrompter([&](const QString &, const QString &, const QString &) {
            ++asked;
            return path;
        });
        form->sbtExportar->Click();
        ScreenHarness::processEvents();
        EXPECT_EQ(asked, 1);

        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF")); // the accents read right
        QStringList lines = QString::fromUtf8(bytes.mid(3)).split(u"\r\n"_s);
        ASSERT_EQ(lines.takeLast(), QString()); // every line ends with its break
        EXPECT_EQ(lines, gridLines());
        ASSERT_EQ(lines.size(), 4);
        EXPECT_TRUE(lines.join(u'\n').contains(u"Natação, lazer, geral"_s))
            << lines.join(u'\n').toStdString();
        // The figures as shown: decimal comma, three decimals.
        static const QRegularExpression figure(u";[0-9]{1,3}(\\.[0-9]{3})*,[0-9]{3}$"_s);
        for (int i = 1; i < lines.size(); ++i)
            EXPECT_TRUE(figure.match(lines[i]).hasMatch()) << lines[i].toStdString();
        EXPECT_EQ(harness->dialogs().Texts(mtInformation).size(), 1);

        EXPECT_EQ(form->cdsPlaneja->RecNo(), current);
        EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
        EXPECT_EQ(form->cdsPeso->State(), c.weightTyped ? dsEdit : dsBrowse);
        expectNothingSaved(c.storedWeight);

        form->CancelEditing();
        harness->closeScreen();
        harness->dialogs().Clear();
    }
}

// The host hands the screen a consultation while the file name is being asked for: the
// file was asked for the rows shown when Exportar was clicked. Rows of another patient
// are not written under that name (nor over a file already there) and reported as
// exported; the same rows handed again are exported as asked.
TEST_P(RecordCommandsTest, ExportAnsweredAfterTheRowsWereReplacedWritesNothingOfThem)
{
    struct Case
    {
        const char *name;
        QString handedPatient;
        bool written;
    };
    const Case cases[] = {
        {"another patient's plan", ScreenHarness::Joao, false},
        {"the same plan again", ScreenHarness::Maria, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(open(ScreenHarness::Maria), nullptr);
        const QStringList shown = gridLines();
        ASSERT_EQ(shown.size(), 4);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"plano.csv"_s);
        {
            QFile earlier(path);
            ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
            earlier.write("exportado antes");
        }
        SetSaveFilePrompter([&](const QString &, const QString &, const QString &) {
            IniProc(QVariantList{ScreenHarness::Branch, c.handedPatient, u"Paciente"_s, Date(),
                                 Date()});
            return path;
        });
        form->sbtExportar->Click();
        ScreenHarness::processEvents();
        ASSERT_EQ(stCdPaciente, c.handedPatient);

        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const QStringList infos = harness->dialogs().Texts(mtInformation);
        ASSERT_EQ(infos.size(), 1) << infos.join(u'\n').toStdString();
        if (c.written) {
            QStringList lines = QString::fromUtf8(bytes.mid(3)).split(u"\r\n"_s);
            lines.removeLast();
            EXPECT_EQ(lines, shown);
            EXPECT_TRUE(infos.at(0).startsWith(u"Exportação concluída: 3 registro(s)"_s))
                << infos.at(0).toStdString();
        } else {
            EXPECT_EQ(bytes, QByteArray("exportado antes"));
            EXPECT_EQ(infos.at(0),
                      u"Nenhum arquivo foi gravado: os registros da tela mudaram "
                      u"enquanto o nome do arquivo era pedido."_s);
        }
        EXPECT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();
        SetSaveFilePrompter({});
        harness->closeScreen();
        harness->dialogs().Clear();
    }
}

struct FindCase
{
    const char *name;
    bool answered;
    QString typed;
    QString code; // the current row's code afterwards
    bool notFound;
};

TEST_P(RecordCommandsTest, LocalizarMovesToTheRowFoundAndChangesNothing)
{
    const FindCase cases[] = {
        {"code", true, u"0183"_s, u"018310"_s, false},
        {"name, other case and accents", true, u"NATAÇÃO"_s, u"018310"_s, false},
        {"name start", true, u"muscula"_s, u"002054"_s, false},
        {"not found", true, u"ciclismo"_s, u"017190"_s, true},
        {"a time is not searched", true, u"01:00"_s, u"017190"_s, true},
        {"empty text", true, u"   "_s, u"017190"_s, false},
        {"cancelled", false, u"0183"_s, u"017190"_s, false},
    };
    for (const FindCase &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(open(ScreenHarness::Maria), nullptr);
        ASSERT_TRUE(form->cdsPlaneja->Locate(u"CDEXERFISICO"_s, u"017190"_s));
        clearCalls();
        int asked = 0;
        SetInputPrompter([&](const QString &, const QString &, QString &value) {
            ++asked;
            value = c.typed;
            return c.answered;
        });
        form->mniLocalizar->Click();
        ScreenHarness::processEvents();
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(code(), c.code);
        EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
        EXPECT_EQ(harness->dialogs().Texts(mtInformation).size(), c.notFound ? 1 : 0);
        expectNothingSaved(u"68,5"_s);
        harness->closeScreen();
        harness->dialogs().Clear();
    }
}

TEST_P(RecordCommandsTest, LocalizarWhileTheWeightIsTypedKeepsTheTypedWeight)
{
    exec(u"UPDATE INFOAVAL SET DSINFOAVAL = '' WHERE CDPACIENTE = ?"_s, {ScreenHarness::Maria});
    ASSERT_NE(open(ScreenHarness::Maria), nullptr);
    typeWeight(u"72"_s);
    ASSERT_EQ(form->cdsPeso->State(), dsEdit);
    clearCalls();
    SetInputPrompter([](const QString &, const QString &, QString &value) {
        value = u"natação"_s;
        return true;
    });
    form->sbtLocalizar->Click();
    ScreenHarness::processEvents();
    EXPECT_EQ(code(), u"018310"_s);
    EXPECT_EQ(form->cdsPeso->State(), dsEdit);
    EXPECT_EQ(form->dbePeso->Text(), u"72"_s);
    expectNothingSaved(u""_s);
}

// While a plan row is typed, or on an empty plan, the commands ask nothing and the row
// stays as typed.
TEST_P(RecordCommandsTest, OutOfReachWhileARowIsTypedOrThePlanIsEmpty)
{
    struct Case
    {
        const char *name;
        QString patient;
        bool typing;
    };
    const Case cases[] = {
        {"row typed", ScreenHarness::Maria, true},
        {"empty plan", ScreenHarness::Joao, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(open(c.patient), nullptr);
        if (c.typing) {
            form->sbtIncluir->Click();
            ScreenHarness::processEvents();
            form->dbgPadrao->SetSelectedField(form->cdsPlanejaCDEXERFISICO);
            typeInGrid(u"0201"_s);
        }
        const TDataSetState state = form->cdsPlaneja->State();
        clearCalls();
        int asked = 0;
        SetInputPrompter([&](const QString &, const QString &, QString &) {
            ++asked;
            return true;
        });
        SetSaveFilePrompter([&](const QString &, const QString &, const QString &) {
            ++asked;
            return QString();
        });
        form->mniLocalizar->Click();
        form->sbtLocalizar->Click();
        form->mniExportar->Click();
        form->sbtExportar->Click();
        ScreenHarness::processEvents();
        EXPECT_EQ(asked, 0);
        EXPECT_EQ(form->cdsPlaneja->State(), state);
        EXPECT_TRUE(methods().isEmpty()) << methods().join(u' ').toStdString();
        EXPECT_TRUE(harness->dialogs().Messages().isEmpty());
        form->CancelEditing();
        harness->closeScreen();
    }
}

QOR_INSTANTIATE_BACKENDS(RecordCommandsTest);

} // namespace
} // namespace qor::testing
