// qor-server run as a service often is: with LANG=C, the POSIX locale or no locale at all,
// or in a language whose numbers swap "," and ".". Its Portuguese texts keep their
// accents in the log and on the wire, and files named with accents are the files used.
#include "planfixture.h"

#include "remote/rpcclient.h"
#include "support/madelocales.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <memory>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

struct SystemLocale
{
    const char *name;
    QStringList variables; // NAME=value, the whole locale environment of the server
};

QProcessEnvironment environmentWith(const QStringList &variables)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"LANG", "LANGUAGE", "LC_ALL", "LC_CTYPE", "LC_NUMERIC", "LC_MESSAGES"})
        env.remove(QString::fromLatin1(name));
    for (const QString &variable : variables)
        env.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
    return env;
}

// The port of the "listening" line, 0 when the server ended or never said it.
quint16 waitForListening(QProcess &process)
{
    const QRegularExpression listening(u"listening on 127\\.0\\.0\\.1:(\\d+)"_s);
    QByteArray out;
    // A safety net for a server that hangs, not a speed check.
    while (process.waitForReadyRead(60000)) {
        out += process.readAllStandardOutput();
        const auto match = listening.match(QString::fromUtf8(out));
        if (match.hasMatch())
            return quint16(match.captured(1).toUInt());
    }
    return 0;
}

void PrintTo(const SystemLocale &c, std::ostream *os)
{
    *os << c.name;
}

class ServerUnderSystemLocale : public ::testing::TestWithParam<SystemLocale>
{
protected:
    // The locales the cases name, made for the server: without them it would silently run
    // every case on the C locale.
    static void SetUpTestSuite()
    {
        locales = std::make_unique<QTemporaryDir>();
        made = makeLocales(locales->path(), {u"de_DE.UTF-8"_s, u"pt_BR.UTF-8"_s, u"en_US.UTF-8"_s});
    }
    static void TearDownTestSuite() { locales.reset(); }

    inline static std::unique_ptr<QTemporaryDir> locales;
    inline static bool made = false;
};

TEST_P(ServerUnderSystemLocale, KeepsAccentsInLogAndRepliesAndUsesFilesNamedWithThem)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(u"clínica São João"_s);
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString database = folder + u"/dados.db"_s;
    const QString tokenFile = folder + u"/chave de acesso.token"_s;

    ASSERT_TRUE(made) << "localedef could not make the locales (Debian's package locales)";
    QProcessEnvironment environment = environmentWith(GetParam().variables);
    environment.insert(u"LOCPATH"_s, locales->path());
    QProcess server;
    server.setProcessEnvironment(environment);
    server.start(ServerProcess::serverPath(),
                 {u"--db"_s, u"sqlite:"_s + database, u"--token-file"_s, tokenFile, u"--listen"_s,
                  u"127.0.0.1:0"_s, u"--demo"_s});
    const quint16 port = waitForListening(server);
    ASSERT_NE(port, 0) << server.readAllStandardError().toStdString();
    EXPECT_TRUE(QFile::exists(database));
    QFile token(tokenFile);
    ASSERT_TRUE(token.open(QIODevice::ReadOnly));

    RpcClientOptions options;
    options.host = u"127.0.0.1"_s;
    options.port = port;
    options.token = QString::fromUtf8(token.readAll()).trimmed();
    RpcClient client;
    client.setOptions(options);
    client.open();
    // A patient's name as stored, and a refusal as worded, both through the wire.
    const QJsonObject patient = client.call(u"GetPaciente"_s, {Branch, u"000000000002"_s});
    ASSERT_EQ(outcome(patient), "ok");
    EXPECT_TRUE(QJsonDocument(patient).toJson().contains("Jo\xC3\xA3o Pereira"));
    const QJsonObject refused = client.call(u"Exclusão"_s, {});
    EXPECT_EQ(refused.value(u"error"_s).toObject().value(u"message"_s).toString(),
              u"Método desconhecido: Exclusão."_s);
    client.close();

    server.terminate();
    ASSERT_TRUE(server.waitForFinished(60000));
    const QByteArray log = server.readAllStandardError();
    const QString text = QString::fromUtf8(log);
    EXPECT_TRUE(text.contains(u"banco sqlite:%1, esquema na versão"_s.arg(database)))
        << log.toStdString();
    EXPECT_TRUE(text.contains(u"dados de demonstração criados"_s)) << log.toStdString();
    EXPECT_FALSE(text.contains(QChar::ReplacementCharacter)) << log.toStdString();
    EXPECT_FALSE(log.contains('?')) << log.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Locales, ServerUnderSystemLocale,
    ::testing::Values(
        SystemLocale{"lang_c", {u"LANG=C"_s}}, SystemLocale{"lc_all_posix", {u"LC_ALL=POSIX"_s}},
        SystemLocale{"no_locale", {}}, SystemLocale{"german", {u"LANG=de_DE.UTF-8"_s}},
        SystemLocale{"us_numbers", {u"LANG=pt_BR.UTF-8"_s, u"LC_NUMERIC=en_US.UTF-8"_s}}),
    [](const auto &info) { return std::string(info.param.name); });

// A file or folder name written in another encoding (Latin-1 on a UTF-8 system) cannot
// be read back from the command line: taken as it decodes, it would name another file,
// and the server would make and serve a new, empty database beside the clinic's own.
struct UnreadableName
{
    const char *name;
    QString arguments; // for the shell; $D is the temporary folder, \351 is é in Latin-1
    QString mangled; // the file the server must not create
};

void PrintTo(const UnreadableName &c, std::ostream *os)
{
    *os << c.name;
}

class ServerArgumentEncoding : public ::testing::TestWithParam<UnreadableName>
{
};

TEST_P(ServerArgumentEncoding, RefusesANameItCannotReadInsteadOfServingAnotherFile)
{
    const UnreadableName &c = GetParam();
    QTemporaryDir dir;
    QProcess server;
    server.setProcessEnvironment(environmentWith({u"LANG=C"_s}));
    // QProcess writes its arguments in UTF-8: the shell's printf makes the Latin-1 bytes.
    server.start(u"/bin/sh"_s,
                 {u"-c"_s, u"D=\"$1\"; eval exec \"$0\" "_s + c.arguments,
                  ServerProcess::serverPath(), dir.path()});
    const quint16 port = waitForListening(server);
    EXPECT_EQ(port, 0) << "serving under a name it was not given";
    if (port != 0)
        server.kill();
    server.waitForFinished(60000); // false when it had already ended
    ASSERT_EQ(server.state(), QProcess::NotRunning);
    const QString log = QString::fromUtf8(server.readAllStandardError());
    if (port == 0) {
        EXPECT_EQ(server.exitCode(), 2) << log.toStdString();
    }
    EXPECT_TRUE(log.contains(u"não está em UTF-8"_s)) << log.toStdString();
    EXPECT_FALSE(log.contains(u"segredo"_s)) << log.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath(c.mangled)));
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Names, ServerArgumentEncoding,
    ::testing::Values(
        UnreadableName{"database",
                       uR"sh(--db "sqlite:$D/$(printf 'dados\351.db')" --listen 127.0.0.1:0 )sh"
                       uR"sh(--token-file "$D/t" --demo)sh"_s,
                       u"dados\uFFFD.db"_s},
        UnreadableName{"token_file",
                       uR"sh(--db "sqlite:$D/dados.db" --listen 127.0.0.1:0 )sh"
                       uR"sh(--token-file "$D/$(printf 'chave\351')")sh"_s,
                       u"chave\uFFFD"_s},
        // Named in the refusal, but not with the password it carries.
        UnreadableName{"password",
                       uR"sh(--db "postgresql://qor:$(printf 'segredo\351')@127.0.0.1:1/qor" )sh"
                       uR"sh(--listen 127.0.0.1:0 --token-file "$D/t")sh"_s,
                       u"segredo"_s}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace qor::testing
