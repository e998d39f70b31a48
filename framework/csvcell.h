#pragma once

#include <QString>

namespace qor {

// One cell of an exported CSV line (';'-separated): quoted when it holds the separator,
// a quote or a line break. Text a spreadsheet would run as a formula (starting with
// '=', '+', '-', '@', a tab or a carriage return, and not a number) gets a leading
// apostrophe, so an exported name can never run anything on the reader's machine.
QString csvCell(const QString &text);

} // namespace qor
