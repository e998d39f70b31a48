#include "screenharness.h"

#include "forms/application.h"
#include "framework/showavi.h"
#include "framework/velmora.h"
#include "module/Cli_qor12700.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMdiArea>
#include <QTest>

using namespace Qt::StringLiterals;

namespace qor::testing {

namespace {
ServerProcess::Options serverOptions(Backend backend)
{
    ServerProcess::Options options;
    options.backend = backend;
    options.demo = true;
    return options;
}
} // namespace

ScreenHarness::ScreenHarness(Backend backend)
    : m_server(serverOptions(backend))
    , m_window(std::make_unique<QMainWindow>())
    , m_mdiArea(new QMdiArea)
{
    m_previousSettings = qgetenv("QOR_SETTINGS");
    qputenv("QOR_SETTINGS", m_dir.filePath(u"qor-host.ini"_s).toLocal8Bit());
    m_window->setCentralWidget(m_mdiArea);
    m_window->resize(900, 600);
    m_window->show();
    Application()->SetMainForm(m_window.get());
    Application()->OnException = [this](const QString &message) {
        m_errors.append(message);
    };
    ResetShowAviCounts();
}

ScreenHarness::~ScreenHarness()
{
    Application()->DestroyForms();
    processEvents();
    Application()->OnException = nullptr;
    Application()->SetMainForm(nullptr);
    DeactiveShowAvi();
    m_window.reset();
    if (m_previousSettings.isEmpty())
        qunsetenv("QOR_SETTINGS");
    else
        qputenv("QOR_SETTINGS", m_previousSettings);
}

bool ScreenHarness::start(QString *error)
{
    if (!m_server.start(error))
        return false;
    HostSettings settings;
    settings.host = m_server.host();
    settings.port = m_server.port();
    settings.token = m_server.token();
    if (!WriteHostSettings(settings, error))
        return false;
    // On a window system the main window becomes active only once the server says so:
    // before that no control has the focus, keys reach controls that are never left, and
    // nothing typed is posted.
    m_window->activateWindow();
    if (!QTest::qWaitForWindowActive(m_window.get())) {
        *error = u"the main window never became active"_s;
        return false;
    }
    return true;
}

TfrmPlanejaExerc *ScreenHarness::open(const QString &cdPaciente, const QString &nmPaciente,
                                      TDateTime consulta, const QString &cdFilial)
{
    IniProc(QVariantList{cdFilial, cdPaciente, nmPaciente, consulta, consulta});
    processEvents();
    return frmPlanejaExerc;
}

void ScreenHarness::closeScreen()
{
    if (frmPlanejaExerc)
        frmPlanejaExerc->Close();
    processEvents();
}

void ScreenHarness::processEvents()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

void ScreenHarness::click(QWidget *widget, QPoint at)
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, at);
    processEvents();
}

void HarnessTest::SetUp()
{
    BackendTest::SetUp();
    if (IsSkipped())
        return;
    harness = std::make_unique<ScreenHarness>(GetParam());
    QString error;
    ASSERT_TRUE(harness->start(&error)) << error.toStdString();
}

void HarnessTest::openGeneralDataModule()
{
    QString error;
    ASSERT_TRUE(WriteSetting(u"catalogue/uri"_s, harness->server().databaseUri(), &error))
        << error.toStdString();
    dbGeral = std::make_unique<TdtmDBGeral>();
    dbGeral->Open();
    SetDtmDBGeral(dbGeral.get());
}

} // namespace qor::testing
