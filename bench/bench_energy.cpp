// The plan's daily total as the exercise-planning screen works it out: the screen itself,
// made offscreen without opening a consultation, its plan loaded with 1,000 and 10,000
// rows and a weight typed, runs Atualiza_KcalDia (the walk from the first row to past the
// last summing Kcal/Dia over its calculate-fields handler, the total formatted, and the
// return to the row that was current by Locate of its code). The same walk over the same
// dataset with the handler taken off is the yardstick: the figures may cost at most three
// times as much, and both must grow linearly with the rows.
#include "data/clientdataset.h"
#include "data/packet.h"
#include "forms/dbedit.h"
#include "forms/edit.h"
#include "screen/frmplanejaexerc.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLocale>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

using namespace qor;

TDataPacket planPacket(int rows)
{
    TDataPacket packet;
    packet.fields = {
        {u"CDFILIAL"_s, TFieldType::String, 4},     {u"CDPACIENTE"_s, TFieldType::String, 12},
        {u"DTCONSPACI"_s, TFieldType::DateTime, 0}, {u"CDEXERFISICO"_s, TFieldType::String, 6},
        {u"QTHREXERFISI"_s, TFieldType::Float, 0},  {u"DSEXERFISICO"_s, TFieldType::String, 100},
        {u"QTENERCONSPL"_s, TFieldType::Float, 0},  {u"QTENERCONS"_s, TFieldType::Float, 0}};
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

void runTotal(benchmark::State &state, bool withFigures)
{
    const int rows = int(state.range(0));
    const auto screen = std::make_unique<TfrmPlanejaExerc>();
    if (!withFigures)
        screen->cdsPlaneja->OnCalcFields = nullptr;
    screen->dbePeso->SetText(u"70,5"_s);
    screen->cdsPlaneja->SetData(planPacket(rows));
    screen->cdsPlaneja->SetRecNo(rows / 2); // the walk comes back here every time
    for (auto _ : state)
        screen->Atualiza_KcalDia();
    const QString total = screen->edtTotal->Text();
    if (withFigures == (total == u"0,000"_s))
        state.SkipWithError("the total is not what the figures make");
    if (screen->cdsPlaneja->RecNo() != rows / 2)
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

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
