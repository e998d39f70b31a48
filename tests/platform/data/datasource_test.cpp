// What the data sources and their controls hear from a dataset.
#include "datafixtures.h"
#include "rtl/exceptions.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

struct LinkCase
{
    const char *name;
    std::function<void(SmallTable &)> act;
    QStringList expected;
};

void PrintTo(const LinkCase &c, std::ostream *os)
{
    *os << c.name;
}

class ControlsHear : public ::testing::TestWithParam<LinkCase>
{
};

TEST_P(ControlsHear, TheEventsTheyRelyOn)
{
    SmallTable t;
    t.load({{u"A"_s, u"um"_s, 1}, {u"B"_s, u"dois"_s, 2}});
    TDataSource source;
    source.SetDataSet(t.dataSet.get());
    RecordingLink link;
    source.AddLink(&link);
    GetParam().act(t);
    EXPECT_EQ(link.events, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, ControlsHear,
    ::testing::Values(
        LinkCase{"Reopen",
                 [](SmallTable &t) {
                     t.dataSet->Close();
                     t.load({{u"C"_s, u"três"_s, 3}});
                 },
                 {u"UpdateState"_s, u"DataSetChange"_s, u"UpdateState"_s, u"DataSetChange"_s}},
        LinkCase{"Scroll", [](SmallTable &t) { t.dataSet->Next(); }, {u"DataSetScroll"_s}},
        LinkCase{"EditTypePost",
                 [](SmallTable &t) {
                     t.dataSet->Edit();
                     t.name->SetAsString(u"x"_s);
                     t.dataSet->Post();
                 },
                 {u"UpdateState"_s, u"FieldChange:NAME"_s, u"UpdateRecord"_s, u"UpdateState"_s,
                  u"DataSetChange"_s}},
        LinkCase{"InsertCancel",
                 [](SmallTable &t) {
                     t.dataSet->Insert();
                     t.dataSet->Cancel();
                 },
                 {u"UpdateState"_s, u"DataSetChange"_s, u"UpdateState"_s, u"DataSetChange"_s}},
        LinkCase{"Delete", [](SmallTable &t) { t.dataSet->Delete(); }, {u"DataSetChange"_s}},
        LinkCase{"FocusControl",
                 [](SmallTable &t) { t.hours->FocusControl(); },
                 {u"FocusControl:HOURS"_s}},
        LinkCase{"DisabledControlsHearOneChangeAtTheEnd",
                 [](SmallTable &t) {
                     t.dataSet->DisableControls();
                     t.dataSet->DisableControls();
                     for (t.dataSet->First(); !t.dataSet->Eof(); t.dataSet->Next()) { }
                     t.dataSet->Edit();
                     t.name->SetAsString(u"x"_s);
                     t.dataSet->Post();
                     t.hours->FocusControl();
                     t.dataSet->EnableControls();
                     EXPECT_TRUE(t.dataSet->ControlsDisabled());
                     t.dataSet->EnableControls();
                     t.dataSet->EnableControls(); // one too many: nothing
                 },
                 {u"DataSetChange"_s}},
        LinkCase{"StateChangedWhileDisabled",
                 [](SmallTable &t) {
                     t.dataSet->DisableControls();
                     t.dataSet->Edit();
                     t.dataSet->EnableControls();
                 },
                 {u"UpdateState"_s, u"DataSetChange"_s}}));

TEST(DataSource, StateChangeFiresOnEveryChangeEvenWithControlsDisabled)
{
    SmallTable t;
    TDataSource source;
    QList<TDataSetState> states;
    source.OnStateChange = [&](QObject *sender) {
        EXPECT_EQ(sender, &source);
        states.append(source.State());
    };
    source.SetDataSet(t.dataSet.get());
    t.load({{u"A"_s, u"um"_s, 1}});
    t.dataSet->DisableControls();
    t.dataSet->Edit();
    t.dataSet->Cancel();
    t.dataSet->EnableControls();
    source.SetEnabled(false);
    EXPECT_EQ(source.State(), dsInactive);
    t.dataSet->Edit(); // heard by nobody while the source is disabled
    source.SetEnabled(true);
    EXPECT_EQ(states, (QList<TDataSetState>{dsBrowse, dsEdit, dsBrowse, dsInactive, dsEdit}));
}

TEST(DataSource, DataChangeNamesTheFieldOnlyForFieldChanges)
{
    SmallTable t;
    t.load({{u"A"_s, u"um"_s, 1}, {u"B"_s, u"dois"_s, 2}});
    TDataSource source;
    source.SetDataSet(t.dataSet.get());
    QStringList seen;
    source.OnDataChange = [&](QObject *, TField *field) {
        seen.append(field ? field->FieldName() : u"-"_s);
    };
    t.dataSet->Next();
    t.dataSet->Edit();
    t.hours->SetAsFloat(4);
    EXPECT_EQ(seen, (QStringList{u"-"_s, u"HOURS"_s}));
}

TEST(DataSource, FocusControlReachesEveryDataSourceOfTheDataset)
{
    SmallTable t;
    t.load({{u"A"_s, u"um"_s, 1}});
    TDataSource first, second, elsewhere;
    first.SetDataSet(t.dataSet.get());
    second.SetDataSet(t.dataSet.get());
    SmallTable other;
    elsewhere.SetDataSet(other.dataSet.get());
    RecordingLink a, b, c;
    first.AddLink(&a);
    second.AddLink(&b);
    elsewhere.AddLink(&c);
    t.code->FocusControl();
    EXPECT_EQ(a.events, QStringList{u"FocusControl:CODE"_s});
    EXPECT_EQ(b.events, QStringList{u"FocusControl:CODE"_s});
    EXPECT_TRUE(c.events.isEmpty());
}

TEST(DataSource, AControlsPendingTextIsWrittenBeforeThePostAndMayStopIt)
{
    SmallTable t;
    t.load({{u"A"_s, u"um"_s, 1}});
    TDataSource source;
    source.SetDataSet(t.dataSet.get());
    RecordingLink edit;
    QString pending = u"2,5"_s;
    edit.onEvent = [&](TDataEvent event) {
        if (event == TDataEvent::UpdateRecord)
            t.hours->SetText(pending);
    };
    source.AddLink(&edit);
    bool beforePostRan = false;
    t.dataSet->BeforePost = [&](TDataSet *) {
        beforePostRan = true;
    };
    t.dataSet->Edit();
    pending = u"abc"_s;
    EXPECT_THROW(t.dataSet->Post(), EConvertError);
    EXPECT_FALSE(beforePostRan);
    EXPECT_EQ(t.dataSet->State(), dsEdit);
    pending = u"2,5"_s;
    t.dataSet->Post();
    EXPECT_EQ(t.hours->AsFloat(), 2.5);
    EXPECT_EQ(t.doubled->AsFloat(), 5.0);
}

TEST(DataSource, ControlsAndSourcesMayGoAwayInAnyOrder)
{
    auto t = std::make_unique<SmallTable>();
    t->load({{u"A"_s, u"um"_s, 1}, {u"B"_s, u"dois"_s, 2}});
    auto source = std::make_unique<TDataSource>();
    source->SetDataSet(t->dataSet.get());
    auto survivor = std::make_unique<RecordingLink>();
    auto leaving = std::make_unique<RecordingLink>();
    // A control that takes itself away while it is being told.
    leaving->onEvent = [&](TDataEvent) {
        source->RemoveLink(leaving.get());
    };
    source->AddLink(leaving.get());
    source->AddLink(survivor.get());
    t->dataSet->Next();
    t->dataSet->First();
    EXPECT_EQ(leaving->events.size(), 1);
    EXPECT_EQ(survivor->events.size(), 2);
    t.reset(); // the dataset goes first
    EXPECT_EQ(source->DataSet(), nullptr);
    EXPECT_EQ(source->State(), dsInactive);
    source.reset();

    SmallTable kept;
    kept.load({{u"A"_s, u"um"_s, 1}});
    {
        TDataSource shortLived;
        shortLived.SetDataSet(kept.dataSet.get());
    }
    kept.dataSet->Next(); // no dangling source is told
    EXPECT_EQ(kept.code->AsString(), u"A"_s);
}

} // namespace
} // namespace qor::testing
