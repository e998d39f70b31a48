// The package as a library: counted unit initialization, the version text, and the
// exports the host finds by name in the built plugin.
#include "module/Cli_qor12700.h"
#include "module/version.h"

#include "forms/application.h"

#include <QFile>
#include <QLibrary>
#include <QProcess>
#include <QSet>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor {
namespace {

TEST(UnitInitialization, CountedSoOnlyTheLastFinalizationClears)
{
    // The package's own load ran the first initialization.
    ASSERT_EQ(Cli_qor12700InitCount(), 1);
    stCdFilial = u"0001"_s;
    stCdPaciente = u"000000000001"_s;
    stNmPaciente = u"Maria"_s;
    boIdCriado = true;

    InitializeCli_qor12700(); // a nested load
    EXPECT_TRUE(boIdCriado);
    FinalizeCli_qor12700();
    EXPECT_EQ(stCdFilial, u"0001"_s);
    EXPECT_EQ(stNmPaciente, u"Maria"_s);

    FinalizeCli_qor12700(); // the last one
    EXPECT_TRUE(stCdFilial.isEmpty());
    EXPECT_TRUE(stCdPaciente.isEmpty());
    EXPECT_TRUE(stNmPaciente.isEmpty());
    FinalizeCli_qor12700(); // one too many does not underflow
    EXPECT_EQ(Cli_qor12700InitCount(), 0);

    InitializeCli_qor12700();
    EXPECT_FALSE(boIdCriado);
    EXPECT_EQ(Cli_qor12700InitCount(), 1);
}

TEST(PackageVersion, MinorInTwoDigitsReleaseInThree)
{
    struct Row
    {
        int major, minor, release;
        const char *text;
    };
    const Row rows[] = {{6, 5, 2, "6.05.002"}, {1, 0, 0, "1.00.000"}, {10, 12, 345, "10.12.345"}};
    for (const Row &row : rows)
        EXPECT_EQ(PackageVersionText(row.major, row.minor, row.release),
                  QString::fromLatin1(row.text));
}

TEST(BuiltPackage, ExportsWhatTheHostLooksUpByName)
{
    const QString path = qEnvironmentVariable("QOR_BIN_DIR") + u"/Pkg_Qor12700.so"_s;
    QLibrary library(path);
    ASSERT_TRUE(library.load()) << library.errorString().toStdString();
    for (const char *symbol :
         {"IniProc", "QorPackageVersion", "frmPlanejaExerc", "stCdFilial", "stCdPaciente",
          "stNmPaciente", "dtIdadePaci", "dtConsulta", "boIdCriado", "boPrimVez"})
        EXPECT_NE(library.resolve(symbol), nullptr) << symbol;
    auto version = reinterpret_cast<const char *(*)()>(library.resolve("QorPackageVersion"));
    ASSERT_NE(version, nullptr);
    EXPECT_STREQ(version(), "6.05.002");
    // Loading ran the package's own unit initialization.
    auto *idCriado = reinterpret_cast<const bool *>(library.resolve("boIdCriado"));
    ASSERT_NE(idCriado, nullptr);
    EXPECT_FALSE(*idCriado);
    library.unload();

    // The ELF header names the major version.
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("Pkg_Qor12700.so.6"));
}

// A failure raised inside the package reaches the host's error handler as the failure it
// is, with its own message, although the package keeps its own code to itself.
TEST(BuiltPackage, AFailureInsideReachesTheHostWithItsMessage)
{
    const QString path = qEnvironmentVariable("QOR_BIN_DIR") + u"/Pkg_Qor12700.so"_s;
    QLibrary library(path);
    ASSERT_TRUE(library.load()) << library.errorString().toStdString();
    auto iniProc = reinterpret_cast<bool (*)(const QVariant &)>(library.resolve("IniProc"));
    ASSERT_NE(iniProc, nullptr);
    QStringList reported;
    Application()->OnException = [&](const QString &message) {
        reported << message;
    };
    const bool opened = iniProc(QVariantList{u"0001"_s, u"000000000001"_s});
    Application()->OnException = nullptr;
    library.unload();
    EXPECT_FALSE(opened);
    const QString expected =
        u"Parâmetros da abertura da tela inválidos: esperavam-se 5 valores, vieram 2."_s;
    EXPECT_EQ(reported.join(u'\n').toStdString(), expected.toStdString());
}

// Only what the host looks up by name leaves the package: none of the screen's own code
// can stand in for, or be stood in for by, a same-named symbol of the host.
TEST(BuiltPackage, ExportsOnlyItsEntryPointsAndContext)
{
    const QString path = qEnvironmentVariable("QOR_BIN_DIR") + u"/Pkg_Qor12700.so"_s;
    QProcess nm;
    nm.start(u"nm"_s, {u"-D"_s, u"--defined-only"_s, u"--format=posix"_s, path});
    ASSERT_TRUE(nm.waitForFinished(60000));
    ASSERT_EQ(nm.exitCode(), 0) << nm.readAllStandardError().toStdString();
    // Not ours: the linker's markers of the sections' ends, AddressSanitizer's markers
    // beside each exported variable, and the weak copies of Qt's and the standard
    // library's inline functions that an unoptimised build keeps (their classes are
    // exported by those libraries, which decides their visibility).
    const QSet<QString> linkerMarkers{u"__bss_start"_s, u"_edata"_s, u"_end"_s};
    const QSet<QString> weakTypes{u"W"_s, u"w"_s, u"V"_s, u"v"_s, u"u"_s};
    QSet<QString> exported;
    const QStringList lines =
        QString::fromUtf8(nm.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const QString name = line.section(u' ', 0, 0);
        const QString type = line.section(u' ', 1, 1);
        const bool oursIfWeak = name.contains(u"3qor"_s); // in namespace qor, mangled
        if (linkerMarkers.contains(name) || name.startsWith(u"__odr_asan."_s)
            || (weakTypes.contains(type) && !oursIfWeak))
            continue;
        exported.insert(name);
    }
    const QSet<QString> expected{u"IniProc"_s,     u"QorPackageVersion"_s, u"frmPlanejaExerc"_s,
                                 u"stCdFilial"_s,  u"stCdPaciente"_s,      u"stNmPaciente"_s,
                                 u"dtIdadePaci"_s, u"dtConsulta"_s,        u"boIdCriado"_s,
                                 u"boPrimVez"_s};
    QStringList extra = (exported - expected).values();
    extra.sort();
    EXPECT_EQ(exported & expected, expected);
    EXPECT_TRUE(extra.isEmpty()) << extra.size() << " more, such as "
                                 << extra.mid(0, 5).join(u", "_s).toStdString();
}

} // namespace
} // namespace qor
