// The folders are layers, and a layer uses only the layers below it: read from the
// sources' own #include lines and from the libraries each built program needs.
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor {
namespace {

struct IncludeRule
{
    const char *folder;
    // The folders whose headers the folder may include ("forms" stands for
    // platform/forms, included as "forms/..."); a header of its own folder always may.
    QStringList below;
    // Headers of those folders that are still not for this one.
    QStringList refused;
};

// Every "dir/file.h" include of a folder's sources outside what its rule allows, as
// "file:line: header".
QStringList strayIncludes(const QString &root, const IncludeRule &rule)
{
    static const QRegularExpression include(u"^\\s*#\\s*include\\s*([\"<])([^\">]+)[\">]"_s);
    QStringList found;
    QDirIterator files(root + u'/' + QString::fromUtf8(rule.folder), {u"*.h"_s, u"*.cpp"_s},
                       QDir::Files);
    while (files.hasNext()) {
        const QString path = files.next();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            found << path + u": unreadable"_s;
            continue;
        }
        int lineNumber = 0;
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine());
            ++lineNumber;
            const QRegularExpressionMatch match = include.match(line);
            if (!match.hasMatch())
                continue;
            const bool ours = match.captured(1) == u"\""_s; // <...> is the system's or Qt's
            const QString header = match.captured(2);
            const QString top = header.section(u'/', 0, 0);
            const bool ownFolder =
                !header.contains(u'/') || QString::fromUtf8(rule.folder).section(u'/', -1) == top;
            const bool allowed = !ours || ownFolder || rule.below.contains(top);
            if (!allowed || rule.refused.contains(header))
                found << u"%1:%2: %3"_s.arg(path.mid(root.size() + 1)).arg(lineNumber).arg(header);
        }
    }
    return found;
}

TEST(Layers, EachFolderIncludesOnlyTheLayersBelowIt)
{
    const QString root = qEnvironmentVariable("QOR_SOURCE_DIR");
    ASSERT_FALSE(root.isEmpty());
    const QStringList core{u"rtl"_s, u"data"_s, u"remote"_s, u"sql"_s};
    const QStringList desktop = core + QStringList{u"forms"_s, u"framework"_s};
    // Qt headers that would bypass the screen's own ways to the server, the database and
    // the user.
    const QStringList bypasses{u"QMessageBox"_s,  u"QInputDialog"_s, u"QFileDialog"_s,
                               u"QSqlDatabase"_s, u"QSqlQuery"_s,    u"QTcpSocket"_s,
                               u"QSslSocket"_s};
    const IncludeRule rules[] = {
        {"platform/rtl", {}, {}},
        {"platform/data", {u"rtl"_s}, {}},
        {"platform/remote", {u"rtl"_s}, {}},
        {"platform/sql", {u"rtl"_s, u"data"_s}, {}},
        {"platform/forms", core, {}},
        {"framework", core + QStringList{u"forms"_s}, {}},
        {"catalogue", desktop, {}},
        {"service", desktop, {}},
        // The plan service only through service/, the database only through catalogue/,
        // dialogs only through the framework's routines; the screen context is the one
        // header of module/ it reads.
        {"screen",
         {u"rtl"_s, u"data"_s, u"forms"_s, u"framework"_s, u"service"_s, u"catalogue"_s,
          u"module"_s},
         QStringList{u"forms/dialogs.h"_s, u"module/version.h"_s} + bypasses},
        {"module", desktop + QStringList{u"screen"_s, u"service"_s, u"catalogue"_s}, {}},
        // The host finds the package by name at run time and never includes it.
        {"host", desktop, {}},
        {"server", core, {}},
    };
    for (const IncludeRule &rule : rules) {
        SCOPED_TRACE(rule.folder);
        const QStringList stray = strayIncludes(root, rule);
        EXPECT_TRUE(stray.isEmpty()) << stray.join(u'\n').toStdString();
    }
}

// The libraries a built file needs, as its dynamic section names them.
QStringList neededLibraries(const QString &path)
{
    QProcess readelf;
    readelf.start(u"readelf"_s, {u"-d"_s, u"-W"_s, path});
    if (!readelf.waitForFinished(60000) || readelf.exitCode() != 0)
        return {u"(readelf failed on %1)"_s.arg(path)};
    static const QRegularExpression needed(u"\\(NEEDED\\)\\s+Shared library: \\[([^\\]]+)\\]"_s);
    QStringList names;
    auto matches = needed.globalMatch(QString::fromUtf8(readelf.readAllStandardOutput()));
    while (matches.hasNext())
        names << matches.next().captured(1);
    return names;
}

TEST(Layers, TheServerAndTheCoreLibrariesNeedNoWidgets)
{
    const QString bin = qEnvironmentVariable("QOR_BIN_DIR");
    ASSERT_FALSE(bin.isEmpty());
    struct Case
    {
        const char *file;
        QStringList refused; // name prefixes of libraries it must not need
    };
    const QStringList widgets{u"libQt6Widgets"_s, u"libQt6Gui"_s, u"libqor_forms"_s,
                              u"libqor_framework"_s};
    const Case cases[] = {
        {"qor-server", widgets},
        {"libqor_rtl.so", widgets},
        {"libqor_data.so", widgets},
        {"libqor_remote.so", widgets},
        {"libqor_sql.so", widgets},
        // The host loads the package at run time; it is never linked.
        {"qor-host", {u"Pkg_Qor12700"_s}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        const QStringList needs = neededLibraries(bin + u'/' + QString::fromUtf8(c.file));
        ASSERT_FALSE(needs.isEmpty());
        for (const QString &library : needs) {
            for (const QString &prefix : c.refused)
                EXPECT_FALSE(library.startsWith(prefix)) << library.toStdString();
        }
    }
}

} // namespace
} // namespace qor
