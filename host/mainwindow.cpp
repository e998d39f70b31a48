#include "mainwindow.h"

#include "consultadialog.h"
#include "packageloader.h"

#include "forms/dialogs.h"
#include "forms/guard.h"
#include "framework/modal.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace qor {

MainWindow::MainWindow(PackageLoader *package, QWidget *parent)
    : QMainWindow(parent)
    , m_package(package)
    , m_mdiArea(new QMdiArea(this))
    , m_status(new QLabel(this))
    , m_consultation(new QLabel(this))
{
    setWindowTitle(u"Qor - Nutrição Clínica"_s);
    setCentralWidget(m_mdiArea);
    resize(900, 620);

    QMenu *consulta = menuBar()->addMenu(u"&Consulta"_s);
    consulta->addAction(u"&Abrir consulta..."_s, this, guard([this](bool) { askConsultation(); }));
    consulta->addSeparator();
    consulta->addAction(u"&Sair"_s, this, &QWidget::close);
    QMenu *janela = menuBar()->addMenu(u"&Janela"_s);
    janela->addAction(u"&Cascata"_s, m_mdiArea, &QMdiArea::cascadeSubWindows);
    janela->addAction(u"&Lado a lado"_s, m_mdiArea, &QMdiArea::tileSubWindows);
    QMenu *ajuda = menuBar()->addMenu(u"A&juda"_s);
    ajuda->addAction(u"&Sobre..."_s, this, guard([this](bool) { about(); }));

    // A widget rather than a status message: hovering over a menu shows its items' (empty)
    // tips as messages, which would wipe the consultation's line for good.
    statusBar()->addWidget(m_consultation, 1);
    statusBar()->addPermanentWidget(m_status);
    m_status->setText(packageStatus());
}

QString MainWindow::packageStatus() const
{
    if (!m_package->isLoaded())
        return u"Pacote Pkg_Qor12700 não carregado"_s;
    const QString version = m_package->version();
    return version.isEmpty() ? u"Pkg_Qor12700"_s : u"Pkg_Qor12700 %1"_s.arg(version);
}

void MainWindow::showStatus(const QString &text)
{
    m_consultation->setText(text);
}

bool MainWindow::openConsultation(const Consultation &consultation)
{
    m_last = consultation;
    if (!m_package->isLoaded()) {
        Dialogs()->Error(
            u"O pacote Pkg_Qor12700 não está carregado: a tela não pode ser aberta."_s);
        return false;
    }
    showStatus(u"Consulta %1 / %2 de %3"_s.arg(consultation.cdFilial, consultation.cdPaciente,
                                               consultation.consulta.toString(u"dd/MM/yyyy"_s)));
    return m_package->iniProc(consultation.toIniProcParams());
}

void MainWindow::askConsultation()
{
    ConsultaDialog dialog(this);
    dialog.setConsultation(m_last);
    if (RunModal(&dialog) != QDialog::Accepted)
        return;
    openConsultation(dialog.consultation());
}

void MainWindow::about()
{
    QString text = u"Qor - Nutrição Clínica\nTela Planejamento de Exercícios (QOR12700)\n"_s;
    if (m_package->isLoaded())
        text += u"Pacote %1, versão %2"_s.arg(m_package->fileName(), m_package->version());
    else
        text += u"Pacote Pkg_Qor12700 não carregado."_s;
    Dialogs()->Information(text);
}

} // namespace qor

namespace qor {

void MainWindow::closeEvent(QCloseEvent *event)
{
    m_mdiArea->closeAllSubWindows();
    const QList<QMdiSubWindow *> windows = m_mdiArea->subWindowList();
    const bool kept = std::any_of(windows.cbegin(), windows.cend(),
                                  [](const QMdiSubWindow *window) { return window->isVisible(); });
    if (kept)
        event->ignore();
    else
        event->accept();
}

} // namespace qor
