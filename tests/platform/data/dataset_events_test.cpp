// The classic order of dataset events, recorded for each editing operation.
#include "datafixtures.h"
#include "rtl/exceptions.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

struct EventCase
{
    const char *name;
    bool startEmpty;
    std::function<void(SmallTable &)> act;
    QStringList expected;
    int rowsAfter;
    TDataSetState stateAfter;
};

void PrintTo(const EventCase &c, std::ostream *os)
{
    *os << c.name;
}

const QStringList InsertEvents = {u"BeforeInsert"_s, u"BeforeScroll"_s, u"State:insert"_s,
                                  u"OnNewRecord"_s,  u"AfterInsert"_s,  u"AfterScroll"_s};
const QStringList EditEvents = {u"BeforeEdit"_s, u"State:edit"_s, u"AfterEdit"_s};
const QStringList PostEvents = {u"UpdateRecord"_s, u"BeforePost"_s, u"State:browse"_s,
                                u"AfterPost changes=1"_s};
const QStringList CancelEvents = {u"BeforeCancel"_s, u"State:browse"_s, u"AfterCancel"_s};
const QStringList ScrollEvents = {u"BeforeScroll"_s, u"AfterScroll"_s};

class EventOrder : public ::testing::TestWithParam<EventCase>
{
};

TEST_P(EventOrder, FollowsTheClassicSequence)
{
    const EventCase &c = GetParam();
    SmallTable table;
    if (c.startEmpty)
        table.load({});
    else
        table.load({{u"A"_s, u"um"_s, 1}, {u"B"_s, u"dois"_s, 2}, {u"C"_s, u"três"_s, 3}});
    TDataSource source;
    source.SetDataSet(table.dataSet.get());
    EventLog log;
    log.attach(table.dataSet.get(), &source);
    // The change log is written before AfterPost and AfterDelete fire.
    TClientDataSet *ds = table.dataSet.get();
    ds->AfterPost = [&](TDataSet *) {
        log.entries.append(u"AfterPost changes=%1"_s.arg(ds->ChangeCount()));
    };
    ds->AfterDelete = [&](TDataSet *) {
        log.entries.append(u"AfterDelete changes=%1"_s.arg(ds->ChangeCount()));
    };
    RecordingLink link;
    link.onEvent = [&](TDataEvent event) {
        if (event == TDataEvent::UpdateRecord)
            log.entries.append(u"UpdateRecord"_s);
    };
    source.AddLink(&link);

    c.act(table);

    EXPECT_EQ(log.entries, c.expected);
    EXPECT_EQ(ds->RecordCount(), c.rowsAfter);
    EXPECT_EQ(ds->State(), c.stateAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, EventOrder,
    ::testing::Values(
        EventCase{"Insert", false, [](SmallTable &t) { t.dataSet->Insert(); }, InsertEvents, 4,
                  dsInsert},
        EventCase{"InsertThenPost", false,
                  [](SmallTable &t) {
                      t.dataSet->Insert();
                      t.code->SetAsString(u"D"_s);
                      t.dataSet->Post();
                  },
                  InsertEvents + PostEvents, 4, dsBrowse},
        EventCase{"AppendThenPost", false,
                  [](SmallTable &t) {
                      t.dataSet->Append();
                      t.code->SetAsString(u"D"_s);
                      t.dataSet->Post();
                  },
                  InsertEvents + PostEvents, 4, dsBrowse},
        EventCase{"Edit", false, [](SmallTable &t) { t.dataSet->Edit(); }, EditEvents, 3, dsEdit},
        EventCase{"EditThenPost", false,
                  [](SmallTable &t) {
                      t.dataSet->Edit();
                      t.name->SetAsString(u"outro"_s);
                      t.dataSet->Post();
                  },
                  EditEvents + PostEvents, 3, dsBrowse},
        EventCase{"EditThenCancel", false,
                  [](SmallTable &t) {
                      t.dataSet->Edit();
                      t.name->SetAsString(u"outro"_s);
                      t.dataSet->Cancel();
                  },
                  EditEvents + CancelEvents, 3, dsBrowse},
        EventCase{"InsertThenCancel", false,
                  [](SmallTable &t) {
                      t.dataSet->Insert();
                      t.dataSet->Cancel();
                  },
                  InsertEvents + CancelEvents, 3, dsBrowse},
        EventCase{
            "Delete",
            false,
            [](SmallTable &t) { t.dataSet->Delete(); },
            {u"BeforeDelete"_s, u"BeforeScroll"_s, u"AfterDelete changes=1"_s, u"AfterScroll"_s},
            2,
            dsBrowse},
        EventCase{"DeleteWhileInsertingCancels", false,
                  [](SmallTable &t) {
                      t.dataSet->Insert();
                      t.dataSet->Delete();
                  },
                  InsertEvents + CancelEvents, 3, dsBrowse},
        EventCase{"DeleteWhileEditing", false,
                  [](SmallTable &t) {
                      t.dataSet->Edit();
                      t.dataSet->Delete();
                  },
                  EditEvents
                      + QStringList{u"BeforeDelete"_s, u"BeforeScroll"_s, u"State:browse"_s,
                                    u"AfterDelete changes=1"_s, u"AfterScroll"_s},
                  2, dsBrowse},
        EventCase{"EditOnEmptyInserts", true, [](SmallTable &t) { t.dataSet->Edit(); },
                  InsertEvents, 1, dsInsert},
        EventCase{"NextPostsAModifiedEdit", false,
                  [](SmallTable &t) {
                      t.dataSet->Edit();
                      t.name->SetAsString(u"outro"_s);
                      t.dataSet->Next();
                  },
                  EditEvents + QStringList{u"UpdateRecord"_s} + PostEvents + ScrollEvents, 3,
                  dsBrowse},
        EventCase{"NextCancelsAnUntouchedInsert", false,
                  [](SmallTable &t) {
                      t.dataSet->Insert();
                      t.dataSet->Next();
                  },
                  InsertEvents + QStringList{u"UpdateRecord"_s} + CancelEvents + ScrollEvents, 3,
                  dsBrowse},
        EventCase{"Walk", false,
                  [](SmallTable &t) {
                      for (t.dataSet->First(); !t.dataSet->Eof(); t.dataSet->Next()) { }
                  },
                  ScrollEvents + ScrollEvents + ScrollEvents + ScrollEvents, 3, dsBrowse},
        EventCase{"Close",
                  false,
                  [](SmallTable &t) { t.dataSet->Close(); },
                  {u"BeforeClose"_s, u"State:inactive"_s, u"AfterClose"_s},
                  0,
                  dsInactive},
        EventCase{"DataReplaced",
                  false,
                  [](SmallTable &t) {
                      t.load({{u"Z"_s, u"z"_s, 9}});
                  },
                  {u"BeforeClose"_s, u"State:inactive"_s, u"AfterClose"_s, u"BeforeOpen"_s,
                   u"State:browse"_s, u"AfterOpen"_s, u"AfterScroll"_s},
                  1,
                  dsBrowse}));

} // namespace
} // namespace qor::testing
