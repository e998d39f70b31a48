// qor-server: hosts the plan service rdmPlanejaExerc over framed JSON-RPC.
#include "calllog.h"
#include "demodata.h"
#include "migrations.h"
#include "planservice.h"
#include "remote/rpcserver.h"
#include "rtl/arguments.h"
#include "rtl/exceptions.h"
#include "serveroptions.h"
#include "signalwatcher.h"
#include "sql/sqlconnection.h"
#include "tlskeycheck.h"
#include "tokenfile.h"

#include <QCoreApplication>
#include <QDate>
#include <QRegularExpression>
#include <csignal>
#include <cstdio>

using namespace Qt::StringLiterals;
using namespace qor;

namespace {

void logLine(const QString &text)
{
    const QByteArray line = text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
}

// An argument that is not UTF-8 would name another file: the server would make and serve a
// new, empty database, or a new token, beside the clinic's own. Shown in the log without a
// database address's user and password.
QString unreadableArgumentShown(int argc, char **argv)
{
    static const QRegularExpression credentials(u"://[^/]*@"_s);
    return unreadableArgument(argc, argv).replace(credentials, u"://***@"_s);
}

// Schema up to date and, when asked and the database is empty, the demo data; on
// this thread's own connection, closed afterwards (the workers open theirs).
void prepareDatabase(const ServerOptions &options)
{
    {
        const QSqlDatabase db = threadDatabase(options.database);
        const int version = migrateSchema(db);
        logLine(
            u"qor-server: banco %1, esquema na versão %2"_s.arg(options.database.toDisplayString())
                .arg(version));
        if (options.demo) {
            const QDate today = QDate::currentDate();
            if (seedDemoData(db, today))
                logLine(u"qor-server: dados de demonstração criados, consulta de %1"_s.arg(
                    today.toString(Qt::ISODate)));
            else
                logLine(u"qor-server: o banco já tem dados; demonstração não criada"_s);
        }
    }
    closeThreadDatabase(options.database); // no copy of the connection may be left
}

} // namespace

int main(int argc, char **argv)
{
    // Qt's own event loop wakes a worker faster than GLib's, and the server has no use for
    // GLib; an explicit setting in the environment still wins.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    // A write beyond the process's file-size limit must fail as a full disk does, with
    // the save reported as failed, rather than end the server by the default of SIGXFSZ.
    std::signal(SIGXFSZ, SIG_IGN);
    // Started through a pipe (`qor-server ... | head`, a closed terminal), the server
    // outlives what read its log: a log line nobody reads is lost, not the service.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    SignalWatcher signalWatcher; // before anything slow, so an early SIGTERM is not lost

    if (const QString unreadable = unreadableArgumentShown(argc, argv); !unreadable.isEmpty()) {
        logLine(
            u"qor-server: o argumento \"%1\" não está em UTF-8 (nome de arquivo ou pasta "
            u"gravado em outra codificação?); renomeie-o ou escreva-o em UTF-8."_s.arg(unreadable));
        return 2;
    }
    ServerOptions options;
    try {
        options = parseServerOptions(app.arguments().mid(1));
    } catch (const Exception &e) {
        logLine(u"qor-server: "_s + e.Message());
        return 2;
    }
    if (options.help) {
        // Help that a full disk or a closed pipe did not take was never shown.
        const QByteArray usage = serverUsage().toUtf8();
        if (std::fwrite(usage.constData(), 1, size_t(usage.size()), stdout) != size_t(usage.size())
            || std::fflush(stdout) != 0) {
            logLine(u"qor-server: não foi possível escrever na saída padrão."_s);
            return 1;
        }
        return 0;
    }

    RpcServerOptions rpc;
    try {
        prepareDatabase(options);
        QString warning;
        rpc.token = loadOrCreateToken(options.tokenFile, &warning);
        if (!warning.isEmpty())
            logLine(u"qor-server: "_s + warning);
        if (const QString exposed = tlsKeyExposure(options.tlsKey); !exposed.isEmpty())
            logLine(u"qor-server: "_s + exposed);
    } catch (const Exception &e) {
        logLine(u"qor-server: "_s + e.Message());
        return 1;
    }

    rpc.listenHost = options.listenHost;
    rpc.port = options.port;
    rpc.tlsCertificate = options.tlsCertificate;
    rpc.tlsKey = options.tlsKey;
    rpc.workers = options.workers;
    const PlanService service(options.database, logLine);
    RpcServer server(rpc, [&service](const QString &method, const QJsonArray &params) {
        return service.call(method, params);
    });
    QObject::connect(&server, &RpcServer::callFinished,
                     [](const QString &method, qint64 microseconds, bool ok, int errorCode) {
                         logLine(formatCallLog(method, microseconds, ok, errorCode));
                     });
    QObject::connect(&server, &RpcServer::acceptFailed, [](const QString &reason) {
        logLine(u"qor-server: não foi possível aceitar conexões (%1); novas tentativas em "
                u"seguida"_s.arg(reason));
    });
    QObject::connect(&signalWatcher, &SignalWatcher::stopRequested, &app, [&](int signalNumber) {
        logLine(u"qor-server: sinal %1 recebido; terminando as chamadas em andamento"_s.arg(
            signalNumber));
        server.shutdown(); // answers the calls in flight first
        app.quit();
    });

    QString error;
    if (!server.listen(&error)) {
        logLine(u"qor-server: "_s + error);
        return 1;
    }
    const QString host =
        options.listenHost.contains(u':') ? u"[%1]"_s.arg(options.listenHost) : options.listenHost;
    // Tests and scripts read the port from this line.
    std::printf("qor-server listening on %s:%u\n", host.toUtf8().constData(),
                unsigned(server.port()));
    std::fflush(stdout);

    const int status = app.exec();
    logLine(u"qor-server: encerrado"_s);
    return status;
}
