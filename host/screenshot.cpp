#include "screenshot.h"

#include "consoledialogs.h"
#include "packageloader.h"

#include "framework/showavi.h"
#include "rtl/ownerfile.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QSaveFile>
#include <QWidget>
#include <cstdio>

namespace qor {

namespace {
constexpr int TickMs = 100;
constexpr int GiveUpTicks = 600; // a minute
constexpr int SettleTicks = 3; // paint after the load before grabbing
} // namespace

ScreenshotWriter::ScreenshotWriter(QWidget *window, const PackageLoader *package,
                                   const ConsoleDialogs *dialogs, QString path, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_package(package)
    , m_dialogs(dialogs)
    , m_path(std::move(path))
{
    m_timer.setInterval(TickMs);
    connect(&m_timer, &QTimer::timeout, this, &ScreenshotWriter::poll);
}

void ScreenshotWriter::start()
{
    m_timer.start();
}

void ScreenshotWriter::poll()
{
    ++m_ticks;
    const bool loading = m_package->screenCreated() && m_package->screenPending();
    if (loading || ShowAviVisible()) {
        m_settled = 0;
        if (m_ticks >= GiveUpTicks)
            write(true);
        return;
    }
    if (++m_settled >= SettleTicks)
        write(false);
}

void ScreenshotWriter::write(bool timedOut)
{
    m_timer.stop();
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    // Written whole and, made anew, for its owner alone: it shows a patient's data.
    QSaveFile file(m_path);
    const bool saved =
        OpenOwnerOnlySave(file) && m_window->grab().save(&file, "PNG") && file.commit();
    const QString shown = QDir::toNativeSeparators(QFileInfo(m_path).absoluteFilePath());
    const bool troubled = m_dialogs->errorCount() > 0;
    if (timedOut)
        std::fprintf(stderr, "qor-host: a tela não terminou de carregar; imagem do que havia.\n");
    else if (troubled)
        std::fprintf(stderr, "qor-host: houve erro ao abrir a tela; a imagem mostra como ficou.\n");
    if (saved)
        std::fprintf(stdout, "qor-host: imagem gravada em %s\n", shown.toLocal8Bit().constData());
    else
        std::fprintf(stderr, "qor-host: não foi possível gravar %s\n",
                     shown.toLocal8Bit().constData());
    std::fflush(stdout);
    QApplication::exit(saved && !timedOut && !troubled ? 0 : 1);
}

} // namespace qor
