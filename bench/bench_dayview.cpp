// Showing days from the day book: the main window's day and the calendar's month.
//
// These measure the work behind the windows, without widgets; bench_windows measures the windows.
#include "benchsupport.h"
#include "dayfile.h"
#include "fileops.h"
#include "gbk.h"
#include "monthgrid.h"
#include "oledate.h"

#include <QDate>
#include <QString>
#include <array>
#include <random>

using namespace bench;

namespace {

// What a shown day holds: the five texts and completions, placed by ThingNo.
struct ShownDay
{
    std::array<QString, 5> texts;
    std::array<bool, 5> done{};
};

ShownDay showDay(const DayTable &table, double day)
{
    ShownDay shown;
    for (qint32 i : table.recordsOfDay(day)) {
        const qint32 no = table.thingNo(i);
        if (no < 1 || no > 5)
            continue;
        shown.texts[size_t(no - 1)] = gbk::decode(table.text(i));
        shown.done[size_t(no - 1)] = table.isDone(i);
    }
    return shown;
}

// Days spread over the whole book, so that no run measures one day that stays in the cache.
std::vector<double> daysToShow(const DayTable &table, size_t count)
{
    std::mt19937_64 engine(7);
    const auto first = qint64(table.thingDate(1));
    const auto span = quint64(qint64(table.thingDate(table.DayCount())) - first + 1);
    std::vector<double> days(count);
    for (double &d : days)
        d = double(first + qint64(engine() % span));
    return days;
}

// Months with 31 days, the most a calendar page shows.
std::vector<QDate> monthsToShow(const DayTable &table, size_t count)
{
    std::vector<QDate> months;
    for (double day : daysToShow(table, count * 2)) {
        QDate d = *oledate::toDate(day);
        d = QDate(d.year(), d.month(), 1);
        if (d.daysInMonth() == 31 && months.size() < count)
            months.push_back(d);
    }
    return months;
}

// --- The work behind the windows -----------------------------------------------------------------

void BM_ShowDay(benchmark::State &state)
{
    const DayTable &table = loadedTable(state.range(0));
    const auto days = daysToShow(table, 4096);
    size_t next = 0;
    const auto start = Clock::now();
    for (auto _ : state) {
        benchmark::DoNotOptimize(showDay(table, days[next++ % days.size()]));
    }
    reportAgainst(state, msSince(start) / double(state.iterations()), 1.0, "ms", QStringLiteral("1 ms"));
}
BENCHMARK(BM_ShowDay)->Arg(1'000'000)->Arg(32'767)->Unit(benchmark::kMicrosecond);

// Start-up loads the file and shows today. The day index comes with the load; what is left for
// the first call is a table that nothing has touched since. The load itself is not timed.
template <typename FirstCall>
void timeFirstCallAfterLoad(benchmark::State &state, double limitMs, const QString &limitText, FirstCall firstCall)
{
    std::vector<double> times;
    for (auto _ : state) {
        FileOps ops; // not the shared table: that one has been used by the benchmarks above
        DayFile file(ops, dayFile(state.range(0)));
        if (!file.load().ok()) {
            state.SkipWithError("cannot load the day file");
            return;
        }
        const auto start = Clock::now();
        firstCall(file.table());
        const double ms = msSince(start);
        times.push_back(ms);
        state.SetIterationTime(ms / 1000);
    }
    reportAgainst(state, median(times), limitMs, "ms", limitText);
}

void BM_ShowFirstDayAfterLoad(benchmark::State &state)
{
    timeFirstCallAfterLoad(state, 1.0, QStringLiteral("1 ms (showing a day)"), [](const DayTable &table) {
        benchmark::DoNotOptimize(showDay(table, table.thingDate(table.DayCount())));
    });
}
BENCHMARK(BM_ShowFirstDayAfterLoad)->Arg(1'000'000)->Arg(32'767)->UseManualTime()
    ->Unit(benchmark::kMillisecond)->Iterations(10);

// The calendar's month: the grid and the lines of every day, as the window paints them. Today
// is the book's last day, so every month before it has its unfinished things in the past.
void BM_MonthGridFill(benchmark::State &state)
{
    const DayTable &table = loadedTable(state.range(0));
    const QDate today = *oledate::toDate(table.thingDate(table.DayCount()));
    const auto months = monthsToShow(table, 512);
    monthgrid::fill(table, months.front(), today);
    size_t next = 0;
    const auto start = Clock::now();
    for (auto _ : state) {
        benchmark::DoNotOptimize(monthgrid::fill(table, months[next++ % months.size()], today));
    }
    reportAgainst(state, msSince(start) / double(state.iterations()), 5.0, "ms", QStringLiteral("5 ms"));
}
BENCHMARK(BM_MonthGridFill)->Arg(1'000'000)->Arg(32'767)->Unit(benchmark::kMicrosecond);

// The first month filled on a freshly loaded table.
void BM_MonthGridFillFirstAfterLoad(benchmark::State &state)
{
    timeFirstCallAfterLoad(state, 5.0, QStringLiteral("5 ms (first month after a load)"), [](const DayTable &table) {
        const QDate today = *oledate::toDate(table.thingDate(table.DayCount()));
        benchmark::DoNotOptimize(monthgrid::fill(table, today, today));
    });
}
BENCHMARK(BM_MonthGridFillFirstAfterLoad)->Arg(1'000'000)->Arg(32'767)->UseManualTime()
    ->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char *argv[])
{
    return bench::runBenchmarks(argc, argv);
}
