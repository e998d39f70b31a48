#include "buttonflat.h"

namespace qor {

TButtonFlat::TButtonFlat(QWidget *parent)
    : TSpeedButton(parent)
{ }

} // namespace qor
