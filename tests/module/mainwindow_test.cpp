// The host's main window: the status bar keeps saying which consultation is open while
// the user moves over the menus.
#include "host/mainwindow.h"
#include "host/packageloader.h"

#include <QApplication>
#include <QLabel>
#include <QStatusBar>
#include <QStatusTipEvent>
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

} // namespace
} // namespace qor
