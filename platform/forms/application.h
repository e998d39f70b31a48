#pragma once

#include "forms/form.h"

#include <QList>
#include <QMainWindow>
#include <QMdiArea>
#include <QObject>
#include <QPointer>
#include <exception>
#include <functional>
#include <utility>

namespace qor {

// The application object, one per process (shared by host and modules through the
// qor_forms shared library). Owns the forms made with CreateForm.
class TApplication : public QObject
{
    Q_OBJECT
public:
    TApplication();
    ~TApplication() override;

    // The host's main window; forms are shown as subwindows of its QMdiArea (the
    // central widget, or the first QMdiArea child) when it has one.
    QMainWindow *MainForm() const { return m_mainForm; }
    void SetMainForm(QMainWindow *mainForm);
    QMdiArea *MdiArea() const;

    // Creates a form owned by the application and runs its OnCreate/FormCreate hook.
    // Exceptions from the constructor or the hook reach the caller; the form is then
    // destroyed.
    template <typename T, typename... Args> T *CreateForm(Args &&...args)
    {
        auto *form = new T(std::forward<Args>(args)...);
        adoptForm(form);
        try {
            form->DoCreate();
        } catch (...) {
            delete form;
            throw;
        }
        return form;
    }
    // Forms created and still alive, in creation order.
    QList<TForm *> Forms() const;
    // Deletes every form the application still owns.
    void DestroyForms();

    // Reports an exception that reached a boundary with Qt: EAbort silently; an
    // Exception with its message; a std::exception or anything else as
    // "Erro inesperado: ...". Restores the default cursor first. Never throws.
    void HandleException(std::exception_ptr error = std::current_exception()) noexcept;
    // The text HandleException shows for an exception (empty for EAbort).
    static QString ExceptionMessage(std::exception_ptr error);
    // When set, receives the message instead of the error dialog (EAbort never arrives).
    std::function<void(const QString &message)> OnException;

    void ProcessMessages();
    QString Title;

private:
    void adoptForm(TForm *form);

    QPointer<QMainWindow> m_mainForm;
    QList<QPointer<TForm>> m_forms;
};

// The application object; created on first use (a QApplication must exist).
TApplication *Application();

} // namespace qor
