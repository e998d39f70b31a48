// What ./run.sh and ./test.sh stand on, as a new machine meets it: scripts/deps.sh
// installing what is missing (the package tools are stand-ins that note how they were
// called: a test installs nothing), scripts/pgcluster.sh's throwaway cluster, and
// test.sh reached through a link.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

bool writeProgram(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size()
        && file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                               | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
                               | QFile::ExeOther);
}

struct Outcome
{
    int exitCode = -1;
    QString output; // standard output and error
};

Outcome runBash(const QString &script, const QStringList &arguments, const QProcessEnvironment &env,
                const QString &workingDirectory)
{
    QProcess bash;
    bash.setProcessEnvironment(env);
    bash.setWorkingDirectory(workingDirectory);
    bash.setProcessChannelMode(QProcess::MergedChannels);
    bash.start(u"/bin/bash"_s, QStringList{u"-c"_s, script, u"bash"_s} + arguments);
    // A safety net for a hung script, not a speed check.
    if (!bash.waitForFinished(600000))
        return {};
    return {bash.exitStatus() == QProcess::NormalExit ? bash.exitCode() : -1,
            QString::fromUtf8(bash.readAll())};
}

// A folder of stand-ins for the package tools, alone on PATH with the few real tools
// deps.sh uses: dpkg-query reports the packages in MISSING as not installed, id -u says
// USER_ID, apt-get notes each call in CALLS (with "sudo " before it when sudo ran it),
// and its update finds the package lists locked LOCKED times, or fails with UPDATE_FAILS.
class DepsScript : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        const QDir tools(dir.filePath(u"bin"_s));
        ASSERT_TRUE(QDir(dir.path()).mkpath(u"bin"_s));
        for (const char *real : {"env", "grep", "sleep", "cat"}) {
            const QString name = QString::fromLatin1(real);
            ASSERT_TRUE(QFile::link(u"/usr/bin/"_s + name, tools.filePath(name))
                        || QFile::link(u"/bin/"_s + name, tools.filePath(name)));
        }
        ASSERT_TRUE(writeProgram(tools.filePath(u"dpkg-query"_s),
                                 "#!/bin/sh\n"
                                 "for p; do :; done\n"
                                 "case \" $MISSING \" in *\" $p \"*) exit 1 ;; esac\n"
                                 "printf 'install ok installed'\n"));
        ASSERT_TRUE(writeProgram(tools.filePath(u"id"_s), "#!/bin/sh\necho \"$USER_ID\"\n"));
        ASSERT_TRUE(
            writeProgram(tools.filePath(u"apt-get"_s),
                         "#!/bin/sh\n"
                         "echo \"${VIA_SUDO:+sudo }apt-get $*\" >>\"$CALLS\"\n"
                         "case \" $* \" in *\" update \"*)\n"
                         "  if [ -n \"$UPDATE_FAILS\" ]; then\n"
                         "    echo \"E: Failed to fetch http://deb.debian.org/x\" >&2\n"
                         "    exit 100\n"
                         "  fi\n"
                         "  left=$(/bin/cat \"$LOCKED\")\n"
                         "  if [ \"$left\" -gt 0 ]; then\n"
                         "    echo $((left - 1)) >\"$LOCKED\"\n"
                         "    echo \"E: Could not get lock /var/lib/apt/lists/lock. "
                         "It is held by process 4242 (apt-get)\" >&2\n"
                         "    echo \"E: Unable to lock directory /var/lib/apt/lists/\" >&2\n"
                         "    exit 100\n"
                         "  fi ;;\n"
                         "esac\n"));
    }

    void addSudo()
    {
        ASSERT_TRUE(
            writeProgram(dir.filePath(u"bin/sudo"_s), "#!/bin/sh\nVIA_SUDO=1 exec \"$@\"\n"));
    }

    Outcome ensurePackages(const QString &missing, const QString &userId, int locked,
                           bool updateFails)
    {
        QFile lockedFile(dir.filePath(u"locked"_s));
        if (!lockedFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return {};
        lockedFile.write(QByteArray::number(locked) + '\n');
        lockedFile.close();
        QProcessEnvironment env;
        env.insert(u"PATH"_s, dir.filePath(u"bin"_s));
        env.insert(u"MISSING"_s, missing);
        env.insert(u"USER_ID"_s, userId);
        env.insert(u"CALLS"_s, dir.filePath(u"calls"_s));
        env.insert(u"LOCKED"_s, lockedFile.fileName());
        if (updateFails)
            env.insert(u"UPDATE_FAILS"_s, u"1"_s);
        return runBash(u"set -euo pipefail; source \"$1\"; ensure_packages"_s,
                       {qEnvironmentVariable("QOR_SOURCE_DIR") + u"/scripts/deps.sh"_s}, env,
                       dir.path());
    }

    QStringList calls() const
    {
        QFile file(dir.filePath(u"calls"_s));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir dir;
};

TEST_F(DepsScript, InstallWhatIsMissingOrSayHow)
{
    const struct
    {
        const char *name;
        const char *missing;
        const char *userId;
        bool sudo;
        int locked; // times the package lists are found locked
        bool updateFails;
        bool succeeds;
        QStringList calls; // apt-get's, each by its first words
        const char *said;
    } cases[] = {
        {"nothing missing", "", "1000", false, 0, false, true, {}, ""},
        {"as root",
         "locales",
         "0",
         false,
         0,
         false,
         true,
         {u"apt-get -o DPkg::Lock::Timeout=600 update"_s,
          u"apt-get -o DPkg::Lock::Timeout=600 install"_s},
         ""},
        {"a user, through sudo",
         "locales xauth",
         "1000",
         true,
         0,
         false,
         true,
         {u"sudo apt-get -o DPkg::Lock::Timeout=600 update"_s,
          u"sudo apt-get -o DPkg::Lock::Timeout=600 install"_s},
         ""},
        // Debian installed with a root password has no sudo: say what to run as root.
        {"a user, no sudo",
         "locales xauth",
         "1000",
         false,
         0,
         false,
         false,
         {},
         "root: apt-get install locales xauth"},
        // A newly booted machine's daily update holds the lists' lock for a while.
        {"the package lists locked a while",
         "locales",
         "0",
         false,
         1,
         false,
         true,
         {u"apt-get -o DPkg::Lock::Timeout=600 update"_s,
          u"apt-get -o DPkg::Lock::Timeout=600 update"_s,
          u"apt-get -o DPkg::Lock::Timeout=600 install"_s},
         "Aguardando"},
        {"the package lists out of reach",
         "locales",
         "0",
         false,
         0,
         true,
         false,
         {u"apt-get -o DPkg::Lock::Timeout=600 update"_s},
         "E: Failed to fetch"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(dir.filePath(u"calls"_s));
        QFile::remove(dir.filePath(u"bin/sudo"_s));
        if (c.sudo)
            addSudo();
        const Outcome outcome = ensurePackages(
            QString::fromLatin1(c.missing), QString::fromLatin1(c.userId), c.locked, c.updateFails);
        EXPECT_EQ(outcome.exitCode == 0, c.succeeds)
            << outcome.exitCode << ": " << outcome.output.toStdString();
        const QStringList made = calls();
        ASSERT_EQ(made.size(), c.calls.size()) << made.join(u'\n').toStdString();
        for (qsizetype i = 0; i < made.size(); ++i)
            EXPECT_TRUE(made[i].startsWith(c.calls[i])) << made[i].toStdString();
        if (!made.isEmpty() && made.last().contains(u" install "_s)) {
            EXPECT_TRUE(made.last().endsWith(u" "_s + QString::fromLatin1(c.missing)))
                << made.last().toStdString();
        }
        if (*c.said != '\0') {
            EXPECT_TRUE(outcome.output.contains(QString::fromLatin1(c.said)))
                << outcome.output.toStdString();
        }
    }
}

// A cluster started and then stopped takes its address with it: a later start in the same
// shell (or a ./test.sh run from it) would otherwise be told the stopped one was given.
TEST(PgClusterScript, StopTakesBackOnlyTheAddressItsStartMade)
{
    if (QDir(u"/usr/lib/postgresql"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty())
        GTEST_SKIP() << "PostgreSQL is not installed";
    const QString given = u"postgresql://postgres@127.0.0.1:1/given"_s;
    const struct
    {
        const char *name;
        QString before; // QOR_TEST_PG when the shell starts
        QString after;
    } cases[] = {
        {"a cluster of its own", {}, {}},
        {"a server given in QOR_TEST_PG", given, given},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(u"QOR_TEST_PG"_s);
        if (!c.before.isEmpty())
            env.insert(u"QOR_TEST_PG"_s, c.before);
        const Outcome outcome =
            runBash(u"source \"$1\" && start_pg_cluster && echo \"started=$QOR_TEST_PG\" && "
                    "stop_pg_cluster && echo \"after=${QOR_TEST_PG:-}\""_s,
                    {qEnvironmentVariable("QOR_SOURCE_DIR") + u"/scripts/pgcluster.sh"_s}, env,
                    QDir::tempPath());
        ASSERT_EQ(outcome.exitCode, 0) << outcome.output.toStdString();
        EXPECT_TRUE(outcome.output.contains(u"started=postgresql://"_s))
            << outcome.output.toStdString();
        EXPECT_TRUE(outcome.output.contains(u"\nafter="_s + c.after + u"\n"_s))
            << outcome.output.toStdString();
    }
}

// test.sh finds its scripts beside itself also through a link placed elsewhere: one with
// an unknown option gets as far as saying how it is used.
TEST(TestScript, ThroughALinkFindsItsScripts)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath(u"qor-tests"_s);
    ASSERT_TRUE(QFile::link(qEnvironmentVariable("QOR_SOURCE_DIR") + u"/test.sh"_s, link));
    const Outcome outcome = runBash(u"\"$1\" --no-such-option"_s, {link},
                                    QProcessEnvironment::systemEnvironment(), dir.path());
    EXPECT_EQ(outcome.exitCode, 2) << outcome.output.toStdString();
    EXPECT_TRUE(outcome.output.contains(u"Uso: ./test.sh [--sanitize]"_s))
        << outcome.output.toStdString();
}

} // namespace
} // namespace qor::testing
