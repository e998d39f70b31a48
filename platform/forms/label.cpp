#include "forms/label.h"

namespace qor {

TLabel::TLabel(QWidget *parent)
    : QLabel(parent)
    , TControl(this, QPalette::Window, clDefault)
{ }

TLabel::TLabel(const QString &caption, QWidget *parent)
    : TLabel(parent)
{
    setText(caption);
}

void TLabel::SetBold(bool bold)
{
    QFont f = font();
    f.setBold(bold);
    setFont(f);
}

} // namespace qor
