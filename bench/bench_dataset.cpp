// The plan dataset at 1,000 and 10,000 rows: loading a packet from its JSON bytes
// (against parsing the same bytes alone), walking it to total a calculated field,
// and taking the delta after 100 edits.
#include "data/clientdataset.h"
#include "data/packet.h"
#include "rtl/convert.h"

#include <benchmark/benchmark.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <map>

// Scalars go to DoNotOptimize as const: with GCC the read-write form of this benchmark
// release ("+m,r") can lose the value written back, which made a count read as garbage.

using namespace Qt::StringLiterals;

namespace {

using namespace qor;

const QList<TFieldDef> PlanFields = {
    {u"CDFILIAL"_s, TFieldType::String, 4},     {u"CDPACIENTE"_s, TFieldType::String, 12},
    {u"DTCONSPACI"_s, TFieldType::DateTime, 0}, {u"CDEXERFISICO"_s, TFieldType::String, 6},
    {u"QTHREXERFISI"_s, TFieldType::Float, 0},  {u"DSEXERFISICO"_s, TFieldType::String, 100},
    {u"QTENERCONSPL"_s, TFieldType::Float, 0},  {u"QTENERCONS"_s, TFieldType::Float, 0}};

const QByteArray &planBytes(int rows)
{
    static std::map<int, QByteArray> cache;
    auto found = cache.find(rows);
    if (found != cache.end())
        return found->second;
    TDataPacket packet;
    packet.fields = PlanFields;
    packet.rows.reserve(rows);
    for (int i = 0; i < rows; ++i) {
        const double met = 2.0 + (i % 40) * 0.25;
        packet.rows.append({u"0001"_s, u"000000012345"_s, 45366.0 + (i % 3),
                            u"%1"_s.arg(i, 6, 10, QLatin1Char('0')), 0.25 + (i % 16) * 0.25,
                            u"Exercício número %1, intensidade moderada"_s.arg(i), met, met});
    }
    return cache[rows] = QJsonDocument(encodePacket(packet)).toJson(QJsonDocument::Compact);
}

// The plan dataset as the screen defines it, with its two calculated figures.
struct Plan
{
    Plan()
    {
        for (const TFieldDef &def : PlanFields)
            fields.append(ds.AddField(def.name, def.type, def.size));
        weekly = ds.AddField(u"Kcal/Semana"_s, TFieldType::Float, 0, TFieldKind::Calculated);
        daily = ds.AddField(u"Kcal/Dia"_s, TFieldType::Float, 0, TFieldKind::Calculated);
        hours = ds.FieldByName(u"QTHREXERFISI"_s);
        kcal = ds.FieldByName(u"QTENERCONSPL"_s);
        ds.OnCalcFields = [this](TDataSet *) {
            if (hours->IsNull() || hours->AsFloat() == 0)
                return;
            weekly->SetAsFloat(StrToFloat(weightText) * kcal->AsFloat() * hours->AsFloat());
            daily->SetAsFloat(weekly->AsFloat() / 7);
        };
    }
    void load(int rows) { ds.SetData(QJsonDocument::fromJson(planBytes(rows)).object()); }

    TClientDataSet ds;
    QList<TField *> fields;
    TField *weekly, *daily, *hours, *kcal;
    QString weightText = u"70,5"_s; // what the weight edit shows
};

void BM_ParseJsonOnly(benchmark::State &state)
{
    const QByteArray &bytes = planBytes(int(state.range(0)));
    for (auto _ : state) {
        QJsonDocument doc = QJsonDocument::fromJson(bytes);
        benchmark::DoNotOptimize(doc);
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void BM_LoadPlanPacket(benchmark::State &state)
{
    const int rows = int(state.range(0));
    const QByteArray &bytes = planBytes(rows);
    Plan plan;
    for (auto _ : state) {
        plan.ds.SetData(QJsonDocument::fromJson(bytes).object()); // parse, decode, replace
        benchmark::DoNotOptimize(plan.ds.RecordCount());
    }
    if (plan.ds.RecordCount() != rows)
        state.SkipWithError("rows lost");
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void BM_WalkTotal(benchmark::State &state)
{
    const int rows = int(state.range(0));
    Plan plan;
    plan.load(rows);
    double total = 0;
    for (auto _ : state) {
        total = 0;
        for (plan.ds.First(); !plan.ds.Eof(); plan.ds.Next())
            total += plan.daily->AsFloat();
        benchmark::DoNotOptimize(std::as_const(total));
    }
    if (!(total > 0))
        state.SkipWithError("no total");
    state.SetItemsProcessed(state.iterations() * rows);
}

void BM_DeltaAfter100Edits(benchmark::State &state)
{
    const int rows = int(state.range(0));
    Plan plan;
    plan.load(rows);
    qsizetype changes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        plan.ds.CancelUpdates();
        for (int i = 0; i < 100; ++i) {
            plan.ds.SetRecNo(1 + i * (rows / 100));
            plan.ds.Edit();
            plan.hours->SetAsFloat(1.5 + i);
            plan.ds.Post();
        }
        state.ResumeTiming();
        const TDelta delta = plan.ds.Delta();
        benchmark::DoNotOptimize(delta);
        changes = delta.changes.size();
    }
    if (changes != 100)
        state.SkipWithError("wrong delta");
}

BENCHMARK(BM_ParseJsonOnly)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadPlanPacket)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WalkTotal)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DeltaAfter100Edits)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
