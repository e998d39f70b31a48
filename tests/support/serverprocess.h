#pragma once

#include "remote/rpcclient.h"
#include "sql/databaseuri.h"

#include <QProcess>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace qor::testing {

enum class Backend { SQLite, PostgreSQL };

// A real qor-server process (QOR_BIN_DIR/qor-server) on an ephemeral loopback port
// over a fresh database: a temporary SQLite file, or a database qor_t_<random> created
// in the PostgreSQL cluster named by QOR_TEST_PG and dropped at the end.
class ServerProcess
{
public:
    struct Options
    {
        Backend backend = Backend::SQLite;
        bool demo = true;
        int workers = 4;
        QStringList extraArguments;
        int maxOpenFiles = 0; // when set, the server may hold no more descriptors
    };

    ServerProcess();
    explicit ServerProcess(Options options);
    ~ServerProcess(); // stops the server and drops the PostgreSQL database

    // Starts the server and waits for its "listening" line. A second start after
    // stop() uses the same database, token and port. On failure returns false with
    // the reason and the server's log in `error`.
    bool start(QString *error = nullptr);
    // SIGTERM, then waits for the process to end; returns its exit code (-1 if killed).
    int stop();
    bool isRunning() const;
    qint64 pid() const;

    QString host() const { return QStringLiteral("127.0.0.1"); }
    quint16 port() const { return m_port; }
    QString token() const { return m_token; }
    QString tokenFile() const;
    const DatabaseUri &database() const { return m_database; }
    QString databaseUri() const { return m_database.toString(); }
    Backend backend() const { return m_options.backend; }

    // Options for an RpcClient of this server (host, port, token).
    RpcClientOptions clientOptions() const;
    // An open, authenticated client.
    std::unique_ptr<RpcClient> connect() const;

    // A direct connection on the calling thread, to read back or break things.
    QSqlDatabase db();
    // Everything the server wrote to stderr so far.
    QString log() const;

    static bool postgresAvailable();
    static QString serverPath();

private:
    bool createDatabase(QString *error);
    void dropDatabase();

    Options m_options;
    QTemporaryDir m_dir;
    DatabaseUri m_database;
    DatabaseUri m_adminDatabase;
    bool m_databaseCreated = false;
    QString m_directConnection;
    std::unique_ptr<QProcess> m_process;
    quint16 m_port = 0;
    QString m_token;
};

QString backendName(Backend backend);

// Runs one statement on a connection of its own to uri, closed at once: making and
// dropping databases and roles in the cluster QOR_TEST_PG names. Raises as execSql does.
void runStatement(const DatabaseUri &uri, const QString &sql);

// Base of tests run on both backends; PostgreSQL is skipped when QOR_TEST_PG is unset.
class BackendTest : public ::testing::TestWithParam<Backend>
{
protected:
    void SetUp() override;
    // A qor-server on this test's backend, started; null (and the test failed, with
    // the server's log) when it could not start.
    std::unique_ptr<ServerProcess> startServer(ServerProcess::Options options = {});
};

std::string backendParamName(const ::testing::TestParamInfo<Backend> &info);

} // namespace qor::testing

// Runs every TEST_P of the suite on SQLite and on PostgreSQL.
#define QOR_INSTANTIATE_BACKENDS(suite)                                                            \
    INSTANTIATE_TEST_SUITE_P(                                                                      \
        Backends, suite,                                                                           \
        ::testing::Values(::qor::testing::Backend::SQLite, ::qor::testing::Backend::PostgreSQL),   \
        ::qor::testing::backendParamName)
