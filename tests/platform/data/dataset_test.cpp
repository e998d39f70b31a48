// Cursor, editing, failures in handlers and calculated fields of the in-memory dataset.
#include "datafixtures.h"
#include "rtl/datetime.h"
#include "rtl/exceptions.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

void loadThree(SmallTable &t)
{
    t.load({{u"A"_s, u"um"_s, 1}, {u"B"_s, u"dois"_s, 2}, {u"C"_s, u"três"_s, 3}});
}

// ---- a raise in a Before* handler abandons the operation ----

struct Refusal
{
    const char *name;
    std::function<void(SmallTable &)> prepare; // brings the dataset to the starting state
    std::function<void(TDataSet *, std::function<void(TDataSet *)>)> arm;
    std::function<void(TDataSet *)> act;
};

void PrintTo(const Refusal &c, std::ostream *os)
{
    *os << c.name;
}

class HandlerRefuses : public ::testing::TestWithParam<Refusal>
{
};

TEST_P(HandlerRefuses, LeavesStateRowsCursorAndTypedValuesAsTheyWere)
{
    SmallTable t;
    loadThree(t);
    t.dataSet->SetRecNo(2);
    GetParam().prepare(t);
    const TDataSetState state = t.dataSet->State();
    const int rows = t.dataSet->RecordCount();
    const int recNo = t.dataSet->RecNo();
    const QStringList codes = t.codes();
    const QString name = t.name->AsString();
    bool afterRan = false;
    t.dataSet->AfterPost = t.dataSet->AfterInsert = t.dataSet->AfterEdit = t.dataSet->AfterDelete =
        t.dataSet->AfterCancel = t.dataSet->OnNewRecord = [&](TDataSet *) {
            afterRan = true;
        };
    GetParam().arm(t.dataSet.get(), [](TDataSet *) { throw EDatabaseError(u"Recusado."_s); });

    EXPECT_THROW(GetParam().act(t.dataSet.get()), EDatabaseError);

    EXPECT_FALSE(afterRan);
    EXPECT_EQ(t.dataSet->State(), state);
    EXPECT_EQ(t.dataSet->RecordCount(), rows);
    EXPECT_EQ(t.dataSet->RecNo(), recNo);
    EXPECT_EQ(t.codes(), codes);
    EXPECT_EQ(t.name->AsString(), name);
    EXPECT_EQ(t.dataSet->ChangeCount(), 0);
}

const auto browsing = [](SmallTable &) {
};
const auto editing = [](SmallTable &t) {
    t.dataSet->Edit();
    t.name->SetAsString(u"digitado"_s);
};
const auto inserting = [](SmallTable &t) {
    t.dataSet->Insert();
    t.code->SetAsString(u"NOVO"_s);
    t.name->SetAsString(u"digitado"_s);
};

INSTANTIATE_TEST_SUITE_P(
    Handlers, HandlerRefuses,
    ::testing::Values(
        Refusal{"BeforePostWhileEditing", editing, [](TDataSet *ds, auto h) { ds->BeforePost = h; },
                [](TDataSet *ds) {
                    ds->Post();
                }},
        Refusal{"BeforePostWhileInserting", inserting,
                [](TDataSet *ds, auto h) { ds->BeforePost = h; },
                [](TDataSet *ds) {
                    ds->Post();
                }},
        Refusal{"BeforePostReachedByNavigation", editing,
                [](TDataSet *ds, auto h) { ds->BeforePost = h; },
                [](TDataSet *ds) {
                    ds->Next();
                }},
        Refusal{"BeforeInsert", browsing, [](TDataSet *ds, auto h) { ds->BeforeInsert = h; },
                [](TDataSet *ds) {
                    ds->Insert();
                }},
        Refusal{"BeforeInsertOnAppend", browsing,
                [](TDataSet *ds, auto h) { ds->BeforeInsert = h; },
                [](TDataSet *ds) {
                    ds->Append();
                }},
        Refusal{"BeforeEdit", browsing, [](TDataSet *ds, auto h) { ds->BeforeEdit = h; },
                [](TDataSet *ds) {
                    ds->Edit();
                }},
        Refusal{"BeforeDelete", browsing, [](TDataSet *ds, auto h) { ds->BeforeDelete = h; },
                [](TDataSet *ds) {
                    ds->Delete();
                }},
        Refusal{"BeforeCancel", editing, [](TDataSet *ds, auto h) { ds->BeforeCancel = h; },
                [](TDataSet *ds) {
                    ds->Cancel();
                }}));

TEST(DataSet, ARaiseInOnNewRecordDropsTheNewRow)
{
    SmallTable t;
    loadThree(t);
    t.dataSet->SetRecNo(2);
    t.dataSet->OnNewRecord = [](TDataSet *) {
        throw EDatabaseError(u"Sem contexto."_s);
    };
    EXPECT_THROW(t.dataSet->Insert(), EDatabaseError);
    EXPECT_EQ(t.dataSet->State(), dsBrowse);
    EXPECT_EQ(t.codes(), (QStringList{u"A"_s, u"B"_s, u"C"_s}));
    EXPECT_EQ(t.dataSet->RecNo(), 2);
}

// The dropped row leaves the ends of the dataset as they were: a walk "while not Eof"
// over an empty dataset must not start.
struct DroppedRowCase
{
    const char *name;
    QList<std::tuple<QString, QString, double>> rows;
    std::function<void(TDataSet *)> position;
    std::function<void(TDataSet *)> insert;
};

void PrintTo(const DroppedRowCase &c, std::ostream *os)
{
    *os << c.name;
}

class DroppedNewRow : public ::testing::TestWithParam<DroppedRowCase>
{
};

TEST_P(DroppedNewRow, LeavesBofAndEofAsTheyWere)
{
    SmallTable t;
    t.load(GetParam().rows);
    TDataSet *ds = t.dataSet.get();
    GetParam().position(ds);
    const bool bof = ds->Bof();
    const bool eof = ds->Eof();
    const int recNo = ds->RecNo();
    ds->OnNewRecord = [](TDataSet *) {
        throw EDatabaseError(u"Sem contexto."_s);
    };
    EXPECT_THROW(GetParam().insert(ds), EDatabaseError);
    EXPECT_EQ(ds->Bof(), bof);
    EXPECT_EQ(ds->Eof(), eof);
    EXPECT_EQ(ds->RecNo(), recNo);
    int walked = 0;
    for (; !ds->Eof() && walked < 10; ds->Next())
        ++walked;
    EXPECT_EQ(walked, eof ? 0 : ds->RecordCount() - recNo + 1);
}

const QList<std::tuple<QString, QString, double>> ThreeRows = {
    {u"A"_s, u"um"_s, 1}, {u"B"_s, u"dois"_s, 2}, {u"C"_s, u"três"_s, 3}};

INSTANTIATE_TEST_SUITE_P(Where, DroppedNewRow,
                         ::testing::Values(DroppedRowCase{"InsertIntoAnEmptyDataset",
                                                          {},
                                                          [](TDataSet *) {},
                                                          [](TDataSet *ds) {
                                                              ds->Insert();
                                                          }},
                                           DroppedRowCase{"AppendToAnEmptyDataset",
                                                          {},
                                                          [](TDataSet *) {},
                                                          [](TDataSet *ds) {
                                                              ds->Append();
                                                          }},
                                           DroppedRowCase{"AppendAfterAWalkPastTheEnd", ThreeRows,
                                                          [](TDataSet *ds) {
                                                              ds->Last();
                                                              ds->Next();
                                                          },
                                                          [](TDataSet *ds) {
                                                              ds->Append();
                                                          }},
                                           DroppedRowCase{"InsertOnTheFirstRow", ThreeRows,
                                                          [](TDataSet *ds) { ds->First(); },
                                                          [](TDataSet *ds) {
                                                              ds->Insert();
                                                          }}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(DataSet, SettingAFieldOutsideEditingIsRefused)
{
    SmallTable t;
    loadThree(t);
    try {
        t.name->SetAsString(u"x"_s);
        FAIL();
    } catch (const EDatabaseError &e) {
        EXPECT_EQ(e.Message(), u"Dataset não está em modo de edição."_s);
    }
    EXPECT_THROW(t.doubled->SetAsFloat(1), EDatabaseError); // calculated, not calculating
    EXPECT_EQ(t.name->AsString(), u"um"_s);
}

// ---- closed and empty datasets ----

TEST(DataSet, OperationsOnAClosedDatasetRaiseInPortuguese)
{
    SmallTable t;
    const std::function<void(TDataSet *)> operations[] = {
        [](TDataSet *ds) { ds->Edit(); },
        [](TDataSet *ds) { ds->Insert(); },
        [](TDataSet *ds) { ds->Append(); },
        [](TDataSet *ds) { ds->Delete(); },
        [](TDataSet *ds) { ds->Post(); },
        [](TDataSet *ds) { ds->First(); },
        [](TDataSet *ds) { ds->Next(); },
        [](TDataSet *ds) { ds->Last(); },
        [](TDataSet *ds) { ds->CheckBrowseMode(); },
        [](TDataSet *ds) {
            ds->Locate(u"CODE"_s, u"A"_s);
        }};
    for (const auto &operation : operations) {
        try {
            operation(t.dataSet.get());
            ADD_FAILURE() << "an operation ran on a closed dataset";
        } catch (const EDatabaseError &e) {
            EXPECT_TRUE(e.Message().contains(u"fechado"_s)) << e.Message().toStdString();
        }
    }
    EXPECT_EQ(t.dataSet->State(), dsInactive);
}

TEST(DataSet, DeletingFromAnEmptyDatasetRaises)
{
    SmallTable t;
    t.load({});
    EXPECT_THROW(t.dataSet->Delete(), EDatabaseError);
    EXPECT_TRUE(t.dataSet->Eof());
    EXPECT_TRUE(t.dataSet->Bof());
    EXPECT_EQ(t.dataSet->RecNo(), 0);
    t.dataSet->First();
    EXPECT_TRUE(t.dataSet->Eof());
}

TEST(DataSet, DefiningFieldsIsRefusedWhileOpenOrTwice)
{
    SmallTable t;
    EXPECT_THROW(t.dataSet->AddField(u"code"_s, TFieldType::String, 3), EDatabaseError);
    loadThree(t);
    EXPECT_THROW(t.dataSet->AddField(u"OTHER"_s, TFieldType::Float), EDatabaseError);
    EXPECT_THROW(t.dataSet->FieldByName(u"MISSING"_s), EDatabaseError);
    EXPECT_EQ(t.dataSet->FieldByName(u"code"_s), t.code); // names ignore case
}

// ---- cursor ----

TEST(DataSet, EofAndBofFollowTheCursor)
{
    SmallTable t;
    loadThree(t);
    TDataSet *ds = t.dataSet.get();
    EXPECT_TRUE(ds->Bof());
    EXPECT_FALSE(ds->Eof());
    ds->Next();
    ds->Next();
    EXPECT_EQ(ds->RecNo(), 3);
    EXPECT_FALSE(ds->Eof());
    ds->Next();
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(ds->RecNo(), 3);
    ds->Prior();
    EXPECT_FALSE(ds->Eof());
    EXPECT_EQ(ds->RecNo(), 2);
    ds->Prior();
    ds->Prior();
    EXPECT_TRUE(ds->Bof());
    EXPECT_EQ(ds->RecNo(), 1);
    ds->Last();
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(t.code->AsString(), u"C"_s);
    ds->SetRecNo(99); // out of range: stays
    EXPECT_EQ(ds->RecNo(), 3);
}

TEST(DataSet, CancellingAnInsertReturnsToTheRowThatWasCurrent)
{
    SmallTable t;
    loadThree(t);
    TDataSet *ds = t.dataSet.get();
    ds->SetRecNo(2);
    ds->Insert();
    EXPECT_EQ(ds->RecNo(), 2); // the new row stands where the cursor was
    EXPECT_EQ(t.codes(), (QStringList{u"A"_s, u""_s, u"B"_s, u"C"_s}));
    ds->Cancel();
    EXPECT_EQ(t.code->AsString(), u"B"_s);
    ds->Append();
    EXPECT_EQ(ds->RecNo(), 4);
    ds->Cancel();
    EXPECT_EQ(t.code->AsString(), u"B"_s);
    EXPECT_EQ(t.codes(), (QStringList{u"A"_s, u"B"_s, u"C"_s}));
}

TEST(DataSet, DeletingTheLastRowMovesToTheNewLast)
{
    SmallTable t;
    loadThree(t);
    t.dataSet->Last();
    t.dataSet->Delete();
    EXPECT_EQ(t.code->AsString(), u"B"_s);
    t.dataSet->First();
    t.dataSet->Delete();
    EXPECT_EQ(t.code->AsString(), u"B"_s);
    t.dataSet->Delete();
    EXPECT_TRUE(t.dataSet->IsEmpty());
    EXPECT_EQ(t.dataSet->CurrentRow(), -1);
    EXPECT_TRUE(t.code->IsNull());
}

TEST(DataSet, AnInsertedRowWithTypingIsPostedWhenTheCursorMoves)
{
    SmallTable t;
    loadThree(t);
    t.dataSet->Append();
    EXPECT_FALSE(t.dataSet->Modified());
    t.code->SetAsString(u"D"_s);
    EXPECT_TRUE(t.dataSet->Modified());
    t.dataSet->First();
    EXPECT_EQ(t.codes(), (QStringList{u"A"_s, u"B"_s, u"C"_s, u"D"_s}));
    EXPECT_EQ(t.dataSet->ChangeCount(), 1);
}

TEST(DataSet, ARowOnlyFilledByOnNewRecordIsDroppedWhenTheCursorMoves)
{
    SmallTable t;
    loadThree(t);
    t.dataSet->OnNewRecord = [&](TDataSet *) {
        t.name->SetAsString(u"padrão"_s);
    };
    t.dataSet->Append();
    EXPECT_EQ(t.name->AsString(), u"padrão"_s);
    EXPECT_FALSE(t.dataSet->Modified());
    t.dataSet->First();
    EXPECT_EQ(t.codes(), (QStringList{u"A"_s, u"B"_s, u"C"_s}));
    EXPECT_EQ(t.dataSet->ChangeCount(), 0);
}

// ---- Locate ----

struct LocateCase
{
    QString field;
    QVariant key;
    TLocateOptions options;
    int recNo; // 0: not found, the cursor stays on row 2
};

class Locate : public ::testing::TestWithParam<LocateCase>
{
};

TEST_P(Locate, FindsTheFirstMatchingRowOrStays)
{
    SmallTable t;
    t.load({{u"ABC123"_s, u"Corrida"_s, 1.5},
            {u"abc124"_s, u"corrida leve"_s, 2},
            {u"X1"_s, u"Natação"_s, 3}});
    t.dataSet->SetRecNo(2);
    const LocateCase &c = GetParam();
    EXPECT_EQ(t.dataSet->Locate(c.field, c.key, c.options), c.recNo != 0);
    EXPECT_EQ(t.dataSet->RecNo(), c.recNo != 0 ? c.recNo : 2);
}

constexpr TLocateOptions CI = TLocateOption::CaseInsensitive;
constexpr TLocateOptions Partial = TLocateOption::PartialKey;

INSTANTIATE_TEST_SUITE_P(
    Keys, Locate,
    ::testing::Values(
        LocateCase{u"CODE"_s, u"abc123"_s, CI, 1}, LocateCase{u"CODE"_s, u"abc123"_s, {}, 0},
        LocateCase{u"CODE"_s, u"ABC12"_s, CI, 0}, // whole value, not a prefix
        LocateCase{u"CODE"_s, u"ABC12"_s, Partial, 1},
        LocateCase{u"CODE"_s, u"abc12"_s, Partial | CI, 1}, LocateCase{u"code"_s, u"X1"_s, {}, 3},
        LocateCase{u"NAME"_s, u"CORRIDA LEVE"_s, CI, 2}, LocateCase{u"NAME"_s, u"NATAÇÃO"_s, CI, 3},
        LocateCase{u"HOURS"_s, 3.0, {}, 3}, LocateCase{u"HOURS"_s, 4, {}, 0},
        LocateCase{u"DOUBLE"_s, 4.0, {}, 2}, // calculated, computed to compare
        LocateCase{u"CODE"_s, u""_s, CI, 0}));

TEST(DataSet, LocateOnAFieldThatDoesNotExistRaises)
{
    SmallTable t;
    loadThree(t);
    EXPECT_THROW(t.dataSet->Locate(u"NOPE"_s, u"A"_s), EDatabaseError);
}

// A date-time field takes a QDate or a QDateTime as its value; the same key finds the
// row that holds it.
struct DateKeyCase
{
    const char *name;
    QVariant key;
    int recNo; // 0: not found, the cursor stays on row 1
};

void PrintTo(const DateKeyCase &c, std::ostream *os)
{
    *os << c.name;
}

class LocateDate : public ::testing::TestWithParam<DateKeyCase>
{
};

TEST_P(LocateDate, ComparesTheKeyAsTheFieldStoresIt)
{
    SmallTable t;
    loadThree(t);
    const QList<QVariant> days = {QDate(2024, 2, 28), QDate(2024, 2, 29),
                                  QDateTime(QDate(2024, 2, 29), QTime(7, 30))};
    for (int row = 0; row < days.size(); ++row) {
        t.dataSet->SetRecNo(row + 1);
        t.dataSet->Edit();
        t.day->SetValue(days.at(row));
        t.dataSet->Post();
    }
    t.dataSet->First();
    const DateKeyCase &c = GetParam();
    EXPECT_EQ(t.dataSet->Locate(u"DAY"_s, c.key), c.recNo != 0);
    EXPECT_EQ(t.dataSet->RecNo(), c.recNo != 0 ? c.recNo : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, LocateDate,
    ::testing::Values(
        DateKeyCase{"Date", QDate(2024, 2, 29), 2},
        DateKeyCase{"DateTimeAtMidnight", QDateTime(QDate(2024, 2, 29), QTime(0, 0)), 2},
        DateKeyCase{"DateTimeWithTime", QDateTime(QDate(2024, 2, 29), QTime(7, 30)), 3},
        DateKeyCase{"StoredForm", QVariant(DateToDateTime(QDate(2024, 2, 28))), 1},
        DateKeyCase{"DateNotHeld", QDate(2024, 3, 1), 0}, DateKeyCase{"InvalidDate", QDate(), 0}),
    [](const auto &info) { return std::string(info.param.name); });

// ---- calculated fields ----

TEST(CalculatedFields, RunWhenARowIsReadIntoView)
{
    SmallTable t;
    t.dataSet->SetData(TDataPacket{{{u"CODE"_s, TFieldType::String, 6},
                                    {u"NAME"_s, TFieldType::String, 20},
                                    {u"HOURS"_s, TFieldType::Float, 0},
                                    {u"DAY"_s, TFieldType::DateTime, 0}},
                                   {{u"A"_s, u"um"_s, 1.0, QVariant()},
                                    {u"B"_s, u"dois"_s, 2.0, QVariant()},
                                    {u"C"_s, u"três"_s, 3.0, QVariant()}}});
    EXPECT_EQ(t.calcCodes, QStringList{u"A"_s}); // on open: the current row only
    EXPECT_EQ(t.calcStates, QList<TDataSetState>{dsCalcFields});
    EXPECT_EQ(t.dataSet->State(), dsBrowse);

    t.resetCalcLog();
    t.dataSet->Next();
    EXPECT_EQ(t.calcCodes, QStringList{u"B"_s});

    t.resetCalcLog();
    EXPECT_EQ(t.dataSet->ValueAt(2, t.doubled).toDouble(), 6.0); // never calculated yet
    EXPECT_EQ(t.dataSet->TextAt(2, t.doubled, true), u"6"_s);
    EXPECT_EQ(t.calcCodes, QStringList{u"C"_s});
    EXPECT_EQ(t.dataSet->RecNo(), 2); // reading did not move the cursor

    t.resetCalcLog();
    t.dataSet->Edit();
    EXPECT_EQ(t.calcRuns, 0);
    t.hours->SetAsFloat(5);
    EXPECT_EQ(t.calcCodes, QStringList{u"B"_s});
    EXPECT_EQ(t.calcStates, QList<TDataSetState>{dsCalcFields});
    EXPECT_EQ(t.calcClearedOnEntry, QList<bool>{true});
    EXPECT_EQ(t.doubled->AsFloat(), 10.0);
    EXPECT_EQ(t.dataSet->State(), dsEdit);

    t.resetCalcLog();
    t.dataSet->AutoCalcFields = false;
    t.hours->SetAsFloat(7);
    EXPECT_EQ(t.calcRuns, 0);
    EXPECT_EQ(t.doubled->AsFloat(), 10.0);
    t.dataSet->Post(); // the posted row is read again
    EXPECT_EQ(t.calcCodes, QStringList{u"B"_s});
    EXPECT_EQ(t.doubled->AsFloat(), 14.0);
}

TEST(CalculatedFields, KeepTheirValuesUntilTheRowIsCalculatedAgain)
{
    SmallTable t;
    double factor = 2;
    t.dataSet->OnCalcFields = [&](TDataSet *) {
        t.doubled->SetAsFloat(t.hours->AsFloat() * factor);
    };
    loadThree(t);
    double sum = 0;
    for (t.dataSet->First(); !t.dataSet->Eof(); t.dataSet->Next())
        sum += t.doubled->AsFloat();
    EXPECT_EQ(sum, 12.0);
    factor = 10;
    EXPECT_EQ(t.dataSet->ValueAt(0, t.doubled).toDouble(), 2.0); // still the old figure
    t.dataSet->First();
    EXPECT_EQ(t.doubled->AsFloat(), 10.0); // read into view again
    EXPECT_EQ(t.dataSet->ValueAt(1, t.doubled).toDouble(), 4.0);
}

// A row calculated again starts from empty figures, whatever the handler does with
// the ones its last calculation left.
TEST(CalculatedFields, ARecalculationStartsFromEmptyFigures)
{
    struct Seen
    {
        bool doubledNull = false, labelNull = false, valueAtInvalid = false;
    };
    const struct
    {
        const char *name;
        std::function<void(SmallTable &, TField *triple, TField *label)> second;
        QVariant doubled, triple, label;
        bool raises = false;
    } cases[] = {
        {"writes nothing", [](SmallTable &, TField *, TField *) {}, {}, {}, {}},
        {"writes one figure",
         [](SmallTable &t, TField *, TField *) { t.doubled->SetAsFloat(99); },
         99.0,
         {},
         {}},
        {"reads before writing",
         [](SmallTable &t, TField *triple, TField *) {
             t.doubled->SetAsFloat(t.doubled->AsFloat() + 1);
             triple->SetAsFloat(t.doubled->AsFloat() + 1);
         },
         1.0,
         2.0,
         {}},
        {"raises after one figure",
         [](SmallTable &t, TField *, TField *) {
             t.doubled->SetAsFloat(5);
             throw EConvertError(u"Falhou."_s);
         },
         5.0,
         {},
         {},
         true},
        {"writes text through the value",
         [](SmallTable &, TField *, TField *label) { label->SetAsString(u"ok"_s); },
         {},
         {},
         u"ok"_s},
        {"writes a figure as a value",
         [](SmallTable &t, TField *triple, TField *) {
             triple->SetValue(QVariant(7.5));
             t.doubled->SetValue(QVariant());
         },
         {},
         7.5,
         {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        SmallTable t;
        TField *triple =
            t.dataSet->AddField(u"TRIPLE"_s, TFieldType::Float, 0, TFieldKind::Calculated);
        TField *label =
            t.dataSet->AddField(u"LABEL"_s, TFieldType::String, 10, TFieldKind::Calculated);
        bool again = false;
        QList<Seen> seen;
        t.dataSet->OnCalcFields = [&](TDataSet *ds) {
            if (!again) {
                t.doubled->SetAsFloat(2);
                triple->SetAsFloat(3);
                label->SetAsString(u"antes"_s);
                return;
            }
            if (t.code->AsString() != u"A"_s)
                return;
            seen.append({t.doubled->IsNull(), label->IsNull(), !ds->ValueAt(0, triple).isValid()});
            c.second(t, triple, label);
        };
        loadThree(t);
        ASSERT_EQ(t.doubled->AsFloat(), 2.0);
        again = true;
        t.dataSet->Next();
        if (c.raises)
            EXPECT_THROW(t.dataSet->Prior(), EConvertError);
        else
            t.dataSet->Prior();
        ASSERT_EQ(t.code->AsString(), u"A"_s);
        ASSERT_EQ(seen.size(), 1);
        EXPECT_TRUE(seen[0].doubledNull);
        EXPECT_TRUE(seen[0].labelNull);
        EXPECT_TRUE(seen[0].valueAtInvalid);
        EXPECT_EQ(t.doubled->Value(), c.doubled);
        EXPECT_EQ(triple->Value(), c.triple);
        EXPECT_EQ(label->Value(), c.label);
        EXPECT_EQ(t.dataSet->ValueAt(0, t.doubled), c.doubled);
        EXPECT_EQ(t.dataSet->State(), dsBrowse);
    }
}

TEST(CalculatedFields, ARaiseInTheHandlerPropagatesAndRestoresTheState)
{
    SmallTable t;
    loadThree(t);
    t.dataSet->OnCalcFields = [&](TDataSet *) {
        if (t.code->AsString() == u"B"_s)
            throw EConvertError(u"Falhou."_s);
    };
    EXPECT_THROW(t.dataSet->Next(), EConvertError);
    EXPECT_EQ(t.dataSet->State(), dsBrowse);
    EXPECT_EQ(t.code->AsString(), u"B"_s); // the cursor did move
    t.dataSet->Edit();
    EXPECT_THROW(t.name->SetAsString(u"x"_s), EConvertError);
    EXPECT_EQ(t.dataSet->State(), dsEdit);
    EXPECT_EQ(t.name->AsString(), u"x"_s); // the value was stored before the calculation
}

TEST(CalculatedFields, TheHandlerMayNotMoveTheCursorOrWriteStoredFields)
{
    SmallTable t;
    loadThree(t);
    QStringList refused;
    t.dataSet->OnCalcFields = [&](TDataSet *ds) {
        try {
            ds->Next();
        } catch (const EDatabaseError &) {
            refused << u"Next"_s;
        }
        try {
            t.name->SetAsString(u"x"_s);
        } catch (const EDatabaseError &) {
            refused << u"NAME"_s;
        }
    };
    t.dataSet->Last();
    EXPECT_EQ(refused, (QStringList{u"Next"_s, u"NAME"_s}));
    EXPECT_EQ(t.dataSet->RecNo(), 3);
    EXPECT_EQ(t.name->AsString(), u"três"_s);
}

TEST(DataSet, ReadingRowsOutOfRangeGivesNothing)
{
    SmallTable t;
    loadThree(t);
    EXPECT_FALSE(t.dataSet->ValueAt(-1, t.code).isValid());
    EXPECT_FALSE(t.dataSet->ValueAt(3, t.code).isValid());
    EXPECT_TRUE(t.dataSet->TextAt(7, t.name, true).isEmpty());
    SmallTable other;
    EXPECT_FALSE(t.dataSet->ValueAt(0, other.code).isValid()); // a field of another dataset
}

} // namespace
} // namespace qor::testing
