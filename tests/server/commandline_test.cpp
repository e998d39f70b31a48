// qor-server's command line as a user meets it: refusals with a Portuguese reason and
// an exit code, help, and TLS when a certificate is given.
#include "planfixture.h"

#include "rtl/exceptions.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

struct Refusal
{
    const char *name;
    QStringList arguments; // "{dir}" is the temporary folder
    int exitCode;
    QString says; // on stderr, or on stdout for help
};

TEST(CommandLine, RefusesWhatItCannotServeAndSaysWhy)
{
    QTemporaryDir dir;
    QFile empty(dir.filePath(u"empty.token"_s));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    // Opening a named pipe would wait for a writer for good, SIGTERM or not.
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath(u"pipe.token"_s)).constData(), 0600), 0);
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost));
    const QString db = u"sqlite:{dir}/qor.db"_s;

    const QList<Refusal> cases{
        {"help", {u"--help"_s}, 0, u"--db URI"_s},
        {"unknown option", {u"--porta"_s, u"1"_s}, 2, u"Opção desconhecida: --porta"_s},
        {"bad listen address",
         {u"--listen"_s, u"localhost"_s},
         2,
         u"Endereço de escuta inválido"_s},
        {"folder that does not exist",
         {u"--db"_s, u"sqlite:{dir}/no/such/folder/qor.db"_s},
         1,
         u"Não foi possível abrir o banco de dados"_s},
        {"no database server",
         {u"--db"_s, u"postgresql://qor@127.0.0.1:1/qor"_s},
         1,
         u"Não foi possível abrir o banco de dados"_s},
        {"empty token file",
         {u"--db"_s, db, u"--token-file"_s, u"{dir}/empty.token"_s},
         1,
         u"está vazio"_s},
        {"token file that is a named pipe",
         {u"--db"_s, db, u"--token-file"_s, u"{dir}/pipe.token"_s},
         1,
         u"não é um arquivo comum"_s},
        {"token file it cannot create",
         {u"--db"_s, db, u"--token-file"_s, u"/proc/qor/token"_s},
         1,
         u"Não foi possível criar o arquivo de token"_s},
        {"port in use",
         {u"--db"_s, db, u"--token-file"_s, u"{dir}/t"_s, u"--listen"_s,
          u"127.0.0.1:%1"_s.arg(taken.serverPort())},
         1,
         u"Não foi possível escutar"_s},
    };
    for (const Refusal &c : cases) {
        SCOPED_TRACE(c.name);
        QStringList arguments;
        for (const QString &a : c.arguments)
            arguments.append(QString(a).replace(u"{dir}"_s, dir.path()));
        QProcess process;
        process.start(ServerProcess::serverPath(), arguments);
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), c.exitCode);
        const QString output = QString::fromUtf8(process.readAllStandardError())
            + QString::fromUtf8(process.readAllStandardOutput());
        EXPECT_TRUE(output.contains(c.says)) << output.toStdString();
        EXPECT_FALSE(output.contains(u"listening"_s)) << output.toStdString();
    }
}

// The system gives the server fewer threads than it was told to run (a memory limit set
// by the service manager or the shell, too many workers asked for): the start is refused
// with a Portuguese reason and an exit code, not ended by an abort and a core dump.
TEST(CommandLine, RefusesToStartWhenItCannotStartItsWorkers)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "a sanitized process reserves more address space than the limit set here";
#endif
    QTemporaryDir dir;
    QProcess process;
    // Threads of 256 MiB stacks in 512 MiB of address space: the first worker's fits
    // beside what the server has done until then, the second one's does not.
    process.setChildProcessModifier([] {
        const rlimit stack{rlim_t(256) << 20, rlim_t(256) << 20};
        ::setrlimit(RLIMIT_STACK, &stack);
        const rlimit addressSpace{rlim_t(512) << 20, rlim_t(512) << 20};
        ::setrlimit(RLIMIT_AS, &addressSpace);
    });
    process.start(ServerProcess::serverPath(),
                  {u"--db"_s, u"sqlite:"_s + dir.filePath(u"qor.db"_s), u"--token-file"_s,
                   dir.filePath(u"t"_s), u"--listen"_s, u"127.0.0.1:0"_s, u"--workers"_s, u"4"_s});
    ASSERT_TRUE(process.waitForFinished(60000));
    const QString output = QString::fromUtf8(process.readAllStandardError())
        + QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << output.toStdString();
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_TRUE(
        output.contains(u"Não foi possível iniciar os 4 workers do servidor de aplicação"_s))
        << output.toStdString();
    EXPECT_FALSE(output.contains(u"listening"_s)) << output.toStdString();
}

// Help that could not be written (its output a full disk) was never shown: the run must
// not end as a success that a script takes for the help given.
TEST(CommandLine, HelpItCannotWriteIsAFailure)
{
    if (!QFileInfo::exists(u"/dev/full"_s))
        GTEST_SKIP() << "no /dev/full here";
    QProcess process;
    process.setStandardOutputFile(u"/dev/full"_s);
    process.start(ServerProcess::serverPath(), {u"--help"_s});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 1);
    const QString said = QString::fromUtf8(process.readAllStandardError());
    EXPECT_TRUE(said.contains(u"não foi possível escrever na saída padrão"_s))
        << said.toStdString();
}

TEST(CommandLine, ServesOverTlsWithACertificate)
{
    const QString openssl = QStandardPaths::findExecutable(u"openssl"_s);
    if (openssl.isEmpty())
        GTEST_SKIP() << "openssl is not installed";
    QTemporaryDir dir;
    QProcess makeCertificate;
    makeCertificate.start(openssl,
                          {u"req"_s, u"-x509"_s, u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s,
                           u"ec_paramgen_curve:prime256v1"_s, u"-nodes"_s, u"-days"_s, u"2"_s,
                           u"-subj"_s, u"/CN=127.0.0.1"_s, u"-addext"_s,
                           u"subjectAltName=IP:127.0.0.1"_s, u"-keyout"_s,
                           dir.filePath(u"key.pem"_s), u"-out"_s, dir.filePath(u"cert.pem"_s)});
    ASSERT_TRUE(makeCertificate.waitForFinished(60000) && makeCertificate.exitCode() == 0);

    ServerProcess::Options options;
    options.extraArguments = {u"--tls-cert"_s, dir.filePath(u"cert.pem"_s), u"--tls-key"_s,
                              dir.filePath(u"key.pem"_s)};
    ServerProcess server(options);
    QString error;
    ASSERT_TRUE(server.start(&error)) << error.toStdString();

    RpcClientOptions tls = server.clientOptions();
    tls.tls = true;
    tls.caCertificate = dir.filePath(u"cert.pem"_s);
    RpcClient client;
    client.setOptions(tls);
    client.open();
    const QJsonObject result = client.call(u"GetPaciente"_s, {Branch, Maria});
    ASSERT_EQ(outcome(result), "ok");
    EXPECT_EQ(decodePacket(result.value(u"data"_s)).rows.size(), 1);

    // Plain text is not served on a TLS port.
    RpcClient plain;
    plain.setOptions(server.clientOptions());
    EXPECT_THROW(plain.open(), Exception);
}

// Started from a terminal through a pipe (`qor-server ... | head`, a closed ssh session) the
// server outlives whatever read its log: losing log lines must not end the service.
TEST(CommandLine, KeepsServingWhenNothingReadsItsLog)
{
    QTemporaryDir dir;
    // Its log goes into a pipe whose reading end is closed once it has started.
    int log[2];
    ASSERT_EQ(::pipe2(log, O_CLOEXEC), 0);
    QProcess process;
    process.setChildProcessModifier([&log] { ::dup2(log[1], STDERR_FILENO); });
    process.start(ServerProcess::serverPath(),
                  {u"--db"_s, u"sqlite:"_s + dir.filePath(u"qor.db"_s), u"--listen"_s,
                   u"127.0.0.1:0"_s, u"--token-file"_s, dir.filePath(u"token"_s), u"--demo"_s});
    ::close(log[0]);
    ::close(log[1]);
    const QRegularExpression listening(u"listening on 127\\.0\\.0\\.1:(\\d+)"_s);
    quint16 port = 0;
    while (port == 0) {
        ASSERT_TRUE(process.canReadLine() || process.waitForReadyRead(60000))
            << process.readAllStandardOutput().toStdString();
        const auto match = listening.match(QString::fromUtf8(process.readLine()));
        if (match.hasMatch())
            port = quint16(match.captured(1).toUInt());
    }

    QFile token(dir.filePath(u"token"_s));
    ASSERT_TRUE(token.open(QIODevice::ReadOnly));
    RpcClientOptions options;
    options.host = u"127.0.0.1"_s;
    options.port = port;
    options.token = QString::fromUtf8(token.readAll()).trimmed();
    for (int call = 0; call < 3; ++call) {
        SCOPED_TRACE(call);
        RpcClient client;
        client.setOptions(options);
        ASSERT_NO_THROW(client.open());
        EXPECT_EQ(outcome(client.call(u"GetPaciente"_s, {Branch, Maria})), "ok");
    }
    EXPECT_EQ(process.state(), QProcess::Running);
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
}

} // namespace
} // namespace qor::testing
