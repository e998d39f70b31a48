// The package as a library: counted unit initialization, the version text, and the
// exports the host finds by name in the built plugin.
#include "module/Cli_qor12700.h"
#include "module/version.h"

#include <QFile>
#include <QLibrary>
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

} // namespace
} // namespace qor
