// The plan's daily total as the exercise-planning screen works it out (Atualiza_KcalDia
// over the calculate-fields handler of its plan), on plans of 1,000 and 10,000 rows:
// the walk from the first row to past the last summing Kcal/Dia, the total formatted,
// and the return to the row that was current by Locate of its code. The same walk over
// the same dataset without the figures is the yardstick: the figures may cost at most
// three times as much, and both must grow linearly with the rows.
//
// The handlers are those of screen/energy.cpp step for step; the weight edit's text is
// a string here, as the bench links no widgets.
#include "data/clientdataset.h"
#include "data/packet.h"
#include "rtl/convert.h"

#include <benchmark/benchmark.h>

#include <exception>

using namespace Qt::StringLiterals;

namespace {

using namespace qor;

const QList<TFieldDef> PlanFields = {
    {u"CDFILIAL"_s, TFieldType::String, 4},     {u"CDPACIENTE"_s, TFieldType::String, 12},
    {u"DTCONSPACI"_s, TFieldType::DateTime, 0}, {u"CDEXERFISICO"_s, TFieldType::String, 6},
    {u"QTHREXERFISI"_s, TFieldType::Float, 0},  {u"DSEXERFISICO"_s, TFieldType::String, 100},
    {u"QTENERCONSPL"_s, TFieldType::Float, 0},  {u"QTENERCONS"_s, TFieldType::Float, 0}};

TDataPacket planPacket(int rows)
{
    TDataPacket packet;
    packet.fields = PlanFields;
    packet.rows.reserve(rows);
    for (int i = 0; i < rows; ++i) {
        const double met = 2.0 + (i % 40) * 0.25;
        // Every 16th row has no time: its figures stay empty.
        const QVariant hours = i % 16 == 0 ? QVariant() : QVariant((i % 16) * 0.25);
        packet.rows.append({u"0001"_s, u"000000012345"_s, 45366.0,
                            u"%1"_s.arg(i, 6, 10, QLatin1Char('0')), hours,
                            u"Exercício número %1"_s.arg(i), met, met});
    }
    return packet;
}

// cdsPlaneja with its fields, its calculate-fields handler when asked for, and the
// total routine.
struct Plan
{
    explicit Plan(bool withFigures)
    {
        for (const TFieldDef &def : PlanFields)
            ds.AddField(def.name, def.type, def.size);
        code = ds.FieldByName(u"CDEXERFISICO"_s);
        hours = ds.FieldByName(u"QTHREXERFISI"_s);
        kcal = ds.FieldByName(u"QTENERCONSPL"_s);
        weekly = ds.AddField(u"Kcal/Semana"_s, TFieldType::Float, 0, TFieldKind::Calculated);
        daily = ds.AddField(u"Kcal/Dia"_s, TFieldType::Float, 0, TFieldKind::Calculated);
        if (withFigures)
            ds.OnCalcFields = [this](TDataSet *) {
                calcFields();
            };
    }

    // cdsPlanejaCalcFields
    void calcFields()
    {
        const long double h = hours->AsFloat(); // an empty time reads as 0
        if (h == 0)
            return;
        try {
            const long double weight = weightValue(weightText);
            weekly->SetAsFloat(double(weight * kcal->AsFloat() * h));
            daily->SetAsFloat(double(weekly->AsFloat() / 7.0L));
        } catch (const std::exception &) {
            weekly->SetAsFloat(0);
            daily->SetAsFloat(0);
        }
    }

    // The screen's weightValue: the last text converted is remembered.
    double weightValue(const QString &text)
    {
        if (!weightConverted || text != convertedWeightText) {
            const double weight = StrToFloat(text);
            convertedWeightText = text;
            convertedWeight = weight;
            weightConverted = true;
        }
        return convertedWeight;
    }
    QString convertedWeightText;
    double convertedWeight = 0;
    bool weightConverted = false;
    // Atualiza_KcalDia
    void total()
    {
        const QString current = code->AsString();
        ds.DisableControls();
        double sum = 0;
        ds.First();
        while (!ds.Eof()) {
            sum = daily->AsFloat() + sum;
            ds.Next();
        }
        totalText = FormatFloat(u"#,##0.000"_s, sum);
        ds.Locate(u"CDEXERFISICO"_s, current, TLocateOption::CaseInsensitive);
        ds.EnableControls();
    }

    TClientDataSet ds;
    TField *code, *hours, *kcal, *weekly, *daily;
    QString weightText = u"70,5"_s;
    QString totalText;
};

void runTotal(benchmark::State &state, bool withFigures)
{
    const int rows = int(state.range(0));
    Plan plan(withFigures);
    plan.ds.SetData(planPacket(rows));
    plan.ds.SetRecNo(rows / 2); // the walk comes back here every time
    for (auto _ : state) {
        plan.total();
        benchmark::DoNotOptimize(plan.totalText);
    }
    if (withFigures && plan.totalText == u"0,000"_s)
        state.SkipWithError("the figures came to nothing");
    if (plan.ds.RecNo() != rows / 2)
        state.SkipWithError("the walk did not return to the current row");
    state.SetComplexityN(rows);
    state.SetItemsProcessed(state.iterations() * rows);
}

void BM_TotalWithFigures(benchmark::State &state)
{
    runTotal(state, true);
}

void BM_TotalWithoutFigures(benchmark::State &state)
{
    runTotal(state, false);
}

BENCHMARK(BM_TotalWithFigures)->Arg(1000)->Arg(10000)->Complexity(benchmark::oN);
BENCHMARK(BM_TotalWithoutFigures)->Arg(1000)->Arg(10000)->Complexity(benchmark::oN);

} // namespace

BENCHMARK_MAIN();
