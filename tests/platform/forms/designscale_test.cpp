// Drawn pixel sizes on screen: they grow with a font larger than the one they were drawn
// for, so forms, grid columns and command bars still show whole captions and codes.
#include "formsfixture.h"

#include "forms/application.h"
#include "forms/column.h"
#include "forms/designscale.h"
#include "forms/form.h"
#include "forms/speedbutton.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

QFont fontOfPixels(int pixels)
{
    QFont font = QApplication::font();
    font.setPixelSize(pixels);
    return font;
}

struct ScaleCase
{
    const char *name;
    int pixels; // the font's pixel size
};

class DesignScale : public ::testing::TestWithParam<ScaleCase>
{
};

TEST_P(DesignScale, GrowsWithTheFontAndNeverShrinks)
{
    const QFont font = fontOfPixels(GetParam().pixels);
    const QFontMetrics metrics(font);
    const QSize drawn(565, 382);
    const QSize shown = designSize(drawn, font);
    EXPECT_EQ(shown.width(), designWidth(565, font));
    if (metrics.averageCharWidth() <= 5) {
        EXPECT_EQ(shown.width(), 565);
    } else {
        // In proportion to the characters' width, to the pixel.
        EXPECT_NEAR(shown.width(), 565.0 * metrics.averageCharWidth() / 5.0, 0.5);
    }
    if (metrics.height() <= 13)
        EXPECT_EQ(shown.height(), 382);
    else
        EXPECT_NEAR(shown.height(), 382.0 * metrics.height() / 13.0, 0.5);
    // A larger font never gets less room.
    const QFont larger = fontOfPixels(GetParam().pixels + 4);
    EXPECT_GE(designWidth(45, larger), designWidth(45, font));
    EXPECT_GE(designSize(drawn, larger).height(), shown.height());
}

INSTANTIATE_TEST_SUITE_P(Fonts, DesignScale,
                         ::testing::Values(ScaleCase{"Tiny", 6}, ScaleCase{"AsDrawn", 11},
                                           ScaleCase{"Default", 12}, ScaleCase{"Large", 20},
                                           ScaleCase{"Huge", 32}),
                         [](const auto &info) { return std::string(info.param.name); });

using ShownSizes = MdiTest;

TEST_F(ShownSizes, DrawnColumnWidthsGrowWithTheGridFontAndFieldWidthsAreKept)
{
    PlanData data;
    data.load({{u"002020"_s, u"Caminhada"_s, 1.0}});
    TDBGrid grid;
    grid.setFont(fontOfPixels(24));
    grid.SetDataSource(&data.source);
    TColumn *code = grid.Columns()->Add(u"CODE"_s);
    code->SetWidth(45);
    TColumn *name = grid.Columns()->Add(u"NAME"_s); // width from the field's size
    TColumn *hours = grid.Columns()->Add(u"HOURS"_s); // neither: the drawn fallback

    EXPECT_EQ(code->Width(), 45); // the drawn width is what the column keeps
    EXPECT_EQ(code->ShownWidth(), designWidth(45, grid.font()));
    EXPECT_GT(code->ShownWidth(), 45);
    EXPECT_EQ(grid.columnWidth(0), code->ShownWidth());
    EXPECT_EQ(name->ShownWidth(), name->Width());
    EXPECT_EQ(grid.columnWidth(1), name->Width());
    EXPECT_EQ(hours->Width(), 64);
    EXPECT_EQ(grid.columnWidth(2), designWidth(64, grid.font()));
    // The code is not cut: its text fits the cell with the view's margins.
    const int margins =
        2 * (grid.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &grid) + 1);
    EXPECT_LE(QFontMetrics(grid.font()).horizontalAdvance(u"002020"_s) + margins,
              grid.columnWidth(0));
}

TEST_F(ShownSizes, AShownFormGrowsWithItsFontAndGivesEveryButtonItsCaption)
{
    auto *form = Application()->CreateForm<TForm>();
    form->setFont(fontOfPixels(18));
    auto *bar = new QHBoxLayout(form);
    QList<TSpeedButton *> buttons;
    for (const QString &caption : {u"Confirmar"_s, u"Cancelar"_s, u"Incluir"_s, u"Alterar"_s,
                                   u"Excluir"_s, u"Localizar"_s, u"Exportar"_s, u"Verificar"_s}) {
        auto *button = new TSpeedButton(form);
        button->SetCaption(caption);
        bar->addWidget(button);
        buttons.append(button);
    }
    form->resize(300, 200);
    form->Show();
    ASSERT_NE(form->SubWindow(), nullptr);
    QApplication::processEvents();

    EXPECT_GE(form->width(), designWidth(300, form->font()));
    EXPECT_GE(form->height(), designSize(QSize(300, 200), form->font()).height());
    for (const TSpeedButton *button : buttons)
        EXPECT_GE(button->width(), button->sizeHint().width()) << button->Caption().toStdString();

    // Only the first showing: a size the user gives later stays.
    form->SubWindow()->resize(1200, 700);
    const QSize chosen = form->size();
    form->Show();
    EXPECT_EQ(form->size(), chosen);
}

// A form grown with a large font may come out larger than the main window's MDI area:
// it is then fitted into the area from its top-left corner, so that its edges, and the
// captions and totals along them, are not left outside the window.
TEST_F(ShownSizes, AFormGrownPastTheMdiAreaIsFittedIntoIt)
{
    struct Case
    {
        const char *name;
        int pixels;
        bool grows; // the grown form is larger than the area
    };
    const Case cases[] = {{"AsDrawn", 11, false}, {"Large", 24, true}, {"Huge", 30, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto *form = Application()->CreateForm<TForm>();
        form->setFont(fontOfPixels(c.pixels));
        auto *column = new QVBoxLayout(form);
        auto *top = new QLabel(u"Paciente"_s, form);
        auto *middle = new QTableView(form); // shrinks: it scrolls
        auto *bottom = new QLabel(u"Total Kcal/Dia"_s, form);
        column->addWidget(top);
        column->addWidget(middle, 1);
        column->addWidget(bottom);
        form->resize(565, 382);
        form->Show();
        ASSERT_NE(form->SubWindow(), nullptr);
        QApplication::processEvents();

        const QRect viewport = area->viewport()->rect();
        const QSize grown = designSize(QSize(565, 382), form->font());
        EXPECT_EQ(grown.width() > viewport.width() || grown.height() > viewport.height(), c.grows);
        EXPECT_TRUE(viewport.contains(form->SubWindow()->geometry()))
            << form->SubWindow()->geometry().x() << "," << form->SubWindow()->geometry().y() << " "
            << form->SubWindow()->width() << "x" << form->SubWindow()->height();
        for (const QWidget *edge : {static_cast<QWidget *>(top), static_cast<QWidget *>(bottom)}) {
            const QRect shown(edge->mapTo(area->viewport(), QPoint(0, 0)), edge->size());
            EXPECT_TRUE(viewport.contains(shown));
        }
        if (!c.grows) { // a form that fits keeps its grown size
            EXPECT_EQ(form->size(), grown.expandedTo(form->minimumSizeHint()));
        }
        form->Close();
        settle();
    }
}

} // namespace
} // namespace qor::testing
