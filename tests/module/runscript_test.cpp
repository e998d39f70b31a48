// ./run.sh as a user runs it, twice at once: each run's host talks to its own real
// qor-server, and neither run's server log is lost to the other. The script runs in a
// copy of the tree whose build holds the built programs (its build step has nothing to
// do) and whose package step is empty (the packages are there: the programs were built).
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

bool writeFile(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}

class RunScript : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tree.isValid());
        const QString source = qEnvironmentVariable("QOR_SOURCE_DIR");
        const QString bin = qEnvironmentVariable("QOR_BIN_DIR");
        ASSERT_TRUE(QFile::copy(source + u"/run.sh"_s, tree.filePath(u"run.sh"_s)));
        ASSERT_TRUE(QDir(tree.path()).mkpath(u"scripts"_s));
        ASSERT_TRUE(writeFile(tree.filePath(u"scripts/deps.sh"_s), "ensure_packages() { :; }\n"));
        ASSERT_TRUE(writeFile(tree.filePath(u"CMakeLists.txt"_s),
                              "cmake_minimum_required(VERSION 3.20)\nproject(demo NONE)\n"
                              "foreach(t qor-server qor-host Pkg_Qor12700)\n"
                              "  add_custom_target(${t})\nendforeach()\n"));
        ASSERT_TRUE(QDir(tree.path()).mkpath(u"build/bin"_s));
        for (const QString &program : {u"qor-server"_s, u"qor-host"_s})
            ASSERT_TRUE(
                QFile::link(bin + u"/"_s + program, tree.filePath(u"build/bin/"_s + program)));
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
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QOR_BUILD_DIR"_s, u"build"_s);
        env.insert(u"HOME"_s, tree.path());
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        env.remove(u"WAYLAND_DISPLAY"_s);
        if (display)
            env.insert(u"DISPLAY"_s, u":99"_s);
        else
            env.remove(u"DISPLAY"_s);
        run->setProcessEnvironment(env);
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

} // namespace
} // namespace qor::testing
