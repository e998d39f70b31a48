// Load client for qor-server: 1, 8 and 64 connections (each a thread with its own
// RpcClient) read a 20-row plan with GetPlaneja and run SetPlaneja insert-and-delete
// cycles, for a bounded number of calls. Beside them, the floors: the same SELECT run
// directly on the database from this process, and a bare loopback round trip; and, to
// tell where a call's time goes, the SELECT after an idle pause, a call that does no
// database work, GetPlaneja from a client that decodes nothing, and the plan's answer
// written and read as server and client do.
//
// On a new SQLite file, and also on a new database of a PostgreSQL cluster when one is
// named (by an administrator's URI, e.g. postgresql://postgres@127.0.0.1:5432/postgres).
//
//   bench_load [path/to/qor-server] [--calls N] [--cycles N] [--workers N]
//              [--postgresql ADMIN-URI]
#include "data/packet.h"
#include "planstore.h"
#include "remote/framing.h"
#include "remote/jsonrpc.h"
#include "remote/rpcclient.h"
#include "rtl/datetime.h"
#include "rtl/exceptions.h"
#include "sql/databaseuri.h"
#include "sql/sqlconnection.h"
#include "sql/sqldatetime.h"
#include "sql/sqldialect.h"
#include "sql/sqlquery.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;
using namespace qor;

namespace {

const QString Branch = u"0001"_s;
const QString Maria = u"000000000001"_s;

struct Percentiles
{
    double p50 = 0, p99 = 0; // microseconds
};

Percentiles percentiles(std::vector<double> samples)
{
    if (samples.empty())
        return {};
    std::sort(samples.begin(), samples.end());
    auto at = [&](double q) {
        return samples[std::min(samples.size() - 1, size_t(q * double(samples.size())))];
    };
    return {at(0.50), at(0.99)};
}

double microsecondsOf(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1000.0;
}

[[noreturn]] void die(const QString &message)
{
    std::fprintf(stderr, "bench_load: %s\n", message.toUtf8().constData());
    std::exit(1);
}

// The fields of a plan row as the screen sends them.
QList<TFieldDef> planFields()
{
    return {
        {u"CDFILIAL"_s, TFieldType::String, 4},     {u"CDPACIENTE"_s, TFieldType::String, 12},
        {u"DTCONSPACI"_s, TFieldType::DateTime, 0}, {u"CDEXERFISICO"_s, TFieldType::String, 6},
        {u"QTHREXERFISI"_s, TFieldType::Float, 0},  {u"DSEXERFISICO"_s, TFieldType::String, 100},
        {u"QTENERCONSPL"_s, TFieldType::Float, 0},  {u"QTENERCONS"_s, TFieldType::Float, 0}};
}

class Server
{
public:
    // On a new SQLite file in a temporary folder, or on `database` (empty) when given.
    Server(const QString &program, int workers, const std::optional<DatabaseUri> &database)
    {
        m_uri =
            database ? *database : DatabaseUri::parse(u"sqlite:"_s + m_dir.filePath(u"bench.db"_s));
        m_process.setStandardErrorFile(m_dir.filePath(u"server.log"_s));
        m_process.start(program,
                        {u"--db"_s, m_uri.toString(), u"--listen"_s, u"127.0.0.1:0"_s,
                         u"--token-file"_s, m_dir.filePath(u"token"_s), u"--demo"_s, u"--workers"_s,
                         QString::number(workers)});
        if (!m_process.waitForStarted())
            die(u"cannot start %1: %2"_s.arg(program, m_process.errorString()));
        static const QRegularExpression line(u"listening on .+:(\\d+)"_s);
        while (m_port == 0) {
            if (!m_process.canReadLine() && !m_process.waitForReadyRead(60000))
                die(u"qor-server did not start"_s);
            const auto match = line.match(QString::fromUtf8(m_process.readLine()));
            if (match.hasMatch())
                m_port = quint16(match.captured(1).toUInt());
        }
        QFile token(m_dir.filePath(u"token"_s));
        token.open(QIODevice::ReadOnly);
        m_token = QString::fromUtf8(token.readAll()).trimmed();
    }
    ~Server()
    {
        m_process.terminate();
        m_process.waitForFinished();
    }

    RpcClientOptions clientOptions() const
    {
        RpcClientOptions o;
        o.port = m_port;
        o.token = m_token;
        return o;
    }
    const DatabaseUri &uri() const { return m_uri; }

    // The handler durations the server logged for a method, in microseconds, in order.
    std::vector<double> loggedDurations(const QString &method) const
    {
        QFile log(m_dir.filePath(u"server.log"_s));
        log.open(QIODevice::ReadOnly);
        const QRegularExpression line(u"^qor-server: %1 ([0-9.]+) ms"_s.arg(method));
        std::vector<double> durations;
        for (const QByteArray &text : log.readAll().split('\n')) {
            const auto match = line.match(QString::fromUtf8(text));
            if (match.hasMatch())
                durations.push_back(match.captured(1).toDouble() * 1000.0);
        }
        return durations;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    DatabaseUri m_uri;
    quint16 m_port = 0;
    QString m_token;
};

// Brings the demo consultation's plan to 20 rows; returns its date.
TDateTime prepareTwentyRowPlan(const DatabaseUri &uri)
{
    QSqlDatabase db = threadDatabase(uri);
    SqlStatement date(db,
                      u"SELECT %1 FROM METOAVAL WHERE CDPACIENTE = ?"_s.arg(
                          selectDateTime(uri.dialect, u"DTCONSPACI"_s)));
    date.bind(Maria).exec();
    if (!date.next())
        die(u"demo consultation missing"_s);
    const TDateTime consulta = sqlTextToDateTime(date.value(0).toString());
    SqlStatement more(db,
                      u"INSERT INTO PLAEXERFISI (CDFILIAL, CDPACIENTE, DTCONSPACI, "
                      u"CDEXERFISICO, QTHREXERFISI, QTENERCONSPL) "
                      u"SELECT ?, ?, ?, CDEXERFISICO, 0.5, QTENERCONS FROM EXERFISICO "
                      u"WHERE CDEXERFISICO NOT IN (SELECT CDEXERFISICO FROM PLAEXERFISI) "
                      u"ORDER BY CDEXERFISICO LIMIT 17"_s);
    more.bind(Branch).bind(Maria).bind(TFieldType::DateTime, consulta).exec();
    return consulta;
}

// Floor 1: the plan's SELECT straight on the database, run by the server's own store, its
// rows read into a packet, back to back. With idleMicroseconds the thread sleeps that long
// before each run, as a server's worker does between one client's calls: not a floor,
// shown for comparison.
Percentiles directSelect(const DatabaseUri &uri, TDateTime consulta, int calls, int *rows,
                         int idleMicroseconds = 0)
{
    QSqlDatabase db = threadDatabase(uri);
    std::vector<double> samples;
    for (int i = 0; i < calls; ++i) {
        if (idleMicroseconds > 0)
            std::this_thread::sleep_for(std::chrono::microseconds(idleMicroseconds));
        QElapsedTimer timer;
        timer.start();
        const TDataPacket packet = PlanStore(db).planeja(Branch, consulta, Maria);
        samples.push_back(microsecondsOf(timer));
        *rows = int(packet.rows.size());
    }
    return percentiles(samples);
}

// Floor 2: a tiny echo over loopback TCP, request and reply of typical sizes. With
// holdMicroseconds the echo works (spins) that long before answering, as a handler would:
// not a floor, shown for what waiting costs the two ends on this machine.
Percentiles loopbackRoundTrip(int calls, int holdMicroseconds = 0)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    ::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof(address));
    ::listen(listener, 1);
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);

    constexpr size_t RequestBytes = 200;
    std::thread echo([listener, holdMicroseconds] {
        const int peer = ::accept(listener, nullptr, nullptr);
        char buffer[RequestBytes];
        for (;;) {
            size_t got = 0;
            while (got < RequestBytes) {
                const ssize_t n = ::read(peer, buffer + got, RequestBytes - got);
                if (n <= 0) {
                    ::close(peer);
                    return;
                }
                got += size_t(n);
            }
            const auto held = std::chrono::steady_clock::now();
            while (std::chrono::steady_clock::now() - held
                   < std::chrono::microseconds(holdMicroseconds)) { }
            if (::write(peer, buffer, RequestBytes) != ssize_t(RequestBytes))
                break;
        }
        ::close(peer);
    });

    const int client = ::socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    ::connect(client, reinterpret_cast<sockaddr *>(&address), sizeof(address));
    char buffer[RequestBytes] = {};
    std::vector<double> samples;
    for (int i = 0; i < calls; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (::write(client, buffer, RequestBytes) != ssize_t(RequestBytes))
            die(u"loopback write failed"_s);
        size_t got = 0;
        while (got < RequestBytes) {
            const ssize_t n = ::read(client, buffer + got, RequestBytes - got);
            if (n <= 0)
                die(u"loopback read failed"_s);
            got += size_t(n);
        }
        samples.push_back(microsecondsOf(timer));
    }
    ::close(client);
    echo.join();
    ::close(listener);
    return percentiles(samples);
}

// Not a floor either: a call through the whole stack that does no database work
// (authenticating again on the open connection), to tell transport from handler.
Percentiles emptyCalls(const Server &server, int calls)
{
    RpcClient client;
    const RpcClientOptions options = server.clientOptions();
    client.setOptions(options);
    client.open();
    std::vector<double> samples;
    for (int i = 0; i < calls; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!client.call(u"Authenticate"_s, {options.token}).value(u"ok"_s).toBool())
            die(u"authenticating again failed"_s);
        samples.push_back(microsecondsOf(timer));
    }
    return percentiles(samples);
}

// Not a floor: GetPlaneja from a client that only writes its request and reads the
// answer's frame on a blocking socket, without decoding it: the server and the loopback
// alone, to tell them from the client's share.
Percentiles bareSocketCalls(const Server &server, TDateTime consulta, int calls)
{
    const RpcClientOptions options = server.clientOptions();
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(options.port);
    const int one = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    if (::connect(socket, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0)
        die(u"bare socket: cannot connect"_s);
    FrameParser parser;
    auto exchange = [&](qint64 id, const QString &method, const QJsonArray &params) {
        const QByteArray frame = encodeFrame(encodeRequest(id, method, params));
        if (::write(socket, frame.constData(), size_t(frame.size())) != frame.size())
            die(u"bare socket: write failed"_s);
        QByteArray body;
        for (;;) {
            const FrameParser::Result next = parser.next(&body);
            if (next == FrameParser::Result::Message)
                break;
            char buffer[64 * 1024];
            const ssize_t n =
                next == FrameParser::Result::Error ? -1 : ::read(socket, buffer, sizeof(buffer));
            if (n <= 0)
                die(u"bare socket: no answer"_s);
            parser.feed(QByteArrayView(buffer, n));
        }
        // Checked as text, not decoded: decoding is the client's share this leaves out.
        if (!body.contains("\"ok\":true"))
            die(u"bare socket: %1 failed"_s.arg(method));
    };
    exchange(0, u"Authenticate"_s, {options.token});
    const QString date = encodeValue(TFieldType::DateTime, consulta).toString();
    std::vector<double> samples;
    for (int i = 1; i <= calls; ++i) {
        QElapsedTimer timer;
        timer.start();
        exchange(i, u"GetPlaneja"_s, {Branch, date, Maria});
        samples.push_back(microsecondsOf(timer));
    }
    ::close(socket);
    return percentiles(samples);
}

// Not floors: the plan's answer written as the server writes it (packet JSON and the
// reply around it), and read back as the client reads it, each back to back.
std::pair<Percentiles, Percentiles> answerCoding(const DatabaseUri &uri, TDateTime consulta,
                                                 int calls)
{
    const TDataPacket packet = PlanStore(threadDatabase(uri)).planeja(Branch, consulta, Maria);
    std::vector<double> writing, reading;
    for (int i = 0; i < calls; ++i) {
        QElapsedTimer timer;
        timer.start();
        const QByteArray reply = encodeRawResult(QJsonValue(i), encodePacketJson(packet));
        writing.push_back(microsecondsOf(timer));
        timer.restart();
        QJsonObject result;
        if (!decodeReply(reply, i, &result))
            die(u"the plan's answer does not read back"_s);
        reading.push_back(microsecondsOf(timer));
    }
    return {percentiles(writing), percentiles(reading)};
}

struct PhaseResult
{
    double callsPerSecond = 0;
    Percentiles read;
    Percentiles write;
    int failures = 0;
};

// `connections` threads share `calls` GetPlaneja calls, then `cycles` insert-and-delete
// cycles, each thread on a consultation of its own for the writes.
PhaseResult runPhase(const Server &server, TDateTime consulta, int connections, int calls,
                     int cycles)
{
    std::vector<std::vector<double>> reads(static_cast<size_t>(connections));
    std::vector<std::vector<double>> writes(static_cast<size_t>(connections));
    std::atomic<int> failures{0};
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    QElapsedTimer wall;
    std::vector<std::thread> threads;
    for (int t = 0; t < connections; ++t) {
        threads.emplace_back([&, t] {
            RpcClient client;
            client.setOptions(server.clientOptions());
            try {
                client.open();
            } catch (const Exception &) {
                ++failures;
            }
            ++ready;
            while (!go.load())
                std::this_thread::yield();
            const QString date = encodeValue(TFieldType::DateTime, consulta).toString();
            const int myCalls = calls / connections + (t < calls % connections ? 1 : 0);
            for (int i = 0; i < myCalls; ++i) {
                QElapsedTimer timer;
                timer.start();
                try {
                    const QJsonObject r = client.call(u"GetPlaneja"_s, {Branch, date, Maria});
                    if (!r.value(u"ok"_s).toBool())
                        ++failures;
                } catch (const Exception &) {
                    ++failures;
                }
                reads[size_t(t)].push_back(microsecondsOf(timer));
            }
        });
    }
    while (ready.load() < connections)
        std::this_thread::yield();
    wall.start();
    go = true;
    for (std::thread &t : threads)
        t.join();
    const double seconds = double(wall.nsecsElapsed()) / 1e9;

    // Writes: a separate pass, so the read figures are reads only.
    threads.clear();
    for (int t = 0; t < connections; ++t) {
        threads.emplace_back([&, t] {
            RpcClient client;
            client.setOptions(server.clientOptions());
            const TDateTime own = consulta + 1 + t; // a consultation of this thread's own
            const QVariantList row{Branch, Maria, own, u"012020"_s, 0.5, QString(), 7.0, 7.0};
            const QJsonObject insert = encodeDelta({planFields(), {{TChangeOp::Insert, {}, row}}});
            const QJsonObject remove = encodeDelta({planFields(), {{TChangeOp::Delete, row, {}}}});
            const int myCycles = cycles / connections + (t < cycles % connections ? 1 : 0);
            for (int i = 0; i < myCycles; ++i) {
                for (const QJsonObject &delta : {insert, remove}) {
                    QElapsedTimer timer;
                    timer.start();
                    try {
                        if (!client.call(u"SetPlaneja"_s, {delta}).value(u"ok"_s).toBool())
                            ++failures;
                    } catch (const Exception &) {
                        ++failures;
                    }
                    writes[size_t(t)].push_back(microsecondsOf(timer));
                }
            }
        });
    }
    for (std::thread &t : threads)
        t.join();

    std::vector<double> allReads, allWrites;
    for (const auto &v : reads)
        allReads.insert(allReads.end(), v.begin(), v.end());
    for (const auto &v : writes)
        allWrites.insert(allWrites.end(), v.begin(), v.end());
    return {double(allReads.size()) / seconds, percentiles(allReads), percentiles(allWrites),
            failures.load()};
}

// A throwaway database on a PostgreSQL cluster, dropped when it goes.
class PostgresDatabase
{
public:
    explicit PostgresDatabase(const QString &adminUri)
        : m_admin(DatabaseUri::parse(adminUri))
    {
        m_uri = m_admin;
        m_uri.database =
            u"qor_bench_"_s + QString::number(QRandomGenerator::global()->generate64(), 36);
        runAsAdmin(u"CREATE DATABASE %1"_s.arg(m_uri.database));
    }
    ~PostgresDatabase()
    {
        runAsAdmin(u"DROP DATABASE IF EXISTS %1 WITH (FORCE)"_s.arg(m_uri.database));
    }
    const DatabaseUri &uri() const { return m_uri; }

private:
    void runAsAdmin(const QString &sql) const
    {
        const QString name = u"bench-admin"_s;
        {
            QSqlDatabase admin = openDatabase(m_admin, name);
            execSql(admin, sql);
            admin.close();
        }
        QSqlDatabase::removeDatabase(name);
    }

    DatabaseUri m_admin;
    DatabaseUri m_uri;
};

struct Settings
{
    QString program;
    int calls = 4000;
    int cycles = 256;
    int workers = 4;
};

// Every figure for one database; database empty means a new SQLite file.
void runOn(const Settings &settings, const std::optional<DatabaseUri> &database)
{
    const Server server(settings.program, settings.workers, database);
    const TDateTime consulta = prepareTwentyRowPlan(server.uri());
    int rows = 0;
    const Percentiles select = directSelect(server.uri(), consulta, 2000, &rows);
    const Percentiles loopback = loopbackRoundTrip(2000);
    const double floor = select.p50 + loopback.p50;
    const Percentiles idleSelect = directSelect(server.uri(), consulta, 2000, &rows, 200);
    constexpr int Hold = 100;
    const Percentiles heldLoopback = loopbackRoundTrip(2000, Hold);
    const Percentiles empty = emptyCalls(server, 2000);
    const Percentiles bare = bareSocketCalls(server, consulta, 2000);
    const auto [answerWritten, answerRead] = answerCoding(server.uri(), consulta, 2000);
    std::printf("database: %s\n",
                server.uri().dialect == SqlDialect::SQLite ? "SQLite (a new file)"
                                                           : "PostgreSQL (a new database)");
    std::printf("plan rows: %d; server workers: %d; GetPlaneja calls per phase: %d; "
                "SetPlaneja insert+delete cycles per phase: %d\n",
                rows, settings.workers, settings.calls, settings.cycles);
    std::printf("floor: direct SELECT p50 %.1f us (p99 %.1f); loopback round trip p50 %.1f us "
                "(p99 %.1f); sum %.1f us\n",
                select.p50, select.p99, loopback.p50, loopback.p99, floor);
    std::printf("for comparison: the same SELECT after 200 us idle each time p50 %.1f us "
                "(p99 %.1f); a call without database work through the whole stack p50 %.1f us "
                "(p99 %.1f)\n",
                idleSelect.p50, idleSelect.p99, empty.p50, empty.p99);
    std::printf("and: GetPlaneja from a bare socket client that decodes nothing p50 %.1f us "
                "(p99 %.1f); the answer written as the server writes it p50 %.1f us, read as "
                "the client reads it p50 %.1f us\n",
                bare.p50, bare.p99, answerWritten.p50, answerRead.p50);
    std::printf("and: the loopback round trip with the answer held %d us by a busy echo p50 "
                "%.1f us, %.1f us over the hold: waking the two ends after they fell idle\n",
                Hold, heldLoopback.p50, heldLoopback.p50 - Hold);
    std::printf("%11s %10s %16s %16s %16s %16s %8s\n", "connections", "calls/s", "GetPlaneja p50",
                "GetPlaneja p99", "SetPlaneja p50", "SetPlaneja p99", "failures");

    double throughputOne = 0, throughputMany = 0, p50One = 0;
    Percentiles handlerOne;
    for (const int connections : {1, 8, 64}) {
        const size_t logged = server.loggedDurations(u"GetPlaneja"_s).size();
        const PhaseResult r =
            runPhase(server, consulta, connections, settings.calls, settings.cycles);
        if (connections == 1) {
            const std::vector<double> all = server.loggedDurations(u"GetPlaneja"_s);
            handlerOne =
                percentiles(std::vector<double>(all.begin() + qsizetype(logged), all.end()));
        }
        std::printf("%11d %10.0f %13.1f us %13.1f us %13.1f us %13.1f us %8d\n", connections,
                    r.callsPerSecond, r.read.p50, r.read.p99, r.write.p50, r.write.p99, r.failures);
        std::fflush(stdout);
        if (connections == 1) {
            throughputOne = r.callsPerSecond;
            p50One = r.read.p50;
        }
        if (connections == 64)
            throughputMany = r.callsPerSecond;
    }
    std::printf("GetPlaneja at 1 connection, inside the server's handler: p50 %.1f us, "
                "p99 %.1f us; the rest of the p50 is transport and thread hand-offs\n",
                handlerOne.p50, handlerOne.p99);
    const bool latencyOk = p50One <= 1.5 * floor;
    const bool scalingOk = throughputMany >= 1.6 * throughputOne;
    std::printf("target GetPlaneja p50 <= 1.5 x floor: %.1f us <= %.1f us: %s\n", p50One,
                1.5 * floor, latencyOk ? "met" : "NOT met");
    std::printf("target 64-connection throughput >= 1.6 x 1-connection: %.0f >= %.0f: %s\n",
                throughputMany, 1.6 * throughputOne, scalingOk ? "met" : "NOT met");
    std::fflush(stdout);
    closeThreadDatabase(server.uri());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Settings settings;
    settings.program = QCoreApplication::applicationDirPath() + u"/qor-server"_s;
    QString postgres;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == u"--calls"_s && i + 1 < args.size())
            settings.calls = args[++i].toInt();
        else if (args[i] == u"--cycles"_s && i + 1 < args.size())
            settings.cycles = args[++i].toInt();
        else if (args[i] == u"--workers"_s && i + 1 < args.size())
            settings.workers = args[++i].toInt();
        else if (args[i] == u"--postgresql"_s && i + 1 < args.size())
            postgres = args[++i];
        else
            settings.program = args[i];
    }
    try {
        runOn(settings, std::nullopt);
        if (!postgres.isEmpty()) {
            std::printf("\n");
            const PostgresDatabase database(postgres);
            runOn(settings, database.uri());
        }
    } catch (const Exception &e) {
        die(e.Message());
    }
    return 0;
}
