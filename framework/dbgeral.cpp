#include "dbgeral.h"

#include "rtl/exceptions.h"
#include "sql/databaseuri.h"
#include "sql/sqlconnection.h"
#include "velmora.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>

using namespace Qt::StringLiterals;

namespace qor {

namespace {
QPointer<TdtmDBGeral> g_module;
int g_serial = 0;
} // namespace

TdtmDBGeral::TdtmDBGeral(QObject *parent)
    : QObject(parent)
    , m_connectionName(u"qor-dtmDBGeral-%1"_s.arg(++g_serial))
{ }

TdtmDBGeral::~TdtmDBGeral()
{
    Close();
    if (g_module == this)
        g_module = nullptr;
}

void TdtmDBGeral::Open()
{
    Open(CatalogueURI());
}

void TdtmDBGeral::Open(const QString &uri)
{
    Close();
    const DatabaseUri parsed = DatabaseUri::parse(uri); // raises on a malformed URI
    if (parsed.dialect == SqlDialect::SQLite) {
        // The default catalogue lives in a folder that may not exist yet.
        const QString folder = QFileInfo(parsed.path).absolutePath();
        if (!QDir().mkpath(folder))
            throw EDatabaseError(
                u"Não foi possível criar a pasta do banco de dados: %1"_s.arg(folder));
    }
    try {
        openDatabase(parsed, m_connectionName); // raises EDatabaseError with the reason
    } catch (...) {
        Close(); // no half-made connection left under our name
        // A database server not reachable yet (started after the host, the network down)
        // is tried again by the next query, as a dropped connection is.
        if (parsed.dialect != SqlDialect::SQLite)
            m_lostUri = uri;
        throw;
    }
    m_uri = uri;
}

void TdtmDBGeral::Close()
{
    m_uri.clear();
    m_lostUri.clear();
    if (!QSqlDatabase::contains(m_connectionName))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

bool TdtmDBGeral::Connected() const
{
    return QSqlDatabase::contains(m_connectionName)
        && QSqlDatabase::database(m_connectionName, false).isOpen();
}

QSqlDatabase TdtmDBGeral::Database() const
{
    if (!QSqlDatabase::contains(m_connectionName))
        return {};
    return QSqlDatabase::database(m_connectionName, false);
}

QSqlDatabase TdtmDBGeral::CurrentDatabase()
{
    // A database server's connection that was dropped (the server restarted, the session
    // ended by an administrator) reads as closed once a statement has failed on it.
    const bool dropped = QSqlDatabase::contains(m_connectionName) && !Connected();
    if (!m_lostUri.isEmpty() || dropped || (Connected() && !databaseFileInPlace(Database()))) {
        const QString uri = m_lostUri.isEmpty() ? m_uri : m_lostUri;
        Close();
        m_lostUri = uri;
        const DatabaseUri parsed = DatabaseUri::parse(uri);
        if (parsed.dialect == SqlDialect::SQLite && !QFileInfo::exists(parsed.path))
            throw EDatabaseError(
                u"O banco de dados do catálogo de exercícios não foi encontrado: %1"_s.arg(
                    parsed.path));
        try {
            Open(uri);
        } catch (...) {
            m_lostUri = uri; // tried again on the next call
            throw;
        }
    }
    return Database();
}

QString TdtmDBGeral::DriverName() const
{
    return Connected() ? Database().driverName() : QString();
}

TdtmDBGeral *dtmDBGeral()
{
    return g_module;
}

void SetDtmDBGeral(TdtmDBGeral *module)
{
    g_module = module;
}

} // namespace qor
