#include "showavi.h"

#include "forms/screen.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

// Twelve spokes, one brighter than the rest, turned by a timer: no movie file needed.
class Spinner : public QWidget
{
public:
    explicit Spinner(QWidget *parent)
        : QWidget(parent)
    {
        setFixedSize(32, 32);
        m_timer.setInterval(80);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            m_step = (m_step + 1) % 12;
            update();
        });
    }
    void start() { m_timer.start(); }
    void stop() { m_timer.stop(); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(width() / 2.0, height() / 2.0);
        const QColor base = palette().color(QPalette::WindowText);
        for (int i = 0; i < 12; ++i) {
            QColor color = base;
            color.setAlphaF(0.15f + 0.85f * float((i - m_step + 12) % 12) / 11.0f);
            painter.setPen(QPen(color, 3, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(QPointF(0, -7), QPointF(0, -14));
            painter.rotate(30);
        }
    }

private:
    QTimer m_timer;
    int m_step = 0;
};

class BusyWindow : public QWidget
{
public:
    BusyWindow()
        : QWidget(nullptr,
                  Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                      | Qt::WindowDoesNotAcceptFocus)
    {
        // Never take the focus: an edit losing it would run its exit handler in the
        // middle of the operation that shows us.
        setAttribute(Qt::WA_ShowWithoutActivating);
        setFocusPolicy(Qt::NoFocus);
        setAutoFillBackground(true);
        setObjectName(u"ShowAvi"_s);
        auto *layout = new QHBoxLayout(this);
        layout->setContentsMargins(16, 12, 20, 12);
        layout->setSpacing(12);
        spinner = new Spinner(this);
        caption = new QLabel(this);
        layout->addWidget(spinner);
        layout->addWidget(caption);
        setFixedSize(DrawnSize);
    }

    // The caption in the application's font as it is now, bold; the window is kept at its
    // drawn size unless a larger font needs more room, where the caption would be cut.
    void showCaption(const QString &text)
    {
        QFont font = QApplication::font();
        font.setBold(true);
        caption->setFont(font);
        caption->setText(text);
        layout()->activate();
        setFixedSize(DrawnSize.expandedTo(layout()->sizeHint()));
    }

    static constexpr QSize DrawnSize{220, 60};

    Spinner *spinner;
    QLabel *caption;
};

QPointer<BusyWindow> g_window;
QHash<int, int> g_counts;
int g_kind = -1;

QString captionFor(int kind)
{
    switch (kind) {
    case 0:
        return u"Carregando..."_s;
    case 1:
        return u"Gravando..."_s;
    case 6:
        return u"Verificando..."_s;
    default:
        return u"Aguarde..."_s;
    }
}

void destroyWindow()
{
    delete g_window.data();
}

BusyWindow *window()
{
    if (!g_window) {
        g_window = new BusyWindow;
        qAddPostRoutine(destroyWindow);
    }
    return g_window;
}

} // namespace

void ActiveShowAvi(QWidget *form, int kind)
{
    g_counts[kind] += 1;
    g_kind = kind;
    BusyWindow *busy = window();
    busy->showCaption(captionFor(kind));
    QRect area;
    if (form)
        area = QRect(form->window()->mapToGlobal(QPoint(0, 0)), form->window()->size());
    else if (QScreen *screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (area.isValid())
        busy->move(area.center() - QPoint(busy->width() / 2, busy->height() / 2));
    busy->show();
    busy->raise();
    busy->spinner->start();
    // Painted now: the caller blocks next, and no event loop would paint it later. A
    // window can be painted once the window system has exposed it; wait for that, a
    // short bounded while, letting through window-system events but no user input
    // (a click or key now would run a handler in the middle of the caller's work).
    QElapsedTimer waited;
    waited.start();
    while (busy->windowHandle() && !busy->windowHandle()->isExposed() && waited.elapsed() < 250)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    busy->repaint();
    Screen()->SetCursor(crHourGlass);
}

void DeactiveShowAvi()
{
    g_kind = -1;
    if (g_window && g_window->isVisible()) {
        g_window->spinner->stop();
        g_window->hide();
    }
    Screen()->SetCursor(crDefault);
}

bool ShowAviVisible()
{
    return g_window && g_window->isVisible();
}

int ShowAviKind()
{
    return ShowAviVisible() ? g_kind : -1;
}

int ShowAviCount(int kind)
{
    return g_counts.value(kind);
}

void ResetShowAviCounts()
{
    g_counts.clear();
}

QWidget *ShowAviWindow()
{
    return g_window;
}

} // namespace qor
