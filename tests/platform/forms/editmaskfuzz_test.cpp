// Generated edit masks, from a fixed seed, in a real QLineEdit: every mask gives Qt an
// input mask whose display positions match the literal map, so the field receives the
// typed characters without the literals when they are not saved.
#include "forms/editmask.h"

#include <QLineEdit>
#include <QRandomGenerator>
#include <QTest>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

// The screens' notation, Qt's own mask characters, escapes and look-alikes.
const char16_t MaskAlphabet[] = {u'0', u'9', u'#', u'L', u'l', u'A',   u'a',   u'C',  u'c',
                                 u':', u'/', u'_', u'!', u'>', u'<',   u'\\',  u'X',  u'x',
                                 u'N', u'H', u'h', u'B', u'b', u'D',   u'd',   u'[',  u']',
                                 u'{', u'}', u' ', u'-', u'1', 0x00E9, 0xD835, 0xDC9C};

TEST(EditMaskFuzz, LiteralMapMatchesWhatTheEditorShows)
{
    QRandomGenerator random(12700);
    int checked = 0;
    for (int round = 0; round < 3000; ++round) {
        QString editMask;
        for (int n = int(random.bounded(12)); n > 0; --n)
            editMask += QChar(MaskAlphabet[random.bounded(int(std::size(MaskAlphabet)))]);
        // Qt ends its mask at the first ';', escaped or not: a literal ';' has no place in
        // one, and the masks here never hold one.
        while (editMask.endsWith(u'\\'))
            editMask.chop(1);
        if (random.bounded(2))
            editMask += u";0;_"_s;
        SCOPED_TRACE(editMask.toStdString());
        const TEditMask mask = parseEditMask(editMask);
        if (mask.literalAt.isEmpty()) // no position at all: nothing to map
            continue;
        QLineEdit edit;
        edit.setInputMask(mask.qtMask);
        edit.setCursorPosition(0);
        QTest::keyClicks(&edit, u"1aZ9-"_s);
        const QString shown = edit.displayText();
        ASSERT_EQ(mask.literalAt.size(), shown.size()) << mask.qtMask.toStdString();
        QString expected;
        for (qsizetype i = 0; i < shown.size(); ++i) {
            if (mask.saveLiterals || !mask.literalAt.at(i))
                expected += shown.at(i);
        }
        EXPECT_EQ(mask.fieldText(shown), expected);
        ++checked;
    }
    EXPECT_GT(checked, 1000);
}

} // namespace
} // namespace qor::testing
