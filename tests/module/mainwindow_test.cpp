// The host's main window: the status bar keeps saying which consultation is open while
// the user moves over the menus.
#include "forms/scripteddialogs.h"
#include "framework/modal.h"
#include "host/consultadialog.h"
#include "host/mainwindow.h"
#include "host/packageloader.h"

#include <QAction>
#include <QApplication>
#include <QDateEdit>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTest>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor {
namespace {

// What the status bar shows: its message while there is one, else its visible labels.
QString shownStatus(QStatusBar *bar)
{
    if (!bar->currentMessage().isEmpty())
        return bar->currentMessage();
    QStringList shown;
    for (QLabel *label : bar->findChildren<QLabel *>()) {
        if (label->isVisible() && !label->text().isEmpty())
            shown.append(label->text());
    }
    return shown.join(u" | "_s);
}

struct HoverCase
{
    const char *name;
    QStringList tips; // what the menu items passed over show, in order; "" for none
};

TEST(MainWindowStatus, TheConsultationLineOutlastsTheMenus)
{
    const HoverCase cases[] = {
        {"an item without a tip", {u""_s}},
        {"an item with a tip, then one without", {u"Abre outra consulta"_s, u""_s}},
        {"several items and away", {u""_s, u"Sobre"_s, u""_s, u""_s}},
    };
    const QString line = u"Consulta 0001 / 000042 de 07/12/2026"_s;
    for (const HoverCase &c : cases) {
        SCOPED_TRACE(c.name);
        PackageLoader package;
        MainWindow window(&package);
        window.show();
        window.showStatus(line);
        ASSERT_TRUE(shownStatus(window.statusBar()).contains(line));
        // What Qt sends the window as the pointer moves over a menu's items.
        for (const QString &tip : c.tips) {
            QStatusTipEvent event(tip);
            QApplication::sendEvent(&window, &event);
        }
        EXPECT_TRUE(shownStatus(window.statusBar()).contains(line))
            << shownStatus(window.statusBar()).toStdString();
    }
}

// The menu item of the main window's menu bar with that text, or null.
QAction *menuItem(QMainWindow *window, const QString &text)
{
    for (QAction *menu : window->menuBar()->actions()) {
        if (!menu->menu())
            continue;
        for (QAction *item : menu->menu()->actions()) {
            if (item->text() == text)
                return item;
        }
    }
    return nullptr;
}

// "Abrir consulta..." asks for the consultation; what was typed there is offered again
// the next time, also when the screen could not open on it, and a cancelled dialog
// opens nothing.
TEST(MainWindowConsultation, WhatWasAskedForIsOfferedAgainAndACancelOpensNothing)
{
    ScopedScriptedDialogs dialogs;
    PackageLoader package; // none loaded: opening it says so
    MainWindow window(&package);
    window.show();
    QAction *open = menuItem(&window, u"&Abrir consulta..."_s);
    ASSERT_NE(open, nullptr);

    QStringList offered; // the three texts the dialog showed when it came up, each time
    QDate offeredConsulta;
    bool accept = true;
    const ModalRunner previous = SetModalRunner([&](QDialog *dialog) {
        const auto edits = dialog->findChildren<QLineEdit *>(Qt::FindDirectChildrenOnly);
        const auto dates = dialog->findChildren<QDateEdit *>(Qt::FindDirectChildrenOnly);
        if (edits.size() != 3 || dates.size() != 2)
            return int(QDialog::Rejected);
        offered = {edits[0]->text(), edits[1]->text(), edits[2]->text()};
        offeredConsulta = dates[1]->date();
        if (!accept)
            return int(QDialog::Rejected);
        for (QLineEdit *edit : edits)
            edit->clear();
        QTest::keyClicks(edits[0], u"0001"_s);
        QTest::keyClicks(edits[1], u"000000000042"_s);
        QTest::keyClicks(edits[2], u"Ana Luiza"_s);
        dates[1]->setDate(QDate(2026, 3, 2));
        dialog->accept();
        return dialog->result();
    });

    open->trigger();
    EXPECT_EQ(offered, (QStringList{QString(), QString(), QString()}));
    EXPECT_EQ(
        dialogs->Texts(mtError),
        QStringList{u"O pacote Pkg_Qor12700 não está carregado: a tela não pode ser aberta."_s});

    // Asked again: what was typed comes back, and a cancel opens nothing.
    dialogs->Clear();
    accept = false;
    open->trigger();
    EXPECT_EQ(offered, (QStringList{u"0001"_s, u"000000000042"_s, u"Ana Luiza"_s}));
    EXPECT_EQ(offeredConsulta, QDate(2026, 3, 2));
    EXPECT_TRUE(dialogs->Messages().isEmpty());
    SetModalRunner(previous);
}

} // namespace
} // namespace qor
