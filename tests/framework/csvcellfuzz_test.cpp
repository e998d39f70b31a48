// Generated cell texts, from a fixed seed: every exported cell reads back, as a
// spreadsheet splits a ';'-separated line, to the text itself (behind an apostrophe
// when it would run as a formula), and never breaks the line it is on.
#include "framework/csvcell.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor {
namespace {

const char16_t Alphabet[] = {u'=', u'+', u'-', u'@', u'\t', u'\r', u'\n',  u';',   u'"',   u'\'',
                             u'1', u'.', u',', u'a', u' ',  u'\0', 0x00E7, 0xFF1D, 0xD835, 0xDC9C};

// One field of a CSV line from its start; the rest of the line after it.
QString readField(const QString &line, QString *rest)
{
    QString field;
    qsizetype i = 0;
    if (line.startsWith(u'"')) {
        for (i = 1; i < line.size(); ++i) {
            if (line.at(i) == u'"') {
                if (i + 1 < line.size() && line.at(i + 1) == u'"') {
                    field += u'"';
                    ++i;
                } else {
                    ++i;
                    break;
                }
            } else {
                field += line.at(i);
            }
        }
    } else {
        while (i < line.size() && line.at(i) != u';' && line.at(i) != u'\n' && line.at(i) != u'\r')
            field += line.at(i++);
    }
    *rest = line.mid(i);
    return field;
}

TEST(CsvCellFuzz, EveryCellReadsBackWholeAndAlone)
{
    QRandomGenerator random(440);
    for (int round = 0; round < 20000; ++round) {
        QString text;
        for (int n = int(random.bounded(8)); n > 0; --n)
            text += QChar(Alphabet[random.bounded(int(std::size(Alphabet)))]);
        SCOPED_TRACE(text.toStdString());
        const QString cell = csvCell(text);
        QString rest;
        const QString read = readField(cell + u";next"_s, &rest);
        EXPECT_EQ(rest, u";next"_s) << cell.toStdString();
        const bool disarmed = read.size() == text.size() + 1 && read.startsWith(u'\'');
        EXPECT_EQ(disarmed ? read.mid(1) : read, text) << cell.toStdString();
        // What a spreadsheet would take for a formula always carries the apostrophe.
        const QChar first = text.isEmpty() ? QChar() : text.front();
        if (first == u'=' || first == u'@' || first == u'\t' || first == u'\r') {
            EXPECT_TRUE(disarmed) << cell.toStdString();
        }
    }
}

} // namespace
} // namespace qor
