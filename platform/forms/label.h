#pragma once

#include "forms/control.h"

#include <QLabel>

namespace qor {

class TLabel : public QLabel, public TControl
{
    Q_OBJECT
public:
    explicit TLabel(QWidget *parent = nullptr);
    TLabel(const QString &caption, QWidget *parent = nullptr);

    QString Caption() const { return text(); }
    void SetCaption(const QString &caption) { setText(caption); }
    // Bold caption, as the total label shows.
    void SetBold(bool bold);
};

} // namespace qor
