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

} // namespace qor
