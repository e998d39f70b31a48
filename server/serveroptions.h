#pragma once

#include "sql/databaseuri.h"

#include <QString>
#include <QStringList>

namespace qor {

struct ServerOptions
{
    DatabaseUri database; // --db; default sqlite:qor.db
    QString listenHost = QStringLiteral("127.0.0.1");
    quint16 port = 7400; // 0: any free port
    QString tokenFile; // resolved: beside the SQLite file, or $XDG_DATA_HOME/qor/
    bool demo = false;
    QString tlsCertificate;
    QString tlsKey;
    int workers = 4;
    bool help = false;
};

// Reads qor-server's command line (arguments without the program name). Raises
// Exception with a Portuguese message on a bad option.
ServerOptions parseServerOptions(const QStringList &arguments);
QString serverUsage();

} // namespace qor
