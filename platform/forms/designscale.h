#pragma once

#include <QFont>
#include <QSize>

namespace qor {

// The forms' pixel sizes (a form's size, a grid column's width) were drawn for a font
// 13 px high whose characters are 5 px wide on average. Shown in a larger font, each size
// grows in the same proportion, width with the characters' width and height with the
// line height, so captions, codes and figures still fit; never below the drawn size.
int designWidth(int pixels, const QFont &font);
QSize designSize(QSize pixels, const QFont &font);

} // namespace qor
