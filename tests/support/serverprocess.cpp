#include "serverprocess.h"

#include "rtl/exceptions.h"
#include "sql/sqlconnection.h"
#include "sql/sqlquery.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSqlQuery>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace qor::testing {

namespace {

// Start-up and stop waits: generous, for a loaded machine under sanitizers.
constexpr int StartTimeoutMs = 60000;
constexpr int StopTimeoutMs = 60000;

QString randomSuffix()
{
    return QString::number(QRandomGenerator::global()->generate64(), 36);
}

} // namespace

ServerProcess::ServerProcess()
    : ServerProcess(Options{})
{ }

ServerProcess::ServerProcess(Options options)
    : m_options(std::move(options))
{ }

ServerProcess::~ServerProcess()
{
    if (isRunning())
        stop();
    if (!m_directConnection.isEmpty()) {
        QSqlDatabase::database(m_directConnection, false).close();
        QSqlDatabase::removeDatabase(m_directConnection);
    }
    dropDatabase();
}

QString ServerProcess::serverPath()
{
    const QString dir = qEnvironmentVariable("QOR_BIN_DIR");
    return (dir.isEmpty() ? u"."_s : dir) + u"/qor-server"_s;
}

bool ServerProcess::postgresAvailable()
{
    return !qEnvironmentVariableIsEmpty("QOR_TEST_PG");
}

QString ServerProcess::tokenFile() const
{
    return m_dir.filePath(u"qor-server.token"_s);
}

bool ServerProcess::createDatabase(QString *error)
{
    if (m_options.backend == Backend::SQLite) {
        m_database = DatabaseUri::parse(u"sqlite:"_s + m_dir.filePath(u"qor.db"_s));
        return true;
    }
    if (!postgresAvailable()) {
        *error = u"QOR_TEST_PG não definido"_s;
        return false;
    }
    try {
        m_adminDatabase = DatabaseUri::parse(qEnvironmentVariable("QOR_TEST_PG"));
        m_database = m_adminDatabase;
        m_database.database = u"qor_t_"_s + randomSuffix();
        runStatement(m_adminDatabase, u"CREATE DATABASE %1"_s.arg(m_database.database));
        m_databaseCreated = true;
        return true;
    } catch (const Exception &e) {
        *error = e.Message();
        return false;
    }
}

void ServerProcess::dropDatabase()
{
    if (!m_databaseCreated)
        return;
    m_databaseCreated = false;
    try {
        runStatement(m_adminDatabase,
                     u"DROP DATABASE IF EXISTS %1 WITH (FORCE)"_s.arg(m_database.database));
    } catch (const Exception &e) {
        ADD_FAILURE() << "could not drop " << m_database.database.toStdString() << ": "
                      << e.Message().toStdString();
    }
}

bool ServerProcess::start(QString *error)
{
    QString localError;
    QString &why = error ? *error : localError;
    if (isRunning()) {
        why = u"already running"_s;
        return false;
    }
    if (!m_dir.isValid()) {
        why = u"no temporary folder"_s;
        return false;
    }
    if (m_database.path.isEmpty() && m_database.database.isEmpty() && !createDatabase(&why))
        return false;

    QStringList arguments{u"--db"_s,         m_database.toString(),
                          u"--listen"_s,     u"127.0.0.1:%1"_s.arg(m_port),
                          u"--token-file"_s, tokenFile(),
                          u"--workers"_s,    QString::number(m_options.workers)};
    if (m_options.demo)
        arguments << u"--demo"_s;
    arguments << m_options.extraArguments;

    m_process = std::make_unique<QProcess>();
    // The log goes to a file: a pipe nobody reads during blocking calls would fill up.
    m_process->setStandardErrorFile(m_dir.filePath(u"server.log"_s), QIODevice::Append);
    if (const rlim_t limit = rlim_t(m_options.maxOpenFiles); limit > 0) {
        m_process->setChildProcessModifier([limit] {
            const rlimit descriptors{limit, limit};
            ::setrlimit(RLIMIT_NOFILE, &descriptors);
        });
    }
    m_process->start(serverPath(), arguments);
    if (!m_process->waitForStarted(StartTimeoutMs)) {
        why = u"cannot start %1: %2"_s.arg(serverPath(), m_process->errorString());
        return false;
    }

    static const QRegularExpression listening(u"^qor-server listening on (.+):(\\d+)$"_s);
    const QDeadlineTimer deadline(StartTimeoutMs);
    while (!deadline.hasExpired()) {
        if (!m_process->canReadLine()) {
            if (m_process->state() != QProcess::Running)
                break;
            m_process->waitForReadyRead(int(qMin<qint64>(deadline.remainingTime(), 1000)));
            continue;
        }
        const QString line = QString::fromUtf8(m_process->readLine()).trimmed();
        const auto match = listening.match(line);
        if (match.hasMatch()) {
            m_port = quint16(match.captured(2).toUInt());
            QFile file(tokenFile());
            if (file.open(QIODevice::ReadOnly))
                m_token = QString::fromUtf8(file.readAll()).trimmed();
            return true;
        }
    }
    why = u"qor-server did not start listening; its log:\n"_s + log();
    if (m_process->state() == QProcess::Running) {
        m_process->kill();
        m_process->waitForFinished(StopTimeoutMs);
    }
    return false;
}

int ServerProcess::stop()
{
    if (!m_process)
        return -1;
    if (m_process->state() == QProcess::Running) {
        m_process->terminate();
        if (!m_process->waitForFinished(StopTimeoutMs)) {
            m_process->kill();
            m_process->waitForFinished(StopTimeoutMs);
            return -1;
        }
    }
    return m_process->exitStatus() == QProcess::NormalExit ? m_process->exitCode() : -1;
}

bool ServerProcess::isRunning() const
{
    return m_process && m_process->state() != QProcess::NotRunning;
}

qint64 ServerProcess::pid() const
{
    return m_process ? m_process->processId() : 0;
}

RpcClientOptions ServerProcess::clientOptions() const
{
    RpcClientOptions options;
    options.host = host();
    options.port = m_port;
    options.token = m_token;
    return options;
}

std::unique_ptr<RpcClient> ServerProcess::connect() const
{
    auto client = std::make_unique<RpcClient>();
    client->setOptions(clientOptions());
    client->open();
    return client;
}

QSqlDatabase ServerProcess::db()
{
    if (m_directConnection.isEmpty()) {
        m_directConnection = u"qor-test-direct-"_s + randomSuffix();
        return openDatabase(m_database, m_directConnection);
    }
    return QSqlDatabase::database(m_directConnection);
}

QString ServerProcess::log() const
{
    QFile file(m_dir.filePath(u"server.log"_s));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

void runStatement(const DatabaseUri &uri, const QString &sql)
{
    const QString name = u"qor-test-statement-"_s + randomSuffix();
    // The connection is gone before its name is removed, also when the statement raises.
    const auto removeName = qScopeGuard([&name] { QSqlDatabase::removeDatabase(name); });
    QSqlDatabase db = openDatabase(uri, name);
    const auto closeIt = qScopeGuard([&db] {
        db.close();
        db = QSqlDatabase();
    });
    execSql(db, sql);
}

QString backendName(Backend backend)
{
    return backend == Backend::SQLite ? u"sqlite"_s : u"postgresql"_s;
}

void BackendTest::SetUp()
{
    if (GetParam() == Backend::PostgreSQL && !ServerProcess::postgresAvailable())
        GTEST_SKIP() << "QOR_TEST_PG is not set";
}

std::unique_ptr<ServerProcess> BackendTest::startServer(ServerProcess::Options options)
{
    options.backend = GetParam();
    auto server = std::make_unique<ServerProcess>(options);
    QString error;
    if (server->start(&error))
        return server;
    ADD_FAILURE() << "qor-server did not start: " << error.toStdString();
    return nullptr;
}

std::string backendParamName(const ::testing::TestParamInfo<Backend> &info)
{
    return backendName(info.param).toStdString();
}

} // namespace qor::testing
