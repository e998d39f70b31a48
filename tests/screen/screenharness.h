#pragma once

#include "forms/scripteddialogs.h"
#include "framework/dbgeral.h"
#include "rtl/datetime.h"
#include "support/serverprocess.h"

#include <QMainWindow>
#include <QPoint>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

class QMdiArea;

namespace qor {
class TfrmPlanejaExerc;
}

namespace qor::testing {

// What the host gives the screen, made real for a test: an MDI main window, a qor-server
// on a fresh database of the given backend, a settings file naming that server (through
// QOR_SETTINGS), scripted dialogs and a record of what reached the application's error
// handler.
class ScreenHarness
{
public:
    explicit ScreenHarness(Backend backend = Backend::SQLite);
    ~ScreenHarness();
    ScreenHarness(const ScreenHarness &) = delete;
    ScreenHarness &operator=(const ScreenHarness &) = delete;

    // Starts the server and writes the settings; false with the reason on failure.
    bool start(QString *error);

    ServerProcess &server() { return m_server; }
    QMainWindow *mainWindow() const { return m_window.get(); }
    QMdiArea *mdiArea() const { return m_mdiArea; }
    ScriptedDialogs &dialogs() { return *m_dialogs; }
    // Messages the application's error handler received, in order.
    const QStringList &errors() const { return m_errors; }
    void clearErrors() { m_errors.clear(); }

    // Opens the screen as the host does, through IniProc (failures reach errors()), and
    // lets Qt deliver what the showing queued.
    TfrmPlanejaExerc *open(const QString &cdPaciente, const QString &nmPaciente,
                           TDateTime consulta = Date(), const QString &cdFilial = Branch);
    // Closes the screen (if any) and lets the base form release it.
    void closeScreen();

    static void processEvents();
    // A left click on the widget (at its centre unless a point is given), then what it queued.
    static void click(QWidget *widget, QPoint at = QPoint());

    static inline const QString Branch = QStringLiteral("0001");
    static inline const QString Maria = QStringLiteral("000000000001");
    static inline const QString Joao = QStringLiteral("000000000002");

private:
    ServerProcess m_server;
    QTemporaryDir m_dir;
    std::unique_ptr<QMainWindow> m_window;
    QMdiArea *m_mdiArea = nullptr;
    ScopedScriptedDialogs m_dialogs;
    QStringList m_errors;
    QByteArray m_previousSettings;
};

// A test of the screen on a real qor-server of the backend under test, started in
// SetUp (skipped when that backend is not available). Subclasses check
// IsSkipped() || HasFatalFailure() after calling SetUp before going on.
class HarnessTest : public BackendTest
{
protected:
    void SetUp() override;
    void TearDown() override { harness.reset(); }
    // The host's general data module on the catalogue its settings name, pointed at the
    // database the server keeps the plans in, and made the application's own.
    void openGeneralDataModule();

    std::unique_ptr<ScreenHarness> harness;
    std::unique_ptr<TdtmDBGeral> dbGeral;
};

} // namespace qor::testing
