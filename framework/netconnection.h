#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <functional>

namespace qor {

class RpcClient;
class TNetConnection;

// The remote server object of a connection: methods are called by name with
// positional parameters.
class TAppServer
{
public:
    // Calls method with params and returns the raw result ({"ok":true,"data":...} or
    // {"ok":false,"error":{...}}), to be passed to CheckResultServ. A closed connection
    // is opened first (BeforeConnect runs). A transport failure (server gone, timeout)
    // raises Exception and leaves the connection closed, so the next call reconnects.
    QJsonObject Call(const QString &method, const QJsonArray &params);

private:
    friend class TNetConnection;
    explicit TAppServer(TNetConnection *connection)
        : m_connection(connection)
    { }
    TNetConnection *m_connection;
};

// Socket connection to the application server (JSON-RPC over TCP, TLS when the
// settings ask for it). Host and Port are what the connection will use; the owner
// usually sets them in BeforeConnect from WebURL and WebPort. The token, TLS and
// time-outs come from the settings each time it opens.
class TNetConnection : public QObject
{
    Q_OBJECT
public:
    explicit TNetConnection(QObject *parent = nullptr);
    ~TNetConnection() override;

    QString Host = QStringLiteral("127.0.0.1");
    int Port = 7400;
    QString ServerName; // the remote object, e.g. "QOR12700.rdmPlanejaExerc"
    QString ServerGUID; // its class identifier
    // Kept for the screens; failures always raise (the flag only documents intent).
    bool ThrowException = false;

    // Runs before every connection attempt, also the reconnection after a lost link.
    std::function<void(QObject *sender)> BeforeConnect;
    std::function<void(QObject *sender)> AfterConnect;
    std::function<void(QObject *sender)> AfterDisconnect;

    bool Connected() const;
    // Connects and authenticates; raises Exception with a Portuguese message on failure.
    // Opening an open connection does nothing.
    void Open();
    void Close();
    void SetConnected(bool connected) { connected ? Open() : Close(); }

    // The server object to call methods on; valid as long as the connection exists.
    TAppServer *AppServer() { return &m_appServer; }

    // The transport, for observers (RpcClient::callStarted counts calls).
    RpcClient *Client() const { return m_client; }

    // Calls sent so far (Authenticate not counted). A call that failed with the count
    // unchanged never went out: no connection could be made for it.
    quint64 CallsSent() const { return m_callsSent; }

private:
    friend class TAppServer;
    QJsonObject call(const QString &method, const QJsonArray &params);

    RpcClient *m_client;
    bool m_connected = false;
    quint64 m_callsSent = 0;
    TAppServer m_appServer{this};
};

} // namespace qor
