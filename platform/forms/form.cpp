#include "forms/form.h"

#include "forms/application.h"
#include "forms/designscale.h"
#include "forms/guard.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>

namespace qor {

TForm::TForm(QWidget *parent)
    : QWidget(parent)
    , TControl(this, QPalette::Window, clBtnFace)
{ }

TForm::~TForm() = default;

void TForm::DoCreate()
{
    if (m_created)
        return;
    m_created = true;
    FormCreate(this);
}

void TForm::FormCreate(QObject *Sender)
{
    if (OnCreate)
        OnCreate(Sender);
}

void TForm::FormClose(QObject *Sender, TCloseAction &Action)
{
    if (OnClose)
        OnClose(Sender, Action);
}

void TForm::FormActivate(QObject *Sender)
{
    if (OnActivate)
        OnActivate(Sender);
}

void TForm::attachToMdiArea()
{
    QMdiArea *area = Application()->MdiArea();
    if (!area || m_subWindow || parentWidget())
        return;
    fitToFont();
    const QSize wanted = size();
    auto *sub = new QMdiSubWindow;
    // The close action decides whether the subwindow goes, not Qt.
    sub->setAttribute(Qt::WA_DeleteOnClose, false);
    sub->setWidget(this);
    area->addSubWindow(sub);
    // Keep the form's own size; the frame and title bar come on top.
    const QSize inner = sub->contentsRect().size();
    const QSize frame = sub->size() - (inner.isValid() ? inner : QSize(0, 0));
    sub->resize(wanted + frame.expandedTo(QSize(0, 0)));
    m_subWindow = sub;
    connect(area, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow *window) {
        const bool nowActive = window && window == m_subWindow;
        // A click on what takes no focus (a command button, the background) would give
        // the focus to the frame, which hands it straight back: the control being typed
        // in was left on the button's press, its text checked before the command ran.
        // While the form is active the frame takes the focus only through Tab; while it
        // is not, a click anywhere on it still activates it.
        if (m_subWindow)
            m_subWindow->setFocusPolicy(nowActive ? Qt::TabFocus : Qt::StrongFocus);
        if (nowActive && !m_wasActive)
            activated();
        else if (!nowActive && m_wasActive) {
            m_wasActive = false;
            if (OnDeactivate)
                guarded([&] { OnDeactivate(this); });
        }
    });
}

void TForm::activated()
{
    m_wasActive = true;
    guarded([&] { FormActivate(this); });
}

void TForm::Show()
{
    attachToMdiArea();
    if (m_subWindow) {
        show();
        m_subWindow->show();
        fitIntoMdiArea();
        if (QMdiArea *area = m_subWindow->mdiArea()) {
            if (area->activeSubWindow() == m_subWindow && !m_wasActive)
                activated();
            else
                area->setActiveSubWindow(m_subWindow);
        }
        m_subWindow->raise();
        return;
    }
    fitToFont();
    show();
    raise();
    activateWindow();
}

void TForm::fitToFont()
{
    if (m_fittedToFont)
        return;
    m_fittedToFont = true;
    // The size set is the drawn one; on screen it grows with the font, and never leaves
    // the controls less room than their captions need.
    resize(designSize(size(), font()).expandedTo(minimumSizeHint()));
}

void TForm::fitIntoMdiArea()
{
    QMdiArea *area = m_subWindow->mdiArea();
    if (m_fittedIntoArea || !area || !area->isVisible())
        return;
    m_fittedIntoArea = true;
    // Grown with a large font, the form may be larger than the main window's area, which
    // then shows it with its edges outside (a total, a caption cut off): it is made to fit,
    // as far as its controls allow, and moved in from the edges.
    const QRect room = area->viewport()->rect();
    const QRect placed = m_subWindow->geometry();
    if (room.contains(placed))
        return;
    const QSize size =
        placed.size().boundedTo(room.size()).expandedTo(m_subWindow->minimumSizeHint());
    const int x = qMax(room.left(), qMin(placed.x(), room.right() + 1 - size.width()));
    const int y = qMax(room.top(), qMin(placed.y(), room.bottom() + 1 - size.height()));
    m_subWindow->setGeometry(QRect(QPoint(x, y), size));
}

bool TForm::Close()
{
    return close();
}

TCloseAction TForm::runCloseHandlers()
{
    TCloseAction action = caHide;
    if (!guarded([&] { FormClose(this, action); }))
        return caNone; // a failing close handler keeps the form
    return action;
}

void TForm::closeEvent(QCloseEvent *event)
{
    const TCloseAction action = runCloseHandlers();
    switch (action) {
    case caNone:
        event->ignore();
        return;
    case caMinimize:
        event->ignore();
        SetWindowState(wsMinimized);
        return;
    case caHide:
        event->accept();
        if (m_subWindow)
            m_subWindow->hide();
        return;
    case caFree:
        event->accept();
        if (m_subWindow) {
            m_subWindow->hide();
            m_subWindow->deleteLater();
        } else {
            deleteLater();
        }
        return;
    }
}

void TForm::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // A subwindow's activation comes from the MDI area.
    if (event->type() != QEvent::ActivationChange || m_subWindow || !isWindow())
        return;
    if (isActiveWindow() && !m_wasActive) {
        activated();
    } else if (!isActiveWindow() && m_wasActive) {
        m_wasActive = false;
        if (OnDeactivate)
            guarded([&] { OnDeactivate(this); });
    }
}

TWindowState TForm::WindowState() const
{
    const QWidget *w = m_subWindow ? static_cast<const QWidget *>(m_subWindow.data()) : this;
    if (w->isMinimized())
        return wsMinimized;
    if (w->isMaximized())
        return wsMaximized;
    return wsNormal;
}

void TForm::SetWindowState(TWindowState state)
{
    QWidget *w = m_subWindow ? static_cast<QWidget *>(m_subWindow.data()) : this;
    Qt::WindowStates states = w->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    if (state == wsMinimized)
        states |= Qt::WindowMinimized;
    else if (state == wsMaximized)
        states |= Qt::WindowMaximized;
    if (m_subWindow && !m_subWindow->isVisible()) {
        w->setWindowState(states);
        return;
    }
    switch (state) {
    case wsNormal:
        w->showNormal();
        break;
    case wsMinimized:
        w->showMinimized();
        break;
    case wsMaximized:
        w->showMaximized();
        break;
    }
}

bool TForm::Active() const
{
    if (m_subWindow) {
        const QMdiArea *area = m_subWindow->mdiArea();
        return area && area->activeSubWindow() == m_subWindow;
    }
    return isActiveWindow();
}

} // namespace qor
