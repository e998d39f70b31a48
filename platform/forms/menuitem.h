#pragma once

#include <QAction>
#include <functional>

namespace qor {

// A menu command. Clicking it (or Click()) runs OnClick under the exception guard.
class TMenuItem : public QAction
{
    Q_OBJECT
public:
    explicit TMenuItem(QObject *parent = nullptr);
    TMenuItem(const QString &caption, QObject *parent = nullptr);

    QString Caption() const { return text(); }
    void SetCaption(const QString &caption) { setText(caption); }
    bool Enabled() const { return isEnabled(); }
    void SetEnabled(bool enabled) { setEnabled(enabled); }
    bool Visible() const { return isVisible(); }
    void SetVisible(bool visible) { setVisible(visible); }

    // Runs OnClick when enabled, as a user's click would (guarded).
    void Click();

    int Tag = 0;
    std::function<void(QObject *Sender)> OnClick;
};

} // namespace qor
