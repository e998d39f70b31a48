#pragma once

#include <QColor>
#include <QPalette>

namespace qor {

// A control colour: either a fixed RGB value or a role of the application palette,
// resolved when the colour is applied (so clBtnFace follows the desktop theme).
class TColor
{
public:
    constexpr TColor() = default;
    constexpr TColor(QPalette::ColorRole role)
        : m_kind(Kind::Role)
        , m_value(unsigned(role))
    { }
    static constexpr TColor fromRgb(int r, int g, int b)
    {
        TColor c;
        c.m_kind = Kind::Rgb;
        c.m_value = 0xff000000u | (unsigned(r & 0xff) << 16) | (unsigned(g & 0xff) << 8)
            | unsigned(b & 0xff);
        return c;
    }

    bool IsDefault() const { return m_kind == Kind::Default; }
    bool IsSystem() const { return m_kind == Kind::Role; }
    QPalette::ColorRole Role() const { return QPalette::ColorRole(m_value); }
    // The colour it stands for now; for the default colour, an invalid QColor.
    QColor toQColor() const;

    constexpr bool operator==(const TColor &) const = default;

private:
    enum class Kind { Default, Role, Rgb };
    Kind m_kind = Kind::Default;
    unsigned m_value = 0;
};

inline constexpr TColor clDefault{};
inline constexpr TColor clInfoBk{QPalette::ToolTipBase};
inline constexpr TColor clBtnFace{QPalette::Button};
inline constexpr TColor clWindow{QPalette::Base};
inline constexpr TColor clWindowText{QPalette::Text};
inline constexpr TColor clHighlight{QPalette::Highlight};
inline constexpr TColor clBlack = TColor::fromRgb(0, 0, 0);
inline constexpr TColor clWhite = TColor::fromRgb(255, 255, 255);
inline constexpr TColor clBlue = TColor::fromRgb(0, 0, 255);
inline constexpr TColor clRed = TColor::fromRgb(255, 0, 0);
inline constexpr TColor clGreen = TColor::fromRgb(0, 128, 0);

} // namespace qor
