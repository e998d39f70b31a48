// qor-host on a workstation not set up in Brazilian Portuguese: a real process started
// with LANG=C, the POSIX locale or German numbers, with its settings and its picture
// under names with accents; and a name its command line cannot read is refused.
#include "support/serverprocess.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

QProcessEnvironment hostEnvironment(const QString &home, const QStringList &locale)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"LANG", "LANGUAGE", "LC_ALL", "LC_CTYPE", "LC_NUMERIC", "LC_MESSAGES"})
        env.remove(QString::fromLatin1(name));
    for (const QString &variable : locale)
        env.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    env.insert(u"HOME"_s, home);
    return env;
}

struct Outcome
{
    int exitCode = -1;
    QString out;
    QString err;
};

Outcome finish(QProcess &host)
{
    // A safety net for a hung host, not a speed check.
    if (!host.waitForFinished(120000))
        host.kill();
    host.waitForFinished();
    return {host.exitStatus() == QProcess::NormalExit ? host.exitCode() : -1,
            QString::fromUtf8(host.readAllStandardOutput()),
            QString::fromUtf8(host.readAllStandardError())};
}

struct HostLocale
{
    const char *name;
    QStringList variables;
};

void PrintTo(const HostLocale &c, std::ostream *os)
{
    *os << c.name;
}

class HostUnderSystemLocale : public ::testing::TestWithParam<HostLocale>
{
};

TEST_P(HostUnderSystemLocale, OpensFromSettingsAndWritesAPictureNamedWithAccents)
{
    ServerProcess server;
    QString error;
    ASSERT_TRUE(server.start(&error)) << error.toStdString();
    QTemporaryDir dir;
    const QString folder = dir.filePath(u"Configurações da clínica"_s);
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString ini = folder + u"/opções.ini"_s;
    QFile settings(ini);
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write(
        u"[server]\nhost=%1\nport=%2\ntoken=%3\n[catalogue]\nuri=%4\n"_s.arg(server.host())
            .arg(server.port())
            .arg(server.token(), server.databaseUri())
            .toUtf8());
    settings.close();
    const QString png = folder + u"/Planejamento de Exercícios — João.png"_s;

    QProcess host;
    host.setProcessEnvironment(hostEnvironment(dir.path(), GetParam().variables));
    host.start(qEnvironmentVariable("QOR_BIN_DIR") + u"/qor-host"_s,
               {u"--settings"_s, ini, u"--filial"_s, u"0001"_s, u"--paciente"_s, u"000000000002"_s,
                u"--nome"_s, u"João Pereira"_s, u"--screenshot"_s, png});
    const Outcome outcome = finish(host);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_FALSE(outcome.err.contains(u"[Erro]"_s)) << outcome.err.toStdString();
    EXPECT_TRUE(outcome.out.contains(u"imagem gravada em "_s + png)) << outcome.out.toStdString();
    EXPECT_FALSE(QImage(png).isNull());
}

INSTANTIATE_TEST_SUITE_P(Locales, HostUnderSystemLocale,
                         ::testing::Values(HostLocale{"lang_c", {u"LANG=C"_s}},
                                           HostLocale{"lc_all_posix", {u"LC_ALL=POSIX"_s}},
                                           HostLocale{"german", {u"LANG=de_DE.UTF-8"_s}}),
                         [](const auto &info) { return std::string(info.param.name); });

// A name written in another encoding (Latin-1 on a UTF-8 system) cannot be read back from
// the command line: taken as it decodes, it names a file that is not the one meant.
struct UnreadableName
{
    const char *name;
    QString arguments; // for the shell; $D is the temporary folder, \351 is é in Latin-1
};

void PrintTo(const UnreadableName &c, std::ostream *os)
{
    *os << c.name;
}

class HostArgumentEncoding : public ::testing::TestWithParam<UnreadableName>
{
};

TEST_P(HostArgumentEncoding, RefusesANameItCannotRead)
{
    QTemporaryDir dir;
    QProcess host;
    host.setProcessEnvironment(hostEnvironment(dir.path(), {u"LANG=C"_s}));
    // QProcess writes its arguments in UTF-8: the shell's printf makes the Latin-1 bytes.
    host.start(u"/bin/sh"_s,
               {u"-c"_s, u"D=\"$1\"; eval exec \"$0\" "_s + GetParam().arguments,
                qEnvironmentVariable("QOR_BIN_DIR") + u"/qor-host"_s, dir.path()});
    const Outcome outcome = finish(host);
    EXPECT_EQ(outcome.exitCode, 2) << outcome.err.toStdString();
    EXPECT_TRUE(outcome.err.contains(u"não está em UTF-8"_s)) << outcome.err.toStdString();
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Names, HostArgumentEncoding,
    ::testing::Values(UnreadableName{"settings",
                                     uR"sh(--settings "$D/$(printf 'op\347\365es.ini')" )sh"
                                     uR"sh(--screenshot "$D/tela.png")sh"_s},
                      UnreadableName{"picture",
                                     uR"sh(--screenshot "$D/$(printf 'tela\351.png')")sh"_s}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace qor::testing
