// Edit masks in the screens' notation turned into QLineEdit input masks, and what a
// masked editor hands to the field after typing (as Qt's own line-edit tests do it:
// mask, keys typed, expected text).
#include "forms/editmask.h"

#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

struct MaskCase
{
    const char *name;
    QString editMask;
    QString qtMask;
    QString typed;
    QString fieldText;
};

void PrintTo(const MaskCase &c, std::ostream *os)
{
    *os << c.name;
}

class EditMask : public ::testing::TestWithParam<MaskCase>
{
};

TEST_P(EditMask, TranslatesAndDeliversTheTypedText)
{
    const MaskCase &c = GetParam();
    const TEditMask mask = parseEditMask(c.editMask);
    EXPECT_EQ(mask.qtMask, c.qtMask);
    EXPECT_EQ(toQtInputMask(c.editMask), c.qtMask);

    QLineEdit edit;
    edit.setInputMask(mask.qtMask);
    edit.setCursorPosition(0);
    QTest::keyClicks(&edit, c.typed);
    EXPECT_EQ(mask.qtMask.isEmpty() ? edit.text() : mask.fieldText(edit.displayText()),
              c.fieldText);
}

INSTANTIATE_TEST_SUITE_P(
    Masks, EditMask,
    ::testing::Values(
        // Required digits become optional, so a half-typed time still reaches the field.
        MaskCase{"TimeFull", u"00:00"_s, u"00:00; "_s, u"1234"_s, u"12:34"_s},
        MaskCase{"TimeOneDigit", u"00:00"_s, u"00:00; "_s, u"1"_s, u"1 :  "_s},
        MaskCase{"TimeLettersRefused", u"00:00"_s, u"00:00; "_s, u"a1b2"_s, u"12:  "_s},
        MaskCase{"DateWithSeparators", u"!99/99/0000;1;_"_s, u"00/00/0000; "_s, u"01022024"_s,
                 u"01/02/2024"_s},
        MaskCase{"LiteralsNotSaved", u"00:00;0;_"_s, u"00:00; "_s, u"0930"_s, u"0930"_s},
        MaskCase{"LiteralsNotSavedHalfTyped", u"00:00;0;_"_s, u"00:00; "_s, u"9"_s, u"9   "_s},
        MaskCase{"UpperLetters", u">LL-00"_s, u">aa-00; "_s, u"sp12"_s, u"SP-12"_s},
        MaskCase{"LowerLetters", u"<LL"_s, u"<aa; "_s, u"SP"_s, u"sp"_s},
        // "<>" ends a case conversion: the letters after it stay as typed.
        MaskCase{"CaseConversionEnded", u">L<>LL"_s, u">a!aa; "_s, u"aBc"_s, u"ABc"_s},
        // Qt's own mask characters typed as literals stay literals.
        MaskCase{"QtMetaAsLiteral", u"\\A0"_s, u"\\A0; "_s, u"7"_s, u"A7"_s},
        MaskCase{"HexLettersAreLiterals", u"H0"_s, u"\\H0; "_s, u"5"_s, u"H5"_s},
        MaskCase{"BlankLiteral", u"0_0"_s, u"0 0; "_s, u"12"_s, u"1 2"_s},
        MaskCase{"NoMask", QString(), QString(), u"livre"_s, u"livre"_s}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace qor::testing
