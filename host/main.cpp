// qor-host: the clinical-nutrition desktop host. It owns the settings, the catalogue
// connection and the MDI main window, and opens the exercise-planning screen from the
// package it loads at run time.
#include "consoledialogs.h"
#include "mainwindow.h"
#include "packageloader.h"
#include "qttranslations.h"
#include "screenshot.h"

#include "forms/application.h"
#include "forms/dialogs.h"
#include "framework/dbgeral.h"
#include "framework/velmora.h"
#include "rtl/arguments.h"

#include <QApplication>
#include <QFileInfo>
#include <QLocale>
#include <QTimer>
#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

void setUpApplication(QCoreApplication &app)
{
    QCoreApplication::setApplicationName(u"qor-host"_s);
    QCoreApplication::setApplicationVersion(u"6.5.2.0"_s);
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    qor::InstallQtTranslations(app); // before the options, whose errors Qt words
}

} // namespace

int main(int argc, char **argv)
{
    // The help and the version are written without starting the GUI: they need no
    // display, which an administrator's ssh session may not have.
    if (qor::AsksForHelpOrVersion(argc, argv)) {
        QCoreApplication textOnly(argc, argv);
        setUpApplication(textOnly);
        qor::HostOptions options;
        QString error;
        // Ends the host when it writes them; a flag that was an option's value goes on.
        if (!qor::ParseHostOptions(QCoreApplication::arguments(), options, &error)) {
            std::fprintf(stderr, "qor-host: %s\n", error.toLocal8Bit().constData());
            return 2;
        }
    }
    QApplication app(argc, argv);
    setUpApplication(app);

    if (const QString unreadable = qor::unreadableArgument(argc, argv); !unreadable.isEmpty()) {
        std::fprintf(stderr,
                     "qor-host: o argumento \"%s\" não está em UTF-8 (nome de arquivo ou pasta "
                     "gravado em outra codificação?); renomeie-o ou escreva-o em UTF-8.\n",
                     unreadable.toUtf8().constData());
        return 2;
    }
    qor::HostOptions options;
    QString error;
    if (!qor::ParseHostOptions(QApplication::arguments(), options, &error)) {
        std::fprintf(stderr, "qor-host: %s\n", error.toLocal8Bit().constData());
        return 2;
    }
    // Before anything reads the settings.
    if (!options.settingsPath.isEmpty())
        qputenv("QOR_SETTINGS", QFileInfo(options.settingsPath).absoluteFilePath().toLocal8Bit());
    // QOR_SETTINGS set by whoever started the host is held to what --settings is.
    if (const QString problem = qor::SettingsFileProblem(); !problem.isEmpty()) {
        std::fprintf(stderr, "qor-host: %s\n", problem.toLocal8Bit().constData());
        return 2;
    }
    const bool unattended = !options.screenshotPath.isEmpty();
    const qor::ConsoleDialogs *console = nullptr; // owned by the dialogs' registry
    if (unattended) {
        auto dialogs = std::make_unique<qor::ConsoleDialogs>();
        console = dialogs.get();
        qor::SetDialogs(std::move(dialogs));
    }
    qor::Application()->Title = u"Qor - Nutrição Clínica"_s;

    int result = 0;
    qor::PackageLoader package;
    {
        // The catalogue connection: without it the screen still opens, and the catalogue
        // queries say what is missing.
        qor::TdtmDBGeral dbGeral;
        qor::SetDtmDBGeral(&dbGeral);
        try {
            dbGeral.Open();
        } catch (...) {
            qor::Application()->HandleException(std::current_exception());
        }

        if (!package.load(options.packagePath.isEmpty() ? qor::PackageLoader::defaultPath()
                                                        : options.packagePath))
            qor::Dialogs()->Error(package.errorText());

        qor::MainWindow window(&package);
        qor::Application()->SetMainForm(&window);
        window.show();

        std::unique_ptr<qor::ScreenshotWriter> screenshot;
        if (unattended) {
            screenshot = std::make_unique<qor::ScreenshotWriter>(&window, &package, console,
                                                                 options.screenshotPath);
        }
        QTimer::singleShot(0, &window, [&] {
            if (options.openConsultation)
                window.openConsultation(options.consultation);
            if (screenshot)
                screenshot->start();
        });
        result = QApplication::exec();

        // The screens' code lives in the package: they go before it does.
        qor::Application()->DestroyForms();
        qor::Application()->SetMainForm(nullptr);
    }
    package.unload();
    return result;
}
