// The client dataset's change log, its delta, CancelUpdates and the loading of packets.
#include "datafixtures.h"
#include "rtl/exceptions.h"

#include <gtest/gtest.h>

#include <QJsonArray>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

QString rowText(const QVariantList &values)
{
    QStringList parts;
    for (const QVariant &v : values)
        parts.append(v.isValid() ? v.toString() : u"null"_s);
    return parts.join(u'/');
}

// "insert D/quatro/4/null", "update A/um/1/null -> A/x/1/null", "delete B/dois/2/null"
QStringList describe(const TDelta &delta)
{
    QStringList out;
    for (const TDeltaChange &c : delta.changes) {
        switch (c.op) {
        case TChangeOp::Insert:
            out.append(u"insert "_s + rowText(c.newValues));
            break;
        case TChangeOp::Update:
            out.append(u"update "_s + rowText(c.oldValues) + u" -> "_s + rowText(c.newValues));
            break;
        case TChangeOp::Delete:
            out.append(u"delete "_s + rowText(c.oldValues));
            break;
        }
    }
    return out;
}

void loadThree(SmallTable &t)
{
    t.load({{u"A"_s, u"um"_s, 1}, {u"B"_s, u"dois"_s, 2}, {u"C"_s, u"três"_s, 3}});
}

void appendD(SmallTable &t)
{
    t.dataSet->Append();
    t.code->SetAsString(u"D"_s);
    t.name->SetAsString(u"quatro"_s);
    t.hours->SetAsFloat(4);
    t.dataSet->Post();
}

void rename(SmallTable &t, const QString &name)
{
    t.dataSet->Edit();
    t.name->SetAsString(name);
    t.dataSet->Post();
}

struct LogCase
{
    const char *name;
    std::function<void(SmallTable &)> act;
    QStringList delta;
    int changeCount;
};

void PrintTo(const LogCase &c, std::ostream *os)
{
    *os << c.name;
}

class ChangeLog : public ::testing::TestWithParam<LogCase>
{
};

TEST_P(ChangeLog, YieldsTheDeltaTheServerNeeds)
{
    SmallTable t;
    loadThree(t);
    GetParam().act(t);
    const TDelta delta = t.dataSet->Delta();
    EXPECT_EQ(describe(delta), GetParam().delta);
    EXPECT_EQ(t.dataSet->ChangeCount(), GetParam().changeCount);
    QStringList fieldNames;
    for (const TFieldDef &def : delta.fields)
        fieldNames.append(def.name);
    EXPECT_EQ(fieldNames, (QStringList{u"CODE"_s, u"NAME"_s, u"HOURS"_s, u"DAY"_s}));
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, ChangeLog,
    ::testing::Values(LogCase{"InsertedThenEditedIsOneInsert",
                              [](SmallTable &t) {
                                  appendD(t);
                                  rename(t, u"novo"_s);
                              },
                              {u"insert D/novo/4/null"_s},
                              1},
                      LogCase{"ModifiedTwiceKeepsTheFirstOriginal",
                              [](SmallTable &t) {
                                  rename(t, u"x"_s);
                                  rename(t, u"y"_s);
                              },
                              {u"update A/um/1/null -> A/y/1/null"_s},
                              1},
                      LogCase{"InsertedThenDeletedLeavesNothing",
                              [](SmallTable &t) {
                                  appendD(t);
                                  t.dataSet->Delete();
                              },
                              {},
                              0},
                      LogCase{"ModifiedThenDeletedSendsTheOriginal",
                              [](SmallTable &t) {
                                  rename(t, u"x"_s);
                                  t.dataSet->Delete();
                              },
                              {u"delete A/um/1/null"_s},
                              1},
                      LogCase{"DeletedWhileEditingSendsTheOriginal",
                              [](SmallTable &t) {
                                  t.dataSet->Edit();
                                  t.name->SetAsString(u"x"_s);
                                  t.dataSet->Delete();
                              },
                              {u"delete A/um/1/null"_s},
                              1},
                      LogCase{"Deleted",
                              [](SmallTable &t) {
                                  t.dataSet->SetRecNo(2);
                                  t.dataSet->Delete();
                              },
                              {u"delete B/dois/2/null"_s},
                              1},
                      LogCase{"PostWithoutChangeLogsNothing",
                              [](SmallTable &t) {
                                  t.dataSet->Edit();
                                  t.dataSet->Post();
                              },
                              {},
                              0},
                      LogCase{"ChangedBackToTheOriginalLogsNothing",
                              [](SmallTable &t) {
                                  rename(t, u"x"_s);
                                  rename(t, u"um"_s);
                              },
                              {},
                              0},
                      LogCase{"NothingLoggedWithLogChangesOff",
                              [](SmallTable &t) {
                                  t.dataSet->LogChanges = false;
                                  rename(t, u"x"_s);
                                  appendD(t);
                                  t.dataSet->First();
                                  t.dataSet->Next();
                                  t.dataSet->Delete();
                                  EXPECT_EQ(t.codes(), (QStringList{u"A"_s, u"C"_s, u"D"_s}));
                              },
                              {},
                              0},
                      LogCase{"MergedChangesAreGone",
                              [](SmallTable &t) {
                                  rename(t, u"x"_s);
                                  appendD(t);
                                  t.dataSet->First();
                                  t.dataSet->Delete();
                                  t.dataSet->MergeChangeLog();
                              },
                              {},
                              0},
                      LogCase{"DeletionsThenUpdatesThenInserts",
                              [](SmallTable &t) {
                                  appendD(t);
                                  t.dataSet->SetRecNo(2);
                                  t.dataSet->Delete();
                                  t.dataSet->First();
                                  rename(t, u"x"_s);
                              },
                              {u"delete B/dois/2/null"_s, u"update A/um/1/null -> A/x/1/null"_s,
                               u"insert D/quatro/4/null"_s},
                              3},
                      LogCase{"AnEditNotYetPostedIsNotSent",
                              [](SmallTable &t) {
                                  rename(t, u"x"_s);
                                  t.dataSet->Edit();
                                  t.name->SetAsString(u"y"_s);
                              },
                              {u"update A/um/1/null -> A/x/1/null"_s},
                              1},
                      LogCase{"AnInsertNotYetPostedIsNotSent",
                              [](SmallTable &t) {
                                  t.dataSet->Append();
                                  t.code->SetAsString(u"D"_s);
                              },
                              {},
                              0}));

TEST(ClientDataSet, CancelUpdatesRestoresTheLastMergedRowsInTheirPlaces)
{
    SmallTable t;
    t.load({{u"A"_s, u"um"_s, 1},
            {u"B"_s, u"dois"_s, 2},
            {u"C"_s, u"três"_s, 3},
            {u"D"_s, u"quatro"_s, 4}});
    TClientDataSet *ds = t.dataSet.get();
    ds->First();
    ds->Insert();
    t.code->SetAsString(u"X"_s);
    ds->Post();
    ASSERT_TRUE(ds->Locate(u"CODE"_s, u"B"_s));
    ds->Delete();
    ASSERT_TRUE(ds->Locate(u"CODE"_s, u"C"_s));
    ds->Edit();
    t.hours->SetAsFloat(30);
    ds->Post();
    ASSERT_TRUE(ds->Locate(u"CODE"_s, u"A"_s));
    ds->Delete();
    appendD(t); // a second D, appended
    ASSERT_TRUE(ds->Locate(u"CODE"_s, u"C"_s));
    ds->Edit();
    t.name->SetAsString(u"pendente"_s); // still being edited
    EXPECT_EQ(t.codes(), (QStringList{u"X"_s, u"C"_s, u"D"_s, u"D"_s}));

    TDataSource source;
    source.SetDataSet(ds);
    RecordingLink link;
    source.AddLink(&link);
    ds->CancelUpdates();

    EXPECT_EQ(t.codes(), (QStringList{u"A"_s, u"B"_s, u"C"_s, u"D"_s}));
    EXPECT_EQ(ds->ChangeCount(), 0);
    EXPECT_TRUE(describe(ds->Delta()).isEmpty());
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(t.code->AsString(), u"C"_s); // the cursor stays on its row
    EXPECT_EQ(t.name->AsString(), u"três"_s);
    EXPECT_EQ(t.hours->AsFloat(), 3.0);
    EXPECT_EQ(t.doubled->AsFloat(), 6.0); // recalculated from the restored hours
    EXPECT_EQ(ds->ValueAt(0, t.name), QVariant(u"um"_s));
    EXPECT_TRUE(link.events.contains(u"DataSetChange"_s));
}

TEST(ClientDataSet, CancelUpdatesDuringAnInsertDropsTheNewRow)
{
    SmallTable t;
    loadThree(t);
    t.dataSet->Append();
    t.code->SetAsString(u"N"_s);
    t.dataSet->CancelUpdates();
    EXPECT_EQ(t.codes(), (QStringList{u"A"_s, u"B"_s, u"C"_s}));
    EXPECT_EQ(t.dataSet->State(), dsBrowse);
}

TEST(ClientDataSet, AFailedSaveRolledBackShowsTheSavedStateAgain)
{
    // As the screen does in AfterPost: send the delta, and on failure CancelUpdates.
    SmallTable t;
    loadThree(t);
    t.dataSet->AfterPost = [](TDataSet *ds) {
        auto *cds = static_cast<TClientDataSet *>(ds);
        if (cds->ChangeCount() > 0) {
            cds->CancelUpdates();
            throw EDatabaseError(u"Servidor indisponível."_s);
        }
    };
    EXPECT_THROW(appendD(t), EDatabaseError);
    EXPECT_EQ(t.codes(), (QStringList{u"A"_s, u"B"_s, u"C"_s}));
    EXPECT_EQ(t.dataSet->State(), dsBrowse);
    EXPECT_EQ(t.dataSet->ChangeCount(), 0);
}

TEST(ClientDataSet, APostIsLoggedEvenWhenAStateHandlerRaises)
{
    SmallTable t;
    loadThree(t);
    TDataSource source;
    source.SetDataSet(t.dataSet.get());
    source.OnStateChange = [&](QObject *) {
        if (source.State() == dsBrowse)
            throw EDatabaseError(u"Falha no tratador."_s);
    };
    t.dataSet->Edit();
    t.name->SetAsString(u"x"_s);
    EXPECT_THROW(t.dataSet->Post(), EDatabaseError);
    EXPECT_EQ(t.dataSet->State(), dsBrowse);
    EXPECT_EQ(describe(t.dataSet->Delta()), QStringList{u"update A/um/1/null -> A/x/1/null"_s});
}

TEST(ClientDataSet, UpdateStatusFollowsTheCurrentRow)
{
    SmallTable t;
    loadThree(t);
    EXPECT_EQ(t.dataSet->UpdateStatus(), TUpdateStatus::Unmodified);
    rename(t, u"x"_s);
    EXPECT_EQ(t.dataSet->UpdateStatus(), TUpdateStatus::Modified);
    t.dataSet->Append();
    EXPECT_EQ(t.dataSet->UpdateStatus(), TUpdateStatus::Inserted);
    t.code->SetAsString(u"D"_s);
    t.dataSet->Post();
    EXPECT_EQ(t.dataSet->UpdateStatus(), TUpdateStatus::Inserted);
    t.dataSet->MergeChangeLog();
    EXPECT_EQ(t.dataSet->UpdateStatus(), TUpdateStatus::Unmodified);
    t.dataSet->First();
    EXPECT_EQ(t.dataSet->UpdateStatus(), TUpdateStatus::Unmodified);
}

TEST(ClientDataSet, DataHoldsThePostedRowsOnly)
{
    SmallTable t;
    loadThree(t);
    t.dataSet->Edit();
    t.name->SetAsString(u"x"_s);
    EXPECT_EQ(t.dataSet->Data().rows.first().at(1), QVariant(u"um"_s));
    t.dataSet->Post();
    EXPECT_EQ(t.dataSet->Data().rows.first().at(1), QVariant(u"x"_s));
    t.dataSet->Append();
    EXPECT_EQ(t.dataSet->Data().rows.size(), 3);
    EXPECT_EQ(t.dataSet->Data().fields.size(), 4); // the calculated field never travels
}

// ---- loading ----

TDataPacket packetOf(QList<TFieldDef> fields, QList<QVariantList> rows)
{
    return TDataPacket{std::move(fields), std::move(rows)};
}

TEST(ClientDataSet, SetDataOpensOnTheFirstRowWithAnEmptyLog)
{
    SmallTable t;
    loadThree(t);
    rename(t, u"x"_s);
    int changesSeen = -1;
    int recNoSeen = -1;
    QVariant doubledSeen;
    t.dataSet->AfterOpen = [&](TDataSet *) {
        changesSeen = t.dataSet->ChangeCount();
        recNoSeen = t.dataSet->RecNo();
        doubledSeen = t.doubled->Value();
    };
    t.dataSet->Last();
    t.load({{u"E"_s, u"cinco"_s, 5}, {u"F"_s, u"seis"_s, 6}});
    EXPECT_EQ(changesSeen, 0);
    EXPECT_EQ(recNoSeen, 1);
    EXPECT_EQ(doubledSeen, QVariant(10.0));
    EXPECT_EQ(t.dataSet->State(), dsBrowse);
    EXPECT_EQ(t.codes(), (QStringList{u"E"_s, u"F"_s}));
}

TEST(ClientDataSet, DefinedFieldsAreMatchedByName)
{
    SmallTable t;
    t.dataSet->SetData(packetOf({{u"extra"_s, TFieldType::Float, 0},
                                 {u"day"_s, TFieldType::DateTime, 0},
                                 {u"hours"_s, TFieldType::Float, 0},
                                 {u"name"_s, TFieldType::String, 20},
                                 {u"code"_s, TFieldType::String, 6}},
                                {{1, 45366, 2, u"dois"_s, u"B"_s}}));
    EXPECT_EQ(t.code->AsString(), u"B"_s);
    EXPECT_EQ(t.name->AsString(), u"dois"_s);
    EXPECT_EQ(t.hours->Value(), QVariant(2.0)); // an int from code becomes a double
    EXPECT_EQ(t.day->AsDateTime(), 45366.0);
    EXPECT_EQ(t.dataSet->Fields().size(), 5);
}

TEST(ClientDataSet, WithoutFieldsTheyAreMadeFromThePacket)
{
    TClientDataSet ds;
    ds.SetData(packetOf({{u"CDFILIAL"_s, TFieldType::String, 4}, {u"QT"_s, TFieldType::Float, 0}},
                        {{u"0001"_s, 1.5}}));
    ASSERT_EQ(ds.Fields().size(), 2);
    EXPECT_EQ(ds.FieldByName(u"CDFILIAL"_s)->Size(), 4);
    EXPECT_EQ(ds.FieldByName(u"QT"_s)->DataType(), TFieldType::Float);
    ds.SetData(
        packetOf({{u"CDFILIAL"_s, TFieldType::String, 4}, {u"QT"_s, TFieldType::Float, 0}}, {}));
    EXPECT_TRUE(ds.Active());
    EXPECT_TRUE(ds.IsEmpty());
}

struct BadLoad
{
    const char *name;
    TDataPacket packet;
};

void PrintTo(const BadLoad &c, std::ostream *os)
{
    *os << c.name;
}

class SetDataRefuses : public ::testing::TestWithParam<BadLoad>
{
};

TEST_P(SetDataRefuses, AndLeavesRowsAndLogAlone)
{
    SmallTable t;
    loadThree(t);
    rename(t, u"x"_s);
    bool reopened = false;
    t.dataSet->AfterOpen = [&](TDataSet *) {
        reopened = true;
    };
    EXPECT_THROW(t.dataSet->SetData(GetParam().packet), EDatabaseError);
    EXPECT_FALSE(reopened);
    EXPECT_EQ(t.codes(), (QStringList{u"A"_s, u"B"_s, u"C"_s}));
    EXPECT_EQ(t.dataSet->ChangeCount(), 1);
    EXPECT_EQ(t.dataSet->State(), dsBrowse);
}

const QList<TFieldDef> Columns = {{u"CODE"_s, TFieldType::String, 6},
                                  {u"NAME"_s, TFieldType::String, 20},
                                  {u"HOURS"_s, TFieldType::Float, 0},
                                  {u"DAY"_s, TFieldType::DateTime, 0}};

INSTANTIATE_TEST_SUITE_P(
    Packets, SetDataRefuses,
    ::testing::Values(
        BadLoad{"MissingField", packetOf(Columns.mid(0, 3), {{u"A"_s, u"a"_s, 1.0}})},
        BadLoad{"WrongType",
                packetOf({Columns[0], Columns[1], {u"HOURS"_s, TFieldType::String, 5}, Columns[3]},
                         {})},
        BadLoad{"NumberInAStringColumn", packetOf(Columns, {{7, u"a"_s, 1.0, QVariant()}})},
        BadLoad{"TextInAFloatColumn", packetOf(Columns, {{u"A"_s, u"a"_s, u"1,5"_s, QVariant()}})},
        BadLoad{"TooLongForTheField",
                packetOf({{u"CODE"_s, TFieldType::String, 0}, Columns[1], Columns[2], Columns[3]},
                         {{u"ABCDEFG"_s, u"a"_s, 1.0, QVariant()}})},
        BadLoad{"RowOfTheWrongLength", packetOf(Columns, {{u"A"_s, u"a"_s, 1.0}})},
        BadLoad{"SecondRowBad",
                packetOf(Columns,
                         {{u"A"_s, u"a"_s, 1.0, QVariant()},
                          {u"B"_s, u"b"_s, QVariant(QDate(2024, 1, 1)), QVariant()}})}));

TEST(ClientDataSet, AMalformedJsonPacketLeavesTheDatasetAlone)
{
    SmallTable t;
    loadThree(t);
    QJsonObject bad = encodePacket(packetOf(Columns, {{u"Z"_s, u"z"_s, 1.0, QVariant()}}));
    QJsonArray row;
    for (const QJsonValue &cell :
         {QJsonValue(u"Z"_s), QJsonValue(u"z"_s), QJsonValue(u"um"_s), QJsonValue()})
        row.append(cell);
    QJsonArray rows;
    rows.append(row);
    bad.insert(u"rows"_s, rows);
    EXPECT_THROW(t.dataSet->SetData(QJsonValue(bad)), EDatabaseError);
    EXPECT_EQ(t.codes(), (QStringList{u"A"_s, u"B"_s, u"C"_s}));
}

} // namespace
} // namespace qor::testing
