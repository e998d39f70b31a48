#include "forms/keys.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor {
namespace {

// Composed text is typed one key per character: a character beyond 16 bits must reach
// the key filter whole, and a broken pair must not swallow its neighbour.
TEST(Characters, SplitsTextAsItsKeysTypeIt)
{
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80"); // U+1F600, a surrogate pair
    const QChar high = emoji.at(0);
    const QChar low = emoji.at(1);
    struct Case
    {
        const char *name;
        QString text;
        QStringList expected;
    };
    const Case cases[] = {
        {"empty", QString(), {}},
        {"digits", u"0130"_s, {u"0"_s, u"1"_s, u"3"_s, u"0"_s}},
        {"accented", u"ã,é"_s, {u"ã"_s, u","_s, u"é"_s}},
        {"pair between letters", u"a"_s + emoji + u"b"_s, {u"a"_s, emoji, u"b"_s}},
        {"high surrogate at the end", u"1"_s + high, {u"1"_s, QString(high)}},
        {"low surrogate first", QString(low) + u"2"_s, {QString(low), u"2"_s}},
        {"two highs then a low", QString(high) + high + low, {QString(high), emoji}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(characters(c.text), c.expected);
    }
}

} // namespace
} // namespace qor
