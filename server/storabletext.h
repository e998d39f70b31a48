#pragma once

#include <QChar>
#include <QStringView>

namespace qor {

// Whether a text a caller sent can be stored and looked up as it is: PostgreSQL refuses a
// NUL (and the driver would cut the statement at it), and a lone half of a surrogate pair
// would be kept as a replacement character, so the row would not hold what was sent.
inline bool storableText(QStringView text)
{
    return !text.contains(QChar(0)) && text.isValidUtf16();
}

// Whether a text written to a table is read back from either database exactly as sent:
// SQLite hands the noncharacters U+FFFE and U+FFFF back as U+FFFD, so a row holding one
// would show something else than was saved and could not be found by its values again.
inline bool readsBackAsWritten(QStringView text)
{
    return storableText(text) && !text.contains(QChar(0xFFFE)) && !text.contains(QChar(0xFFFF));
}

} // namespace qor
