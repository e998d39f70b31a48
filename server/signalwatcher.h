#pragma once

#include <QObject>

class QSocketNotifier;

namespace qor {

// Turns SIGTERM and SIGINT into a Qt signal on the event loop (self-pipe): the
// handler only writes a byte, everything else runs on the watcher's thread.
class SignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

Q_SIGNALS:
    void stopRequested(int signalNumber);

private:
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
};

} // namespace qor
