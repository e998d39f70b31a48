#pragma once

#include "hostoptions.h"

#include <QMainWindow>

class QLabel;
class QMdiArea;

namespace qor {

class PackageLoader;

// The host's MDI main window: menu "Consulta" opens a consultation on the package's
// screen, "Ajuda" tells the package's version, the status bar says what is loaded.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(PackageLoader *package, QWidget *parent = nullptr);

    QMdiArea *mdiArea() const { return m_mdiArea; }
    // Opens a consultation on the screen; false when the package is missing or the
    // screen could not open (the user has been told).
    bool openConsultation(const Consultation &consultation);
    void showStatus(const QString &text);

protected:
    // The screens close first, each asking about what is being edited; one that stays
    // keeps the host open.
    void closeEvent(QCloseEvent *event) override;

private:
    void askConsultation();
    void about();
    QString packageStatus() const;

    PackageLoader *m_package;
    QMdiArea *m_mdiArea;
    QLabel *m_status;
    QLabel *m_consultation; // the consultation the screen was last opened on
    Consultation m_last;
};

} // namespace qor
