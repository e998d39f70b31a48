#include "forms/designscale.h"

#include <QFontMetrics>
#include <cmath>

namespace qor {

namespace {

constexpr double DrawnCharWidth = 5.0;
constexpr double DrawnLineHeight = 13.0;

int grown(int pixels, double ratio)
{
    return ratio > 1.0 ? int(std::lround(pixels * ratio)) : pixels;
}

} // namespace

int designWidth(int pixels, const QFont &font)
{
    return grown(pixels, QFontMetrics(font).averageCharWidth() / DrawnCharWidth);
}

QSize designSize(QSize pixels, const QFont &font)
{
    const QFontMetrics metrics(font);
    return {grown(pixels.width(), metrics.averageCharWidth() / DrawnCharWidth),
            grown(pixels.height(), metrics.height() / DrawnLineHeight)};
}

} // namespace qor
