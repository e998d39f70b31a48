#pragma once

#include "forms/control.h"

#include <QFrame>

class QLabel;

namespace qor {

// A container with a raised frame and an optional centred caption.
class TPanel : public QFrame, public TControl
{
    Q_OBJECT
public:
    explicit TPanel(QWidget *parent = nullptr);

    QString Caption() const;
    void SetCaption(const QString &caption);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QLabel *m_caption = nullptr;
};

} // namespace qor
