#include "forms/panel.h"

#include <QLabel>
#include <QResizeEvent>

namespace qor {

TPanel::TPanel(QWidget *parent)
    : QFrame(parent)
    , TControl(this, QPalette::Window, clBtnFace)
{
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Raised);
}

QString TPanel::Caption() const
{
    return m_caption ? m_caption->text() : QString();
}

void TPanel::SetCaption(const QString &caption)
{
    if (!m_caption) {
        // Behind any child control; the panel's own layout (if any) ignores it.
        m_caption = new QLabel(this);
        m_caption->setAlignment(Qt::AlignCenter);
        m_caption->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_caption->lower();
        m_caption->setGeometry(contentsRect());
        m_caption->show();
    }
    m_caption->setText(caption);
}

void TPanel::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    if (m_caption)
        m_caption->setGeometry(contentsRect());
}

} // namespace qor
