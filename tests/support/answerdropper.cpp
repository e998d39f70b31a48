#include "answerdropper.h"

#include "remote/framing.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>

using namespace Qt::StringLiterals;

namespace qor::testing {

namespace {
// A safety net against a hung test, never a measure of speed.
constexpr int SafetyMs = 10000;
} // namespace

// One workstation connection and its own connection to the server. Requests go through
// as they come; answers go through frame by frame, so that one can be kept back whole.
class AnswerDropperLink : public QObject
{
public:
    AnswerDropperLink(AnswerDropper *relay, QTcpSocket *workstation)
        : m_relay(relay)
        , m_workstation(workstation)
    {
        setParent(relay->m_context);
        m_workstation->setParent(this);
        m_server->connectToHost(u"127.0.0.1"_s, relay->m_serverPort);
        if (!m_server->waitForConnected(SafetyMs)) {
            finish();
            return;
        }
        connect(m_workstation, &QTcpSocket::readyRead, this, [this] { fromWorkstation(); });
        connect(m_server, &QTcpSocket::readyRead, this, [this] { fromServer(); });
        connect(m_workstation, &QTcpSocket::disconnected, this, [this] { finish(); });
        connect(m_server, &QTcpSocket::disconnected, this, [this] {
            m_workstation->flush();
            finish();
        });
        fromWorkstation();
    }

private:
    void fromWorkstation()
    {
        const QByteArray bytes = m_workstation->readAll();
        m_server->write(bytes);
        m_requests.feed(bytes);
        QByteArray body;
        while (m_requests.next(&body) == FrameParser::Result::Message) {
            const QString method =
                QJsonDocument::fromJson(body).object().value(u"method"_s).toString();
            QMutexLocker locker(&m_relay->m_mutex);
            ++m_relay->m_forwarded[method];
            if (!m_relay->m_armedMethod.isEmpty() && method == m_relay->m_armedMethod) {
                m_relay->m_armedMethod.clear();
                m_loss = m_relay->m_armedLoss;
                m_loseNext = true;
            }
        }
    }

    void fromServer()
    {
        m_answers.feed(m_server->readAll());
        QByteArray body;
        while (m_answers.next(&body) == FrameParser::Result::Message) {
            if (!m_loseNext) {
                m_workstation->write(encodeFrame(body));
                continue;
            }
            m_loseNext = false;
            {
                QMutexLocker locker(&m_relay->m_mutex);
                m_relay->m_lost.append(body);
            }
            if (m_loss == AnswerDropper::Loss::CloseConnection) {
                finish();
                return;
            }
            // Withheld: nothing more goes through; the workstation gives up and closes.
            disconnect(m_server, &QTcpSocket::readyRead, this, nullptr);
            return;
        }
    }

    void finish()
    {
        if (m_finished)
            return;
        m_finished = true;
        m_workstation->abort();
        m_server->abort();
        deleteLater();
    }

    AnswerDropper *m_relay;
    QTcpSocket *m_workstation;
    QTcpSocket *m_server = new QTcpSocket(this);
    FrameParser m_requests;
    FrameParser m_answers;
    bool m_loseNext = false;
    AnswerDropper::Loss m_loss = AnswerDropper::Loss::CloseConnection;
    bool m_finished = false;
};

AnswerDropper::AnswerDropper(quint16 serverPort)
    : m_serverPort(serverPort)
{
    m_context = new QObject;
    m_context->moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(
        m_context,
        [this] {
            m_listener = new QTcpServer(m_context);
            QObject::connect(m_listener, &QTcpServer::newConnection, m_listener,
                             [this] { accept(); });
            if (m_listener->listen(QHostAddress::LocalHost, 0))
                m_port = m_listener->serverPort();
        },
        Qt::BlockingQueuedConnection);
}

AnswerDropper::~AnswerDropper()
{
    // The listener and the links are the context's children: gone on their own thread.
    QMetaObject::invokeMethod(
        m_context, [this] { qDeleteAll(m_context->children()); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_context;
}

void AnswerDropper::accept()
{
    while (QTcpSocket *workstation = m_listener->nextPendingConnection())
        new AnswerDropperLink(this, workstation);
}

void AnswerDropper::loseNextAnswerTo(const QString &method, Loss loss)
{
    QMutexLocker locker(&m_mutex);
    m_armedMethod = method;
    m_armedLoss = loss;
}

int AnswerDropper::forwarded(const QString &method) const
{
    QMutexLocker locker(&m_mutex);
    return m_forwarded.value(method);
}

QList<QByteArray> AnswerDropper::lostAnswers() const
{
    QMutexLocker locker(&m_mutex);
    return m_lost;
}

} // namespace qor::testing
