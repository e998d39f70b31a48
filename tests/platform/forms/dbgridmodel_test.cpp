// The grid's model reads the dataset in place, and the view and the dataset cursor
// follow each other.
#include "formsfixture.h"

#include "data/field.h"
#include "forms/dbgridmodel.h"
#include "rtl/exceptions.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

using testing::PrintTo;

class GridModelTest : public ::testing::Test
{
public:
    void SetUp() override
    {
        data.load({{u"A"_s, u"um"_s, 1.5}, {u"B"_s, u"dois"_s, 2}, {u"C"_s, u"três"_s, -1}});
        ASSERT_TRUE(window.showActive());
    }
    QAbstractItemModel *model() { return window.grid->model(); }
    QString cell(int row, int column)
    {
        return model()->index(row, column).data(Qt::DisplayRole).toString();
    }

    ScopedScriptedDialogs dialogs;
    PlanData data;
    GridWindow window{data};
};

TEST_F(GridModelTest, ShowsChangesMadeInTheDatasetWithoutAReset)
{
    QSignalSpy resets(model(), &QAbstractItemModel::modelReset);
    QSignalSpy changes(model(), &QAbstractItemModel::dataChanged);
    data.dataSet->SetRecNo(2);
    data.dataSet->Edit();
    data.code->SetAsString(u"Q"_s);
    data.hours->SetAsFloat(3.25);
    EXPECT_EQ(cell(1, 0), u"Q"_s);
    EXPECT_EQ(cell(1, 2), u"03:15"_s);
    EXPECT_EQ(cell(1, 3), u"6,50"_s); // calculated, with its display format
    data.dataSet->Post();
    EXPECT_EQ(cell(1, 0), u"Q"_s);
    EXPECT_EQ(resets.size(), 0);
    EXPECT_GE(changes.size(), 2);
}

// A cell whose text cannot be made (its field's text handler raises) is painted empty: a
// raise in painting would end the program, and a dialog there would repaint and fail again.
TEST_F(GridModelTest, ACellWhoseTextRaisesIsPaintedEmpty)
{
    int raised = 0;
    data.name->OnGetText = [&](TField *sender, QString &text, bool) {
        if (sender->AsString() == u"dois"_s) {
            ++raised;
            throw Exception(u"texto indisponível"_s);
        }
        text = sender->AsString();
    };
    EXPECT_FALSE(window.grab().isNull());
    EXPECT_GT(raised, 0);
    EXPECT_EQ(cell(0, 1), u"um"_s);
    EXPECT_EQ(cell(1, 1), QString());
    EXPECT_EQ(cell(1, 0), u"B"_s);
    EXPECT_EQ(cell(2, 1), u"três"_s);
    EXPECT_TRUE(dialogs->Messages().isEmpty());
}

TEST_F(GridModelTest, RowsComingAndGoingAreFollowed)
{
    data.dataSet->Append();
    EXPECT_EQ(model()->rowCount(), 4);
    data.dataSet->Cancel();
    EXPECT_EQ(model()->rowCount(), 3);
    data.dataSet->SetRecNo(1);
    data.dataSet->Delete();
    EXPECT_EQ(model()->rowCount(), 2);
    EXPECT_EQ(cell(0, 0), u"B"_s);
    data.load({{u"X"_s, u"xis"_s, 1}});
    EXPECT_EQ(model()->rowCount(), 1);
    EXPECT_EQ(cell(0, 1), u"xis"_s);
    data.dataSet->Close();
    EXPECT_EQ(model()->rowCount(), 0);
}

TEST_F(GridModelTest, TheViewFollowsTheCursorAndTheCursorTheView)
{
    data.dataSet->Last();
    EXPECT_EQ(window.grid->currentIndex().row(), 2);
    data.dataSet->First();
    EXPECT_EQ(window.grid->currentIndex().row(), 0);

    const QRect rect = window.grid->visualRect(model()->index(1, 1));
    QTest::mouseClick(window.grid->viewport(), Qt::LeftButton, {}, rect.center());
    EXPECT_EQ(data.dataSet->RecNo(), 2);
    EXPECT_EQ(window.grid->SelectedField(), data.name);
}

struct HeaderCase
{
    const char *name;
    std::function<void(TDBGrid *)> setUp;
    int column;
    QString title;
    int alignment;
    bool editable;
    bool hidden;
    QVariant titleAlignment = {}; // none: the header's default
};

class ColumnProperties : public GridModelTest, public ::testing::WithParamInterface<HeaderCase>
{
};

TEST_P(ColumnProperties, ShowInTheHeaderAndTheCells)
{
    TDBGrid *grid = window.grid;
    GetParam().setUp(grid);
    const int c = GetParam().column;
    EXPECT_EQ(model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), GetParam().title);
    EXPECT_EQ(grid->Columns()->Items(c)->Title(), GetParam().title);
    EXPECT_EQ(model()->index(0, c).data(Qt::TextAlignmentRole).toInt(), GetParam().alignment);
    EXPECT_EQ(bool(model()->flags(model()->index(0, c)) & Qt::ItemIsEditable), GetParam().editable);
    EXPECT_EQ(grid->isColumnHidden(c), GetParam().hidden);
    EXPECT_EQ(model()->headerData(c, Qt::Horizontal, Qt::TextAlignmentRole),
              GetParam().titleAlignment);
}

const int left = int(Qt::AlignLeft | Qt::AlignVCenter);
const int right = int(Qt::AlignRight | Qt::AlignVCenter);

INSTANTIATE_TEST_SUITE_P(
    Columns, ColumnProperties,
    ::testing::Values(
        HeaderCase{"DisplayLabel", [](TDBGrid *) {}, 0, u"Código"_s, left, true, false},
        HeaderCase{"FieldName", [](TDBGrid *) {}, 2, u"HOURS"_s, right, true, false},
        HeaderCase{"OwnTitle", [](TDBGrid *g) { g->Columns()->Items(2)->SetTitle(u"Horas/Dia"_s); },
                   2, u"Horas/Dia"_s, right, true, false},
        HeaderCase{"ReadOnlyColumn", [](TDBGrid *) {}, 1, u"NAME"_s, left, false, false},
        HeaderCase{"Calculated", [](TDBGrid *) {}, 3, u"KCAL"_s, right, false, false},
        HeaderCase{"CentredAndHidden",
                   [](TDBGrid *g) {
                       g->Columns()->Items(0)->SetAlignment(taCenter);
                       g->Columns()->Items(0)->SetVisible(false);
                   },
                   0, u"Código"_s, int(Qt::AlignCenter), true, true},
        HeaderCase{"RightTitleOverLeftCells",
                   [](TDBGrid *g) { g->Columns()->Items(1)->SetTitleAlignment(taRightJustify); }, 1,
                   u"NAME"_s, left, false, false, right},
        HeaderCase{"LeftTitleOverRightCells",
                   [](TDBGrid *g) { g->Columns()->Items(3)->SetTitleAlignment(taLeftJustify); }, 3,
                   u"KCAL"_s, right, false, false, left}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(GridModelTest, WithoutColumnsEveryVisibleFieldGetsOne)
{
    TDBGrid grid;
    data.name->Visible = false;
    grid.SetDataSource(&data.source);
    ASSERT_EQ(grid.Columns()->Count(), 3);
    EXPECT_TRUE(grid.Columns()->DefaultColumns());
    EXPECT_EQ(grid.Columns()->Items(1)->FieldName(), u"HOURS"_s);
    grid.Columns()->Add(u"NAME"_s);
    EXPECT_EQ(grid.Columns()->Count(), 1);
    EXPECT_EQ(grid.model()->columnCount(), 1);
    EXPECT_EQ(grid.Columns()->Items(0)->Width(), grid.columnWidth(0));
}

} // namespace
} // namespace qor::testing
