#include "netconnection.h"

#include "remote/rpcclient.h"
#include "rtl/exceptions.h"
#include "velmora.h"

using namespace Qt::StringLiterals;

namespace qor {

QJsonObject TAppServer::Call(const QString &method, const QJsonArray &params)
{
    return m_connection->call(method, params);
}

TNetConnection::TNetConnection(QObject *parent)
    : QObject(parent)
    , m_client(new RpcClient(this))
{
    connect(m_client, &RpcClient::callStarted, this, [this] { ++m_callsSent; });
}

TNetConnection::~TNetConnection()
{
    // Quietly: no AfterDisconnect into an owner that is being destroyed.
    m_client->close();
}

bool TNetConnection::Connected() const
{
    return m_connected;
}

void TNetConnection::Open()
{
    if (m_connected)
        return;
    // One reading of the settings file for the whole opening, BeforeConnect's included.
    const SettingsSnapshot settings;
    if (BeforeConnect)
        BeforeConnect(this);
    // A mistyped port or TLS switch is said, not replaced by the default: that would
    // send the token to another port, or in clear.
    if (const QString problem = WebSettingsProblem(); !problem.isEmpty())
        throw Exception(problem);
    if (Port <= 0 || Port > 65535)
        throw Exception(u"Porta inválida para o servidor de aplicação: %1."_s.arg(Port));
    RpcClientOptions options;
    options.host = Host.trimmed().isEmpty() ? u"127.0.0.1"_s : Host.trimmed();
    options.port = quint16(Port);
    options.token = WebToken();
    // Said here, where the reason is known: the server would only call the token invalid.
    if (options.token.isEmpty())
        throw Exception(WebTokenProblem());
    options.tls = WebTls();
    options.caCertificate = WebCaFile();
    options.connectTimeoutMs = WebConnectTimeoutMs();
    options.callTimeoutMs = WebCallTimeoutMs();
    m_client->setOptions(options);
    m_client->open(); // raises with the transport's Portuguese message
    m_connected = true;
    if (AfterConnect)
        AfterConnect(this);
}

void TNetConnection::Close()
{
    if (!m_connected)
        return;
    m_connected = false;
    m_client->close();
    if (AfterDisconnect)
        AfterDisconnect(this);
}

QJsonObject TNetConnection::call(const QString &method, const QJsonArray &params)
{
    // A link the server dropped while the screen sat idle is opened anew here, through
    // BeforeConnect, not by the transport with the host, port and token of before.
    if (m_connected && !m_client->isOpen()) {
        m_connected = false;
        m_client->close();
    }
    Open();
    try {
        return m_client->call(method, params);
    } catch (...) {
        // The link is in doubt: drop it, so the next call connects anew through
        // BeforeConnect (the settings may have changed meanwhile).
        m_connected = false;
        m_client->close();
        throw;
    }
}

} // namespace qor
