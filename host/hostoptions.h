#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace qor {

// One consultation as the host hands it to the package's IniProc.
struct Consultation
{
    QString cdFilial;
    QString cdPaciente;
    QString nmPaciente;
    QDate idadeRef; // the age reference date
    QDate consulta; // the consultation date, at midnight

    // The five values IniProc reads: branch, patient, name, age reference and
    // consultation date as day counts.
    QVariant toIniProcParams() const;
};

// What qor-host was asked on its command line.
struct HostOptions
{
    QString packagePath; // empty: Pkg_Qor12700.so beside the executable
    QString settingsPath; // empty: the default settings file (or QOR_SETTINGS)
    QString screenshotPath; // empty: run interactively
    bool openConsultation = false; // --filial and --paciente were given
    Consultation consultation;
};

// True when the command line asks for the help or the version, which need no display.
bool AsksForHelpOrVersion(int argc, char **argv);

// Parses the arguments (argv[0] first). On an error returns false with a Portuguese
// message in *error; --help and --version are answered by QCommandLineParser itself.
bool ParseHostOptions(const QStringList &arguments, HostOptions &options, QString *error);

} // namespace qor
