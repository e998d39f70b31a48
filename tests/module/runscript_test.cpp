// ./run.sh as a user runs it: twice at once, each run's host talking to its own real
// qor-server and neither run's server log lost to the other; from wherever the tree and
// the user are; with a display that does not answer, and with one that answers however
// its name is written. The script runs in a copy of the tree whose build holds the built
// programs (its build step has nothing to do) and whose package step is empty (the
// packages are there: the programs were built).
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

bool writeFile(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}

// A copy of the tree at DIR that run.sh can run in.
void layOutTree(const QString &dir)
{
    const QString source = qEnvironmentVariable("QOR_SOURCE_DIR");
    const QString bin = qEnvironmentVariable("QOR_BIN_DIR");
    const QDir tree(dir);
    ASSERT_TRUE(tree.mkpath(u"scripts"_s));
    ASSERT_TRUE(QFile::copy(source + u"/run.sh"_s, tree.filePath(u"run.sh"_s)));
    ASSERT_TRUE(writeFile(tree.filePath(u"scripts/deps.sh"_s), "ensure_packages() { :; }\n"));
    ASSERT_TRUE(writeFile(tree.filePath(u"CMakeLists.txt"_s),
                          "cmake_minimum_required(VERSION 3.20)\nproject(demo NONE)\n"
                          "foreach(t qor-server qor-host Pkg_Qor12700)\n"
                          "  add_custom_target(${t})\nendforeach()\n"));
    ASSERT_TRUE(tree.mkpath(u"build/bin"_s));
    for (const QString &program : {u"qor-server"_s, u"qor-host"_s})
        ASSERT_TRUE(QFile::link(bin + u"/"_s + program, tree.filePath(u"build/bin/"_s + program)));
}

// The environment of a run: a display, or none; QT_QPA_PLATFORM left out lets the host
// pick its platform as it would on the user's machine.
QProcessEnvironment runEnvironment(const QString &home, const QString &display, bool offscreen)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QOR_BUILD_DIR"_s, u"build"_s);
    env.insert(u"HOME"_s, home);
    if (offscreen)
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    else
        env.remove(u"QT_QPA_PLATFORM"_s);
    env.remove(u"WAYLAND_DISPLAY"_s);
    if (display.isEmpty())
        env.remove(u"DISPLAY"_s);
    else
        env.insert(u"DISPLAY"_s, display);
    return env;
}

class RunScript : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tree.isValid());
        layOutTree(tree.path());
    }

    void TearDown() override
    {
        if (interactive && interactive->state() != QProcess::NotRunning) {
            // The whole group: the script, its host and its server.
            ::kill(-pid_t(interactive->processId()), SIGTERM);
            interactive->waitForFinished(60000);
        }
    }

    // A run of ./run.sh; with a display it keeps its host open until stopped.
    std::unique_ptr<QProcess> start(bool display)
    {
        auto run = std::make_unique<QProcess>();
        run->setProcessEnvironment(
            runEnvironment(tree.path(), display ? u":99"_s : QString(), true));
        run->setWorkingDirectory(tree.path());
        run->setChildProcessModifier([] { ::setsid(); });
        run->start(u"bash"_s, {tree.filePath(u"run.sh"_s)});
        return run;
    }

    // The listening line a run prints, waited for; empty when the run ended first.
    static QString listeningLine(QProcess &run, QByteArray &seen)
    {
        static const QRegularExpression line(u"qor-server listening on 127\\.0\\.0\\.1:\\d+"_s);
        for (;;) {
            const QRegularExpressionMatch match = line.match(QString::fromLocal8Bit(seen));
            if (match.hasMatch())
                return match.captured(0);
            // A safety net for a hung script, not a speed check.
            if (!run.waitForReadyRead(120000))
                return {};
            seen += run.readAllStandardOutput();
        }
    }

    QTemporaryDir tree;
    std::unique_ptr<QProcess> interactive;
};

TEST_F(RunScript, ASecondRunBesideAnOpenOneKeepsBothServersApart)
{
    interactive = start(true);
    interactive->setReadChannel(QProcess::StandardOutput);
    QByteArray firstOut;
    const QString first = listeningLine(*interactive, firstOut);
    ASSERT_FALSE(first.isEmpty()) << interactive->readAllStandardError().toStdString();

    const std::unique_ptr<QProcess> second = start(false);
    ASSERT_TRUE(second->waitForFinished(300000));
    const QString secondOut = QString::fromLocal8Bit(second->readAllStandardOutput());
    EXPECT_EQ(second->exitCode(), 0) << second->readAllStandardError().toStdString();
    EXPECT_TRUE(secondOut.contains(u"a janela foi gravada em"_s)) << secondOut.toStdString();
    EXPECT_FALSE(secondOut.contains(first)) << secondOut.toStdString();

    // The open run's server still has its log, with where it listens.
    bool kept = false;
    const QDir run(tree.filePath(u"run"_s));
    for (const QString &name : run.entryList({u"*.log"_s}, QDir::Files)) {
        QFile log(run.filePath(name));
        if (log.open(QIODevice::ReadOnly) && QString::fromLocal8Bit(log.readAll()).contains(first))
            kept = true;
    }
    EXPECT_TRUE(kept) << "no log in " << run.path().toStdString() << " holds "
                      << first.toStdString();
}

// Wherever the tree and the user are, and when the display named does not answer, a run
// opens the demo offscreen and says where its picture is.
TEST(RunScriptPlaces, RunFromWhereverTheTreeAndTheUserAre)
{
    enum class Via { Script, LinkToScript, LinkToTree };
    const struct
    {
        const char *name;
        const char *folder; // the tree's
        Via via;
        const char *display; // none when empty; the host then picks its own platform
        const char *wayland; // WAYLAND_DISPLAY, none when empty
        const char *said; // besides where the picture is
    } cases[] = {
        {"from another working directory", "tree", Via::Script, "", "", ""},
        {"a folder whose name has a comma", "demo, c\xc3\xb3pia", Via::Script, "", "", ""},
        {"through a link to run.sh in another folder", "tree", Via::LinkToScript, "", "", ""},
        {"through a link to the tree", "tree", Via::LinkToTree, "", "", ""},
        // One an ssh or tmux session left behind: no X server has this number.
        {"a display that does not answer", "tree", Via::Script, ":65431", "", ":65431"},
        // A desktop session left behind names its Wayland compositor as well.
        {"a Wayland display that does not answer", "tree", Via::Script, "", "wayland-9",
         "wayland-9"},
        {"Wayland and X displays that do not answer", "tree", Via::Script, ":65431", "wayland-9",
         ":65431"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir root;
        ASSERT_TRUE(root.isValid());
        const QString treeDir = root.filePath(QString::fromUtf8(c.folder));
        layOutTree(treeDir);
        if (::testing::Test::HasFatalFailure())
            return;
        const QDir rootDir(root.path());
        ASSERT_TRUE(rootDir.mkpath(u"elsewhere"_s));
        ASSERT_TRUE(rootDir.mkpath(u"bin"_s));
        QString script = treeDir + u"/run.sh"_s;
        const QString link = root.filePath(u"link"_s);
        if (c.via == Via::LinkToScript) {
            script = root.filePath(u"bin/qor-demo"_s);
            ASSERT_TRUE(QFile::link(treeDir + u"/run.sh"_s, script));
        } else if (c.via == Via::LinkToTree) {
            ASSERT_TRUE(QFile::link(treeDir, link));
            script = link + u"/run.sh"_s;
        }

        QProcess run;
        QProcessEnvironment env = runEnvironment(root.path(), QString::fromLatin1(c.display),
                                                 *c.display == '\0' && *c.wayland == '\0');
        if (*c.wayland != '\0') {
            // Where the compositor's socket would be, none being there.
            ASSERT_TRUE(rootDir.mkpath(u"runtime"_s));
            env.insert(u"XDG_RUNTIME_DIR"_s, root.filePath(u"runtime"_s));
            env.insert(u"WAYLAND_DISPLAY"_s, QString::fromLatin1(c.wayland));
        }
        run.setProcessEnvironment(env);
        run.setWorkingDirectory(root.filePath(u"elsewhere"_s));
        run.start(u"bash"_s, {script});
        ASSERT_TRUE(run.waitForFinished(300000));
        const QString out = QString::fromUtf8(run.readAllStandardOutput());
        const QString err = QString::fromUtf8(run.readAllStandardError());
        EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(run.exitCode(), 0) << err.toStdString();

        const QString picture = QFileInfo(treeDir).canonicalFilePath() + u"/run/screenshot.png"_s;
        EXPECT_TRUE(out.contains(u"a janela foi gravada em "_s + picture))
            << out.toStdString() << err.toStdString();
        EXPECT_GT(QFileInfo(picture).size(), 0);
        // A message the screen would have shown the user (a settings value cut short).
        EXPECT_FALSE(err.contains(u"qor-host: ["_s)) << err.toStdString();
        if (*c.said != '\0') {
            EXPECT_TRUE((out + err).contains(QString::fromLatin1(c.said))) << err.toStdString();
        }
        if (c.via == Via::LinkToTree) {
            // The build stays the tree's own: one made through the link is made anew, and
            // everything built again, by the next run from the tree itself.
            QFile makefile(treeDir + u"/build/Makefile"_s);
            ASSERT_TRUE(makefile.open(QIODevice::ReadOnly));
            EXPECT_FALSE(QString::fromUtf8(makefile.readAll()).contains(link));
        }
    }
}

// Whether this machine has the IPv6 loopback address (some containers do not).
bool hasIpv6Loopback()
{
    const int fd = ::socket(AF_INET6, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

// Every form the X library accepts for a display that answers opens the demo on it: read
// as one that does not answer, the run went offscreen and said the display did not answer.
TEST(RunScriptDisplays, ADisplayThatAnswersIsUsedInEveryFormItCanBeWritten)
{
    const QString xvfb = QStandardPaths::findExecutable(u"Xvfb"_s);
    if (xvfb.isEmpty())
        GTEST_SKIP() << "Xvfb is not installed";
    // A real X server on a free display number, reachable over TCP as well.
    QProcess server;
    server.start(xvfb, {u"-displayfd"_s, u"1"_s, u"-listen"_s, u"tcp"_s, u"-ac"_s});
    QByteArray numberText;
    // A safety net for a server that never starts, not a speed check.
    while (!numberText.contains('\n') && server.waitForReadyRead(60000))
        numberText += server.readAllStandardOutput();
    bool ok = false;
    const int number = numberText.trimmed().toInt(&ok);
    ASSERT_TRUE(ok) << server.readAllStandardError().toStdString();
    const QString n = QString::number(number);

    const bool ipv6 = hasIpv6Loopback();
    const struct
    {
        QString display;
        bool needsIpv6;
    } cases[] = {
        {u"localhost:"_s + n, false},
        {u"tcp/localhost:"_s + n + u".0"_s, false},
        {u"[::1]:"_s + n, true},
        {u"::1:"_s + n, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.display.toStdString());
        if (c.needsIpv6 && !ipv6)
            continue;
        QTemporaryDir root;
        ASSERT_TRUE(root.isValid());
        const QString treeDir = root.filePath(u"tree"_s);
        layOutTree(treeDir);
        if (::testing::Test::HasFatalFailure())
            return;
        // The real host, started through a script that first notes how it was started.
        const QString host = treeDir + u"/build/bin/qor-host"_s;
        const QString noted = root.filePath(u"host-arguments"_s);
        ASSERT_TRUE(QFile::remove(host));
        ASSERT_TRUE(
            writeFile(host,
                      "#!/bin/sh\nprintf '%s\\n' \"$@\" >\"" + noted.toUtf8() + ".part\" && mv \""
                          + noted.toUtf8() + ".part\" \"" + noted.toUtf8() + "\"\nexec \""
                          + qEnvironmentVariable("QOR_BIN_DIR").toUtf8() + "/qor-host\" \"$@\"\n"));
        ASSERT_TRUE(QFile::setPermissions(host, QFile::permissions(host) | QFileDevice::ExeOwner));

        QProcess run;
        run.setProcessEnvironment(runEnvironment(root.path(), c.display, false));
        run.setChildProcessModifier([] { ::setsid(); });
        run.start(u"bash"_s, {treeDir + u"/run.sh"_s});
        // Until the host is started (on the display, it then stays open until closed) or
        // the run ends; the limit is a safety net for a hung script, not a speed check.
        for (int i = 0; i < 3000 && !QFileInfo::exists(noted); ++i) {
            if (run.waitForFinished(100))
                break;
        }
        const QString arguments = [&] {
            QFile file(noted);
            return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        }();
        if (run.state() != QProcess::NotRunning) {
            // The whole group: the script, its host and its server.
            ::kill(-pid_t(run.processId()), SIGTERM);
            run.waitForFinished(60000);
        }
        const QString err = QString::fromUtf8(run.readAllStandardError());
        EXPECT_TRUE(arguments.contains(u"--filial"_s)) << err.toStdString();
        EXPECT_FALSE(arguments.contains(u"--screenshot"_s)) << err.toStdString();
        EXPECT_FALSE(err.contains(u"não responde"_s)) << err.toStdString();
    }
    server.terminate();
    server.waitForFinished(60000);
}

} // namespace
} // namespace qor::testing
