#include "hostoptions.h"

#include "rtl/datetime.h"
#include "rtl/regularfile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QVariantList>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace Qt::StringLiterals;

namespace qor {

QVariant Consultation::toIniProcParams() const
{
    return QVariantList{cdFilial, cdPaciente, nmPaciente, DateToDateTime(idadeRef),
                        DateToDateTime(consulta)};
}

namespace {

bool parseDate(const QString &text, const QString &option, QDate &date, QString *error)
{
    date = QDate::fromString(text.trimmed(), u"yyyy-MM-dd"_s);
    if (date.isValid())
        return true;
    if (error)
        *error = u"Data inválida em --%1: '%2' (use aaaa-mm-dd)."_s.arg(option, text);
    return false;
}

// The codes the consultation dialog takes: trimmed, not blank, within the field's size.
bool parseCode(const QString &text, const QString &option, int size, QString &code, QString *error)
{
    code = text.trimmed();
    if (!code.isEmpty() && code.size() <= size)
        return true;
    if (error)
        *error = u"Código inválido em --%1: '%2' (de 1 a %3 caracteres)."_s.arg(
            option, text, QString::number(size));
    return false;
}

// Prints the help or the version and ends the host, as Qt's own would, but as failed when
// the text could not be written (a full disk): help nobody was shown is no success.
[[noreturn]] void showAndExit(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    const bool written =
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size())
        && std::fflush(stdout) == 0;
    if (!written)
        std::fputs("qor-host: não foi possível escrever na saída padrão.\n", stderr);
    std::exit(written ? 0 : 1);
}

// A file the host reads or writes: absent, or a regular file.
bool regularOrAbsent(const QString &path, const QString &option, QString *error)
{
    if (RegularOrAbsent(path))
        return true;
    if (error)
        *error = u"Arquivo inválido em --%1: '%2' não é um arquivo comum."_s.arg(option, path);
    return false;
}

} // namespace

bool AsksForHelpOrVersion(int argc, char **argv)
{
    static const char *const flags[] = {"-h", "--help", "-?", "--help-all", "-v", "--version"};
    for (int i = 1; i < argc; ++i) {
        for (const char *flag : flags) {
            if (std::strcmp(argv[i], flag) == 0)
                return true;
        }
    }
    return false;
}

bool ParseHostOptions(const QStringList &arguments, HostOptions &options, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Aplicação hospedeira do módulo Planejamento de Exercícios."_s);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption package(u"package"_s, u"Arquivo do pacote a carregar."_s,
                                     u"arquivo"_s);
    const QCommandLineOption settings(u"settings"_s, u"Arquivo de configurações."_s, u"arquivo"_s);
    const QCommandLineOption screenshot(
        u"screenshot"_s, u"Grava a janela principal em PNG depois de abrir a tela e sai."_s,
        u"arquivo"_s);
    const QCommandLineOption filial(u"filial"_s, u"Código da filial."_s, u"código"_s);
    const QCommandLineOption paciente(u"paciente"_s, u"Código do paciente."_s, u"código"_s);
    const QCommandLineOption nome(u"nome"_s, u"Nome do paciente."_s, u"nome"_s);
    const QCommandLineOption consulta(u"consulta"_s, u"Data da consulta (aaaa-mm-dd; hoje)."_s,
                                      u"data"_s);
    const QCommandLineOption idadeRef(
        u"idade-ref"_s, u"Data de referência da idade (aaaa-mm-dd; a da consulta)."_s, u"data"_s);
    parser.addOptions({package, settings, screenshot, filial, paciente, nome, consulta, idadeRef});

    if (!parser.parse(arguments)) {
        if (error)
            *error = parser.errorText();
        return false;
    }
    if (parser.isSet(u"help"_s))
        showAndExit(parser.helpText());
    if (parser.isSet(u"version"_s))
        showAndExit(u"%1 %2\n"_s.arg(QCoreApplication::applicationName(),
                                     QCoreApplication::applicationVersion()));
    if (!parser.positionalArguments().isEmpty()) {
        if (error)
            *error = u"Argumento inesperado: %1"_s.arg(parser.positionalArguments().first());
        return false;
    }

    options.packagePath = parser.value(package);
    options.settingsPath = parser.value(settings);
    options.screenshotPath = parser.value(screenshot);
    if (!regularOrAbsent(options.settingsPath, u"settings"_s, error)
        || !regularOrAbsent(options.screenshotPath, u"screenshot"_s, error))
        return false;

    const bool anyConsultation = parser.isSet(filial) || parser.isSet(paciente)
        || parser.isSet(nome) || parser.isSet(consulta) || parser.isSet(idadeRef);
    if (!anyConsultation)
        return true;
    if (!parser.isSet(filial) || !parser.isSet(paciente)) {
        if (error)
            *error = u"Para abrir uma consulta informe --filial e --paciente."_s;
        return false;
    }
    Consultation &c = options.consultation;
    if (!parseCode(parser.value(filial), u"filial"_s, 4, c.cdFilial, error)
        || !parseCode(parser.value(paciente), u"paciente"_s, 12, c.cdPaciente, error))
        return false;
    c.nmPaciente = parser.value(nome);
    c.consulta = QDate::currentDate();
    if (parser.isSet(consulta)
        && !parseDate(parser.value(consulta), u"consulta"_s, c.consulta, error))
        return false;
    c.idadeRef = c.consulta;
    if (parser.isSet(idadeRef)
        && !parseDate(parser.value(idadeRef), u"idade-ref"_s, c.idadeRef, error))
        return false;
    options.openConsultation = true;
    return true;
}

} // namespace qor
