#pragma once

#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QThread>

class QTcpServer;

namespace qor::testing {

// A relay on loopback between a workstation and qor-server that can keep one answer from
// the workstation: the request reaches the server, which carries it out (a save commits)
// and answers, and the workstation never gets that answer. It runs on a thread of its
// own, since the workstation's calls block the thread that makes them.
class AnswerDropper
{
public:
    enum class Loss {
        // The workstation's connection is closed where the answer would have gone: the
        // link dropped after the server committed.
        CloseConnection,
        // The answer is held back until the workstation gives up waiting for it: the
        // call's time ran out while the server still finished.
        Withhold,
    };

    explicit AnswerDropper(quint16 serverPort);
    ~AnswerDropper();
    AnswerDropper(const AnswerDropper &) = delete;
    AnswerDropper &operator=(const AnswerDropper &) = delete;

    // Where the workstation connects instead of the server; 0 when it could not listen.
    quint16 port() const { return m_port; }

    // The next answer to a call of method, on any connection, is lost as said.
    void loseNextAnswerTo(const QString &method, Loss loss);
    // Calls of method passed on to the server so far.
    int forwarded(const QString &method) const;
    // Answers kept from the workstation so far, each as the server sent it.
    QList<QByteArray> lostAnswers() const;

private:
    QThread m_thread;
    QObject *m_context = nullptr; // lives in m_thread
    QTcpServer *m_listener = nullptr;
    quint16 m_port = 0;
    quint16 m_serverPort = 0;

    mutable QMutex m_mutex;
    QString m_armedMethod;
    Loss m_armedLoss = Loss::CloseConnection;
    QHash<QString, int> m_forwarded;
    QList<QByteArray> m_lost;

    friend class AnswerDropperLink;
    void accept();
};

} // namespace qor::testing
