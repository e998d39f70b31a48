#pragma once

#include "forms/speedbutton.h"

namespace qor {

// The shared library's flat button: every button of the standard grid form's command
// bar and navigator is one. Like any speed button it does not take the focus, so an
// edit keeps its pending text until the command posts it.
class TButtonFlat : public TSpeedButton
{
    Q_OBJECT
public:
    explicit TButtonFlat(QWidget *parent = nullptr);
};

} // namespace qor
