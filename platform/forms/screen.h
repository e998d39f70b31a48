#pragma once

namespace qor {

enum TCursor { crDefault = 0, crArrow = -2, crHourGlass = -11 };

// The screen cursor. A property, not a stack: setting crHourGlass twice and crDefault
// once shows the default cursor again. Implemented with QGuiApplication's override
// cursor; only the override this object pushed is ever popped.
class TScreen
{
public:
    TCursor Cursor() const { return m_cursor; }
    void SetCursor(TCursor cursor);

private:
    TCursor m_cursor = crDefault;
    bool m_pushed = false;
};

TScreen *Screen();

} // namespace qor
