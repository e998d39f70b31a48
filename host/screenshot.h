#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class QWidget;

namespace qor {

class ConsoleDialogs;
class PackageLoader;

// Writes a PNG of a window once the package's screen has loaded (its first activation
// is over and the busy indicator is gone), then quits the application: 0 when written
// and no error was shown meanwhile, 1 otherwise, so a script learns that the screen did
// not come up as it should. Gives up waiting after a while and writes what is shown.
class ScreenshotWriter : public QObject
{
    Q_OBJECT
public:
    ScreenshotWriter(QWidget *window, const PackageLoader *package, const ConsoleDialogs *dialogs,
                     QString path, QObject *parent = nullptr);
    void start();

private:
    void poll();
    void write(bool timedOut);

    QWidget *m_window;
    const PackageLoader *m_package;
    const ConsoleDialogs *m_dialogs;
    QString m_path;
    QTimer m_timer;
    int m_ticks = 0;
    int m_settled = 0;
};

} // namespace qor
