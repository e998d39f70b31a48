// The standard grid form: command state, the base handlers, close while editing.
#include "framework/frmpadrgrid.h"

#include "data/clientdataset.h"
#include "data/datasource.h"
#include "forms/dbgrid.h"
#include "forms/menuitem.h"
#include "forms/scripteddialogs.h"
#include "framework/buttonflat.h"
#include "framework/dbtext.h"
#include "framework/messages.h"
#include "framework/modal.h"
#include "framework/prompts.h"
#include "rtl/exceptions.h"
#include "support/scopedumask.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace Qt::StringLiterals;
using namespace qor;

namespace {

TDataPacket plan(int rows)
{
    TDataPacket packet;
    packet.fields = {{u"CDFILIAL"_s, TFieldType::String, 4},
                     {u"CDEXERFISICO"_s, TFieldType::String, 6},
                     {u"DSEXERFISICO"_s, TFieldType::String, 100},
                     {u"QTHREXERFISI"_s, TFieldType::Float, 0}};
    const QList<QVariantList> all{
        {u"0001"_s, u"002010"_s, u"Ciclismo; lazer"_s, 0.5},
        {u"0001"_s, u"012020"_s, u"Corrida, 8 km/h"_s, 1.25},
        {u"0001"_s, u"017010"_s, u"Caminhada \"rápida\""_s, 2.0},
    };
    packet.rows = all.mid(0, rows);
    return packet;
}

// A descendant as a screen would write one: its own dataset on dtsPadrao and columns.
class PlanForm : public TfrmPadraoGrid
{
public:
    PlanForm()
    {
        cdsPlaneja = new TClientDataSet(this);
        cdsPlaneja->AddField(u"CDFILIAL"_s, TFieldType::String, 4)->Visible = false;
        cdsPlaneja->AddField(u"CDEXERFISICO"_s, TFieldType::String, 6)->DisplayLabel = u"Código"_s;
        cdsPlaneja->AddField(u"DSEXERFISICO"_s, TFieldType::String, 100)->DisplayLabel = u"Nome"_s;
        cdsPlaneja->AddField(u"QTHREXERFISI"_s, TFieldType::Float)->DisplayLabel = u"Horas/Dia"_s;
        dtsPadrao->SetDataSet(cdsPlaneja);
        dbgPadrao->Columns()->Add(u"CDEXERFISICO"_s);
        dbgPadrao->Columns()->Add(u"DSEXERFISICO"_s);
        dbgPadrao->Columns()->Add(u"QTHREXERFISI"_s);
        dbgPadrao->Columns()->Add(u"CDFILIAL"_s)->SetVisible(false);
        dbtNome->SetDataField(u"DSEXERFISICO"_s);
        SetCaption(u"Planejamento"_s);
    }

    void sbtVerificarClick(QObject *) override { ++verifications; }

    TClientDataSet *cdsPlaneja;
    int verifications = 0;
};

class GridFormTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        form = new PlanForm;
        form->DoCreate();
    }
    void TearDown() override
    {
        delete form.data();
        SetInputPrompter({});
        SetSaveFilePrompter({});
    }

    // Enabled state of the seven commands, then the browse-only control.
    std::vector<bool> commandState() const
    {
        std::vector<bool> state;
        for (TMenuItem *item : form->Commands()) {
            state.push_back(item->Enabled());
            EXPECT_EQ(form->ButtonOf(item)->Enabled(), item->Enabled())
                << item->Caption().toStdString() << ": the speed button mirrors its item";
        }
        state.push_back(form->BrowseOnlyControl()->Enabled());
        return state;
    }

    QPointer<PlanForm> form;
    ScopedScriptedDialogs dialogs;
};

TEST_F(GridFormTest, CommandsAreTheSevenInTheirGroups)
{
    EXPECT_EQ(form->FinishingCommands(),
              (QList<TMenuItem *>{form->mniConfirmar, form->mniCancelar}));
    EXPECT_EQ(form->NewRecordCommands(), QList<TMenuItem *>{form->mniIncluir});
    EXPECT_EQ(form->RecordCommands(),
              (QList<TMenuItem *>{form->mniAlterar, form->mniExcluir, form->mniLocalizar,
                                  form->mniExportar}));
    QStringList captions;
    for (TMenuItem *item : form->Commands())
        captions.append(item->Caption());
    EXPECT_EQ(captions,
              (QStringList{u"Confirmar"_s, u"Cancelar"_s, u"Incluir"_s, u"Alterar"_s, u"Excluir"_s,
                           u"Localizar"_s, u"Exportar"_s}));
    EXPECT_EQ(form->ButtonOf(form->mniExportar), form->sbtExportar);
    EXPECT_EQ(form->ButtonOf(nullptr), nullptr);
    EXPECT_EQ(form->msgMensagensPadroes->Msg(u"Canc"_s), u"Deseja cancelar as alterações?"_s);
    EXPECT_EQ(form->msgMensagensPadroes->Msg(u"Excl"_s), u"Confirma exclusão?"_s);
    EXPECT_TRUE(form->msgPadrao->Messages().isEmpty());
}

struct StateCase
{
    const char *name;
    int rows;
    std::function<void(TDataSet *)> act;
    // Confirmar, Cancelar, Incluir, Alterar, Excluir, Localizar, Exportar, Fechar
    std::vector<bool> expected;
};

class CommandStateTest : public GridFormTest, public ::testing::WithParamInterface<StateCase>
{
};

TEST_P(CommandStateTest, FollowsTheDataSourceState)
{
    const StateCase &c = GetParam();
    if (c.rows >= 0)
        form->cdsPlaneja->SetData(plan(c.rows));
    if (c.act)
        c.act(form->cdsPlaneja);
    EXPECT_EQ(commandState(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    FrmPadraoGrid, CommandStateTest,
    ::testing::Values(
        StateCase{"inactive", -1, nullptr, {false, false, false, false, false, false, false, true}},
        StateCase{
            "browse_empty", 0, nullptr, {false, false, true, false, false, false, false, true}},
        StateCase{"browse_rows", 3, nullptr, {false, false, true, true, true, true, true, true}},
        StateCase{"edit",
                  3,
                  [](TDataSet *d) { d->Edit(); },
                  {true, true, false, false, false, false, false, false}},
        StateCase{"insert_into_empty",
                  0,
                  [](TDataSet *d) { d->Insert(); },
                  {true, true, false, false, false, false, false, false}},
        StateCase{"insert",
                  2,
                  [](TDataSet *d) { d->Append(); },
                  {true, true, false, false, false, false, false, false}},
        StateCase{"after_post",
                  1,
                  [](TDataSet *d) {
                      d->Edit();
                      d->FieldByName(u"QTHREXERFISI"_s)->SetAsFloat(3.0);
                      d->Post();
                  },
                  {false, false, true, true, true, true, true, true}},
        StateCase{"after_cancelled_insert",
                  0,
                  [](TDataSet *d) {
                      d->Insert();
                      d->Cancel();
                  },
                  {false, false, true, false, false, false, false, true}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(GridFormTest, ConfirmPostsTheRow)
{
    form->cdsPlaneja->SetData(plan(2));
    form->cdsPlaneja->Edit();
    form->cdsPlaneja->FieldByName(u"QTHREXERFISI"_s)->SetAsFloat(1.5);
    form->sbtConfirmar->Click();
    EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
    EXPECT_EQ(form->cdsPlaneja->FieldByName(u"QTHREXERFISI"_s)->AsFloat(), 1.5);
    EXPECT_EQ(form->cdsPlaneja->ChangeCount(), 1);
    EXPECT_TRUE(dialogs->Messages().isEmpty());
}

TEST_F(GridFormTest, AFailingPostIsReportedAndKeepsTheRow)
{
    form->cdsPlaneja->SetData(plan(2));
    form->cdsPlaneja->BeforePost = [](TDataSet *) {
        throw Exception(u"Horas/semana deve ser informada."_s);
    };
    form->cdsPlaneja->Edit();
    form->cdsPlaneja->FieldByName(u"QTHREXERFISI"_s)->SetAsFloat(4.0);
    form->mniConfirmar->Click();
    EXPECT_EQ(form->cdsPlaneja->State(), dsEdit);
    EXPECT_EQ(form->cdsPlaneja->FieldByName(u"QTHREXERFISI"_s)->AsFloat(), 4.0);
    EXPECT_EQ(dialogs->Texts(mtError), QStringList{u"Horas/semana deve ser informada."_s});
}

struct AnswerCase
{
    const char *name;
    int answer;
    TDataSetState state;
    double hours;
};

class CancelTest : public GridFormTest, public ::testing::WithParamInterface<AnswerCase>
{
};

TEST_P(CancelTest, AsksFirstAndObeys)
{
    form->cdsPlaneja->SetData(plan(2));
    form->cdsPlaneja->Edit();
    form->cdsPlaneja->FieldByName(u"QTHREXERFISI"_s)->SetAsFloat(9.0);
    dialogs->QueueAnswer(GetParam().answer);
    form->sbtCancelar->Click();
    EXPECT_EQ(dialogs->Texts(mtConfirmation), QStringList{u"Deseja cancelar as alterações?"_s});
    EXPECT_EQ(form->cdsPlaneja->State(), GetParam().state);
    EXPECT_EQ(form->cdsPlaneja->FieldByName(u"QTHREXERFISI"_s)->AsFloat(), GetParam().hours);
}

INSTANTIATE_TEST_SUITE_P(FrmPadraoGrid, CancelTest,
                         ::testing::Values(AnswerCase{"yes_cancels", mrYes, dsBrowse, 0.5},
                                           AnswerCase{"no_keeps", mrNo, dsEdit, 9.0},
                                           AnswerCase{"closed_dialog_keeps", mrCancel, dsEdit,
                                                      9.0}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(GridFormTest, CancelWhileBrowsingAsksNothing)
{
    form->cdsPlaneja->SetData(plan(1));
    form->sbtCancelarClick(form->sbtCancelar);
    EXPECT_TRUE(dialogs->Messages().isEmpty());
}

class DeleteTest : public GridFormTest, public ::testing::WithParamInterface<AnswerCase>
{
};

TEST_P(DeleteTest, AsksFirstAndObeys)
{
    form->cdsPlaneja->SetData(plan(3));
    form->cdsPlaneja->First();
    dialogs->QueueAnswer(GetParam().answer);
    form->sbtExcluir->Click();
    EXPECT_EQ(dialogs->Texts(mtConfirmation), QStringList{u"Confirma exclusão?"_s});
    EXPECT_EQ(form->cdsPlaneja->RecordCount(), GetParam().answer == mrYes ? 2 : 3);
    EXPECT_EQ(form->cdsPlaneja->FieldByName(u"QTHREXERFISI"_s)->AsFloat(), GetParam().hours);
}

INSTANTIATE_TEST_SUITE_P(FrmPadraoGrid, DeleteTest,
                         ::testing::Values(AnswerCase{"yes_deletes", mrYes, dsBrowse, 1.25},
                                           AnswerCase{"no_keeps", mrNo, dsBrowse, 0.5}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(GridFormTest, NewRecordAndEditCommands)
{
    form->cdsPlaneja->SetData(plan(1));
    form->mniIncluir->Click();
    EXPECT_EQ(form->cdsPlaneja->State(), dsInsert);
    EXPECT_EQ(form->cdsPlaneja->RecNo(), 2); // appended after the last row
    form->cdsPlaneja->Cancel();
    form->sbtAlterar->Click();
    EXPECT_EQ(form->cdsPlaneja->State(), dsEdit);
}

TEST_F(GridFormTest, VerifyReachesTheDescendantsHandler)
{
    form->sbtVerificar->Click();
    form->sbtVerificar->Click();
    EXPECT_EQ(form->verifications, 2);
}

struct FindCase
{
    const char *name;
    bool answered;
    const char16_t *typed;
    const char16_t *code; // current code afterwards
    bool notFoundMessage;
};

class LocalizarTest : public GridFormTest, public ::testing::WithParamInterface<FindCase>
{
};

TEST_P(LocalizarTest, FindsByCodeThenByName)
{
    const FindCase &c = GetParam();
    form->cdsPlaneja->SetData(plan(3));
    form->cdsPlaneja->First();
    QString prompt;
    SetInputPrompter([&](const QString &, const QString &label, QString &value) {
        prompt = label;
        value = QString::fromUtf16(c.typed);
        return c.answered;
    });
    form->sbtLocalizar->Click();
    EXPECT_FALSE(prompt.isEmpty());
    EXPECT_EQ(form->cdsPlaneja->FieldByName(u"CDEXERFISICO"_s)->AsString(),
              QString::fromUtf16(c.code));
    EXPECT_EQ(dialogs->Texts(mtInformation).size(), c.notFoundMessage ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    FrmPadraoGrid, LocalizarTest,
    ::testing::Values(FindCase{"code", true, u"0170", u"017010", false},
                      FindCase{"whole_code", true, u"012020", u"012020", false},
                      FindCase{"name_other_case", true, u"CAMINHADA", u"017010", false},
                      FindCase{"name_start", true, u"corr", u"012020", false},
                      FindCase{"blanks_around", true, u"  corrida ", u"012020", false},
                      FindCase{"not_found", true, u"natação", u"002010", true},
                      FindCase{"hours_column_not_searched", true, u"1,25", u"002010", true},
                      FindCase{"empty_text", true, u"", u"002010", false},
                      FindCase{"cancelled", false, u"corr", u"002010", false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(GridFormTest, ExportWritesTheVisibleColumnsAsCsv)
{
    form->cdsPlaneja->SetData(plan(3));
    QTemporaryDir dir;
    const QString path = dir.filePath(u"plano.csv"_s);
    QString suggested;
    SetSaveFilePrompter([&](const QString &, const QString &name, const QString &) {
        suggested = name;
        return path;
    });
    form->sbtExportar->Click();
    EXPECT_EQ(suggested, u"Planejamento.csv"_s);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split(u"\r\n"_s);
    ASSERT_EQ(lines.size(), 5); // header, three rows, the empty rest after the last break
    EXPECT_EQ(lines[0], u"Código;Nome;Horas/Dia"_s);
    EXPECT_EQ(lines[1], u"002010;\"Ciclismo; lazer\";0,5"_s);
    EXPECT_EQ(lines[2], u"012020;Corrida, 8 km/h;1,25"_s);
    EXPECT_EQ(lines[3], u"017010;\"Caminhada \"\"rápida\"\"\";2"_s);
    EXPECT_EQ(lines[4], QString());
    EXPECT_EQ(dialogs->Texts(mtInformation).size(), 1);
}

// The export holds a patient's plan: a new file is its owner's alone whatever the umask,
// as the database and the settings are; a file already there keeps the mode its owner
// gave it, and is written over.
struct ExportModeCase
{
    const char *name;
    int existingMode; // -1: nothing at the path yet
    mode_t expectedMode;
};

void PrintTo(const ExportModeCase &c, std::ostream *os)
{
    *os << c.name;
}

class ExportModeTest : public GridFormTest, public ::testing::WithParamInterface<ExportModeCase>
{
};

TEST_P(ExportModeTest, ANewFileIsTheOwnersAloneAndAnOldOneKeepsItsMode)
{
    const ExportModeCase &c = GetParam();
    form->cdsPlaneja->SetData(plan(2));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"plano.csv"_s);
    const QByteArray name = QFile::encodeName(path);
    if (c.existingMode >= 0) {
        ASSERT_TRUE(qor::testing::writeFileWithMode(path, "antigo\r\n", mode_t(c.existingMode)));
    }
    SetSaveFilePrompter([&](const QString &, const QString &, const QString &) { return path; });
    {
        const qor::testing::ScopedUmask usual(022); // new files readable by everyone
        form->sbtExportar->Click();
    }
    EXPECT_TRUE(dialogs->Texts(mtError).isEmpty()) << dialogs->Texts().join(u'\n').toStdString();
    struct stat info = {};
    ASSERT_EQ(::stat(name.constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, c.expectedMode) << std::oct << (info.st_mode & 07777);
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray bytes = written.readAll();
    EXPECT_TRUE(bytes.contains("012020;Corrida, 8 km/h;1,25")) << bytes.toStdString();
    EXPECT_FALSE(bytes.contains("antigo")) << bytes.toStdString();
    // Nothing left beside it: the file is put in place whole.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"plano.csv"_s});
}

INSTANTIATE_TEST_SUITE_P(FrmPadraoGrid, ExportModeTest,
                         ::testing::Values(ExportModeCase{"new_file", -1, 0600},
                                           ExportModeCase{"existing_shared_file", 0644, 0644},
                                           ExportModeCase{"existing_group_file", 0640, 0640},
                                           ExportModeCase{"existing_private_file", 0600, 0600}),
                         [](const auto &info) { return std::string(info.param.name); });

// Places a file cannot be exported to. prepare makes the place in dir and returns
// the name the user gives; kindAfter tells what must still be there afterwards.
struct UnwritableCase
{
    const char *name;
    std::function<QString(const QTemporaryDir &dir)> prepare;
    std::function<bool(const QString &path)> kindAfter;
    const char16_t *reason; // how the message ends, in Portuguese
};

void PrintTo(const UnwritableCase &c, std::ostream *os)
{
    *os << c.name;
}

class UnwritableExportTest : public GridFormTest,
                             public ::testing::WithParamInterface<UnwritableCase>
{
};

TEST_P(UnwritableExportTest, IsReportedAndLeavesThePlaceAsItWas)
{
    const UnwritableCase &c = GetParam();
    form->cdsPlaneja->SetData(plan(2));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = c.prepare(dir);
    if (path.isEmpty())
        GTEST_SKIP() << "this place cannot be made here";
    SetSaveFilePrompter([&](const QString &, const QString &, const QString &) { return path; });
    form->mniExportar->Click();
    ASSERT_EQ(dialogs->Texts(mtError).size(), 1);
    const QString message = dialogs->Texts(mtError).first();
    EXPECT_EQ(message,
              u"Não foi possível gravar o arquivo %1: %2"_s.arg(path, QString::fromUtf16(c.reason)))
        << message.toStdString();
    EXPECT_TRUE(dialogs->Texts(mtInformation).isEmpty()) << "never reported as written";
    EXPECT_TRUE(c.kindAfter(path));
}

bool isNothing(const QString &path)
{
    return !QFileInfo::exists(path);
}

bool isFolder(const QString &path)
{
    return QFileInfo(path).isDir();
}

// What a path is, without following it: S_IFCHR, S_IFIFO, ... (0 when missing).
mode_t kindOf(const QString &path)
{
    struct stat st = {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

INSTANTIATE_TEST_SUITE_P(
    FrmPadraoGrid, UnwritableExportTest,
    ::testing::Values(
        UnwritableCase{"folder_is_a_file",
                       [](const QTemporaryDir &dir) {
                           QFile blocker(dir.filePath(u"arquivo"_s));
                           return blocker.open(QIODevice::WriteOnly)
                               ? dir.filePath(u"arquivo/plano.csv"_s)
                               : QString();
                       },
                       isNothing, u"a pasta não existe."},
        UnwritableCase{"missing_folder",
                       [](const QTemporaryDir &dir) { return dir.filePath(u"nada/plano.csv"_s); },
                       isNothing, u"a pasta não existe."},
        UnwritableCase{"a_folder",
                       [](const QTemporaryDir &dir) {
                           return QDir(dir.path()).mkdir(u"plano.csv"_s)
                               ? dir.filePath(u"plano.csv"_s)
                               : QString();
                       },
                       isFolder, u"o nome é de uma pasta."},
        UnwritableCase{"under_proc", [](const QTemporaryDir &) { return u"/proc/plano.csv"_s; },
                       isNothing, u"não há permissão para gravar nessa pasta."},
        // A pipe: nothing reads it, and it must stay a pipe, not become a file.
        UnwritableCase{"a_pipe",
                       [](const QTemporaryDir &dir) {
                           const QString path = dir.filePath(u"plano.csv"_s);
                           return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0
                               ? path
                               : QString();
                       },
                       [](const QString &path) { return kindOf(path) == S_IFIFO; },
                       u"o nome não é de um arquivo comum."},
        // A device that is always full, made here (not the system's own): it must stay
        // a device, and a full disk is never reported as written.
        UnwritableCase{"a_full_device",
                       [](const QTemporaryDir &dir) {
                           const QString path = dir.filePath(u"full"_s);
                           return ::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0600,
                                          makedev(1, 7))
                                   == 0
                               ? path
                               : QString();
                       },
                       [](const QString &path) { return kindOf(path) == S_IFCHR; },
                       u"o nome não é de um arquivo comum."},
        // A link to such a device is followed, and the device kept.
        UnwritableCase{"a_link_to_a_device",
                       [](const QTemporaryDir &dir) {
                           const QString device = dir.filePath(u"full"_s);
                           const QString link = dir.filePath(u"plano.csv"_s);
                           return ::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0600,
                                          makedev(1, 7))
                                       == 0
                                   && QFile::link(device, link)
                               ? link
                               : QString();
                       },
                       [](const QString &path) {
                           return kindOf(path) == S_IFLNK
                               && kindOf(QFileInfo(path).symLinkTarget()) == S_IFCHR;
                       },
                       u"o nome não é de um arquivo comum."}),
    [](const auto &info) { return std::string(info.param.name); });

struct TypedNameCase
{
    const char *name;
    const char16_t *typed; // in the file dialog
    const char16_t *written;
};

class ExportFileDialogTest : public GridFormTest,
                             public ::testing::WithParamInterface<TypedNameCase>
{
};

// The file dialog itself, answered as a user would: a name typed without an extension
// is a CSV file all the same; an extension the user typed is kept.
TEST_P(ExportFileDialogTest, ANameTypedWithoutExtensionGetsCsv)
{
    const TypedNameCase &c = GetParam();
    form->cdsPlaneja->SetData(plan(2));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    int dialogsShown = 0;
    const ModalRunner previous = SetModalRunner([&](QDialog *dialog) {
        ++dialogsShown;
        auto *files = qobject_cast<QFileDialog *>(dialog);
        if (!files)
            return int(QDialog::Rejected);
        files->setDirectory(dir.path());
        files->selectFile(QString::fromUtf16(c.typed));
        dialog->accept(); // the dialog's own accept: it checks the typed name
        return files->result();
    });
    form->sbtExportar->Click();
    SetModalRunner(previous);
    EXPECT_EQ(dialogsShown, 1);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QString::fromUtf16(c.written)});
    EXPECT_TRUE(dialogs->Texts(mtError).isEmpty()) << dialogs->Texts().join(u'\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(FrmPadraoGrid, ExportFileDialogTest,
                         ::testing::Values(TypedNameCase{"no_extension", u"plano", u"plano.csv"},
                                           TypedNameCase{"csv", u"plano.csv", u"plano.csv"},
                                           TypedNameCase{"other_extension", u"plano.txt",
                                                         u"plano.txt"}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(GridFormTest, ExportCancelledWritesNothing)
{
    form->cdsPlaneja->SetData(plan(1));
    // Run from an empty folder: a file written under the suggested name would land here.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    int asked = 0;
    SetSaveFilePrompter([&](const QString &, const QString &, const QString &) {
        ++asked;
        return QString();
    });
    form->sbtExportar->Click();
    QDir::setCurrent(previous);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(dialogs->Messages().isEmpty());
    const QStringList written = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    EXPECT_TRUE(written.isEmpty()) << written.join(u' ').toStdString();
}

TEST_F(GridFormTest, NameLabelAndNavigatorFollowTheRow)
{
    form->cdsPlaneja->SetData(plan(3));
    form->cdsPlaneja->First();
    EXPECT_EQ(form->dbtNome->text(), u"Ciclismo; lazer"_s);
    EXPECT_FALSE(form->sbtPrimeiro->Enabled());
    EXPECT_TRUE(form->sbtProximo->Enabled());
    form->sbtUltimo->Click();
    EXPECT_EQ(form->cdsPlaneja->RecNo(), 3);
    EXPECT_EQ(form->dbtNome->text(), u"Caminhada \"rápida\""_s);
    EXPECT_FALSE(form->sbtProximo->Enabled());
    EXPECT_TRUE(form->sbtAnterior->Enabled());
    form->sbtAnterior->Click();
    EXPECT_EQ(form->dbtNome->text(), u"Corrida, 8 km/h"_s);
}

struct CloseCase
{
    const char *name;
    bool editing;
    int answer;
    bool closed;
    TDataSetState stateAfter;
    int questions;
};

class CloseTest : public GridFormTest, public ::testing::WithParamInterface<CloseCase>
{
};

TEST_P(CloseTest, ClosingWhileEditingAsksFirst)
{
    const CloseCase &c = GetParam();
    form->cdsPlaneja->SetData(plan(2));
    form->Show();
    if (c.editing) {
        form->cdsPlaneja->Edit();
        form->cdsPlaneja->FieldByName(u"QTHREXERFISI"_s)->SetAsFloat(7.0);
    }
    dialogs->QueueAnswer(c.answer);
    TClientDataSet *data = form->cdsPlaneja;
    TDataSetState seen = dsInactive;
    double hours = 0;
    if (!c.closed) {
        EXPECT_FALSE(form->Close());
        seen = data->State();
        hours = data->FieldByName(u"QTHREXERFISI"_s)->AsFloat();
        EXPECT_EQ(seen, c.stateAfter);
        EXPECT_EQ(hours, 7.0); // the row as typed
    } else {
        data->AfterCancel = [&](TDataSet *d) {
            seen = d->State();
        };
        EXPECT_TRUE(form->Close());
        if (c.editing) {
            EXPECT_EQ(seen, c.stateAfter);
        }
        // caFree: released once the event loop deletes it.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(form.isNull());
    }
    EXPECT_EQ(dialogs->Texts(mtConfirmation).size(), c.questions);
}

INSTANTIATE_TEST_SUITE_P(
    FrmPadraoGrid, CloseTest,
    ::testing::Values(CloseCase{"browsing_closes_without_asking", false, mrYes, true, dsBrowse, 0},
                      CloseCase{"editing_no_keeps_open", true, mrNo, false, dsEdit, 1},
                      CloseCase{"editing_yes_cancels_and_closes", true, mrYes, true, dsBrowse, 1}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(GridFormTest, CloseButtonClosesAndReleases)
{
    form->Show();
    TCloseAction action = caHide;
    form->FormClose(form, action);
    EXPECT_EQ(action, caFree);
    form->sbtFechar->Click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(form.isNull());
}

// A descendant that also edits something else (a weight) says so.
class TwoSourceForm : public PlanForm
{
public:
    bool EditingInProgress() const override
    {
        return PlanForm::EditingInProgress() || weightEditing;
    }
    void CancelEditing() override
    {
        PlanForm::CancelEditing();
        weightEditing = false;
    }
    bool weightEditing = false;
};

TEST(FrmPadraoGridDescendant, ItsOwnEditingCheckIsAsked)
{
    ScopedScriptedDialogs dialogs;
    QPointer<TwoSourceForm> form = new TwoSourceForm;
    form->DoCreate();
    form->Show();
    form->weightEditing = true;
    dialogs->QueueAnswer(mrNo);
    EXPECT_FALSE(form->Close());
    EXPECT_TRUE(form->weightEditing);
    dialogs->QueueAnswer(mrYes);
    EXPECT_TRUE(form->Close());
    EXPECT_EQ(dialogs->Texts(mtConfirmation).size(), 2);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(form.isNull());
}

} // namespace
