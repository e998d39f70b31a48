#include "forms/screen.h"

#include <QCursor>
#include <QGuiApplication>

namespace qor {

void TScreen::SetCursor(TCursor cursor)
{
    if (cursor == m_cursor)
        return;
    if (m_pushed) {
        QGuiApplication::restoreOverrideCursor();
        m_pushed = false;
    }
    m_cursor = cursor;
    if (cursor == crDefault)
        return;
    QGuiApplication::setOverrideCursor(
        QCursor(cursor == crHourGlass ? Qt::WaitCursor : Qt::ArrowCursor));
    m_pushed = true;
}

TScreen *Screen()
{
    static TScreen screen;
    return &screen;
}

} // namespace qor
