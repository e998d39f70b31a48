// Cells of an exported grid: quoted where the separator, a quote or a line break would
// break the line, and never read as a formula by a spreadsheet.
#include "framework/csvcell.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor {
namespace {

TEST(CsvCell, QuotesWhatWouldBreakTheLineAndDisarmsFormulas)
{
    const struct
    {
        const char *name;
        QString text;
        QString cell;
    } cases[] = {
        {"plain", u"Caminhada"_s, u"Caminhada"_s},
        {"empty", QString(), QString()},
        {"separator", u"Ciclismo; lazer"_s, u"\"Ciclismo; lazer\""_s},
        {"quote", u"Caminhada \"rápida\""_s, u"\"Caminhada \"\"rápida\"\"\""_s},
        {"line break", u"linha\numa"_s, u"\"linha\numa\""_s},
        {"formula", u"=HYPERLINK(\"http://x\")"_s, u"\"'=HYPERLINK(\"\"http://x\"\")\""_s},
        {"sum", u"=1+2"_s, u"'=1+2"_s},
        {"plus command", u"+cmd|' /C calc'!A0"_s, u"'+cmd|' /C calc'!A0"_s},
        {"minus formula", u"-2+3"_s, u"'-2+3"_s},
        {"at function", u"@SUM(A1)"_s, u"'@SUM(A1)"_s},
        {"leading tab", u"\t=1"_s, u"'\t=1"_s},
        {"leading carriage return", u"\r=1"_s, u"\"'\r=1\""_s},
        {"negative figure", u"-1.234,5"_s, u"-1.234,5"_s},
        {"signed figure", u"+0,250"_s, u"+0,250"_s},
        {"dash inside", u"Corrida - 8 km/h"_s, u"Corrida - 8 km/h"_s},
        {"lone dash", u"-"_s, u"'-"_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(csvCell(c.text), c.cell);
    }
}

} // namespace
} // namespace qor
