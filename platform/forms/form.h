#pragma once

#include "forms/control.h"

#include <QMdiSubWindow>
#include <QPointer>
#include <QWidget>
#include <functional>

namespace qor {

enum TWindowState { wsNormal, wsMinimized, wsMaximized };
enum TCloseAction { caNone, caHide, caFree, caMinimize };

// A form: an MDI child of the main form's QMdiArea once shown, or a top-level window
// when there is no main form. Create it with Application()->CreateForm<T>() so its
// FormCreate hook runs; close it with Close().
class TForm : public QWidget, public TControl
{
    Q_OBJECT
public:
    explicit TForm(QWidget *parent = nullptr);
    ~TForm() override;

    QString Caption() const { return windowTitle(); }
    void SetCaption(const QString &caption) { setWindowTitle(caption); }

    // Adds the form to the MDI area as a subwindow (first time only), shows it and
    // activates it. Without an MDI area the form is a top-level window.
    void Show();
    // Runs the close handling: OnClose decides the action (caHide unless changed);
    // caNone keeps the form, caHide hides it, caMinimize minimizes it, caFree hides
    // it and deletes it (and its subwindow) later. Returns whether it closed.
    bool Close();

    TWindowState WindowState() const;
    void SetWindowState(TWindowState state);

    // The MDI subwindow holding the form, or null while not shown in an MDI area.
    QMdiSubWindow *SubWindow() const { return m_subWindow.data(); }
    // Whether the form is the active window or the active MDI subwindow.
    bool Active() const;

    // Runs FormCreate once; CreateForm calls it after construction.
    void DoCreate();

    std::function<void(QObject *Sender)> OnCreate;
    std::function<void(QObject *Sender)> OnActivate;
    std::function<void(QObject *Sender)> OnDeactivate;
    std::function<void(QObject *Sender, TCloseAction &Action)> OnClose;

    // The creation hook: calls OnCreate. Descendants override it to set themselves up
    // (calling the base first), as a handler named FormCreate would in the classic
    // framework.
    virtual void FormCreate(QObject *Sender);
    // The close hook: calls OnClose.
    virtual void FormClose(QObject *Sender, TCloseAction &Action);
    // The activation hook: calls OnActivate.
    virtual void FormActivate(QObject *Sender);

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void attachToMdiArea();
    // Once, before the form is first shown: see designSize.
    void fitToFont();
    void fitIntoMdiArea();
    void activated();
    TCloseAction runCloseHandlers();

    QPointer<QMdiSubWindow> m_subWindow;
    bool m_created = false;
    bool m_closing = false;
    bool m_wasActive = false;
    bool m_fittedToFont = false;
    bool m_fittedIntoArea = false;
};

} // namespace qor
