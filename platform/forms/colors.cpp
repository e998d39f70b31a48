#include "forms/colors.h"

#include <QGuiApplication>

namespace qor {

QColor TColor::toQColor() const
{
    switch (m_kind) {
    case Kind::Default:
        return {};
    case Kind::Role:
        return QGuiApplication::palette().color(QPalette::Active, Role());
    case Kind::Rgb:
        return QColor::fromRgba(m_value);
    }
    return {};
}

} // namespace qor
