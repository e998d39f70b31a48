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
        throw;
    }
    m_uri = uri;
}

void TdtmDBGeral::Close()
{
    m_uri.clear();
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
