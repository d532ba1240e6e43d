#pragma once

#include "daytable.h"

#include <QString>
#include <QStringList>
#include <benchmark/benchmark.h>
#include <chrono>
#include <optional>
#include <vector>

// What every benchmark here shares: the day files it measures, the plain file operations its
// limits are stated against, and one way of printing a figure beside its limit.
namespace bench {

using Clock = std::chrono::steady_clock;

inline double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Where day files live: $TALLYLEAF_BENCH_DIR, or a directory of our own on disk that goes away
// with the process. Timing durable writes on tmpfs would measure nothing, hence not /tmp.
QString dataDir();
bool onTmpfs(const QString &path);

// The day file of that many records in dataDir(), written by the generator when missing.
QString dayFile(qint64 records);

// A table loaded from dayFile(records), kept for the whole run. Loading aborts the run on error.
const DayTable &loadedTable(qint64 records);

// The reference for loads: one read of the whole file into a freshly allocated buffer.
// Returns the bytes read, or -1.
qint64 plainRead(const QString &path);

// Runs bench-probe with args in a fresh process and returns the numbers it printed; nothing,
// with error set, when it failed. Window measurements get the offscreen platform without a display.
std::optional<std::vector<double>> runProbe(const QStringList &args, QString *error);

double median(std::vector<double> values);

// Prints figure beside limit as counters and a label "unit|what the limit is", which
// bench-summary turns into the table. Lower is better for every figure here.
void reportAgainst(benchmark::State &state, double figure, double limit, const char *unit, const QString &against);

// main() of every benchmark here: Qt Core started, then Google Benchmark.
int runBenchmarks(int argc, char *argv[]);

} // namespace bench
