#include "forms/application.h"

#include "forms/dialogs.h"
#include "forms/screen.h"
#include "rtl/exceptions.h"

#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>

using namespace Qt::StringLiterals;

namespace qor {

TApplication::TApplication()
{
    // Forms still open when the event loop ends go before the widgets' world does.
    if (auto *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &TApplication::DestroyForms);
}

TApplication::~TApplication() = default;

void TApplication::SetMainForm(QMainWindow *mainForm)
{
    m_mainForm = mainForm;
}

QMdiArea *TApplication::MdiArea() const
{
    if (!m_mainForm)
        return nullptr;
    if (auto *area = qobject_cast<QMdiArea *>(m_mainForm->centralWidget()))
        return area;
    return m_mainForm->findChild<QMdiArea *>();
}

void TApplication::adoptForm(TForm *form)
{
    m_forms.removeAll(nullptr);
    m_forms.append(form);
}

QList<TForm *> TApplication::Forms() const
{
    QList<TForm *> forms;
    for (const auto &form : m_forms) {
        if (form)
            forms.append(form.data());
    }
    return forms;
}

void TApplication::DestroyForms()
{
    const auto forms = Forms();
    m_forms.clear();
    for (TForm *form : forms) {
        // A form in an MDI area lives inside its subwindow.
        if (auto *sub = form->SubWindow())
            delete sub;
        else
            delete form;
    }
}

QString TApplication::ExceptionMessage(std::exception_ptr error)
{
    if (!error)
        return {};
    try {
        std::rethrow_exception(error);
    } catch (const EAbort &) {
        return {};
    } catch (const Exception &e) {
        return e.Message();
    } catch (const std::exception &e) {
        return u"Erro inesperado: "_s + QString::fromLocal8Bit(e.what());
    } catch (...) {
        return u"Erro inesperado: exceção desconhecida."_s;
    }
}

void TApplication::HandleException(std::exception_ptr error) noexcept
{
    try {
        // Whatever was busy is over: the hourglass must not outlive the failure.
        Screen()->SetCursor(crDefault);
        const QString message = ExceptionMessage(error);
        if (message.isEmpty())
            return; // EAbort: silent
        if (OnException)
            OnException(message);
        else
            Dialogs()->Error(message);
    } catch (...) {
        qWarning("qor: the error handler failed");
    }
}

void TApplication::ProcessMessages()
{
    QCoreApplication::processEvents();
}

TApplication *Application()
{
    // Never destroyed: host and modules may report errors until the process ends.
    static TApplication *application = new TApplication;
    return application;
}

} // namespace qor
