// Resident memory of the day book, each figure from a fresh process (bench-probe).
#include "benchsupport.h"

#include <QFileInfo>
#include <QStringList>

using namespace bench;

namespace {

constexpr double BytesPerMB = 1e6;

struct Probe
{
    bool ok = false;
    double rssMB = 0;
    double peakMB = 0;
    QString error;
};

Probe runProbe(const QString &mode, const QString &dayFilePath = QString())
{
    QStringList args{QStringLiteral("rss"), mode};
    if (!dayFilePath.isEmpty())
        args << dayFilePath;
    Probe probe;
    const auto numbers = bench::runProbe(args, &probe.error);
    if (!numbers || numbers->size() != 3) {
        if (probe.error.isEmpty())
            probe.error = QStringLiteral("unexpected output from bench-probe");
        return probe;
    }
    probe.ok = true;
    probe.rssMB = (*numbers)[0] * 1024 / BytesPerMB;
    probe.peakMB = (*numbers)[1] * 1024 / BytesPerMB;
    return probe;
}

// The least of a few runs: the resident size of one process varies with what the kernel maps.
Probe leastOf(const QString &mode, const QString &dayFilePath = QString())
{
    Probe least;
    for (int run = 0; run < 3; ++run) {
        const Probe p = runProbe(mode, dayFilePath);
        if (!p.ok)
            return p;
        if (!least.ok || p.rssMB < least.rssMB)
            least = p;
    }
    return least;
}

// range(0): 0 compares with Qt Core started, 1 with a bare Qt window shown.
void BM_MemoryEmptyDayFile(benchmark::State &state)
{
    const QString mode = state.range(0) == 0 ? QStringLiteral("core") : QStringLiteral("window");
    const QString path = dayFile(0);
    Probe bare, loaded;
    for (auto _ : state) {
        bare = leastOf(mode);
        loaded = leastOf(mode, path);
    }
    if (!bare.ok || !loaded.ok) {
        state.SkipWithError(qPrintable((bare.ok ? loaded.error : bare.error)));
        return;
    }
    state.counters["bare_MB"] = bare.rssMB;
    state.counters["loaded_MB"] = loaded.rssMB;
    reportAgainst(state, loaded.rssMB - bare.rssMB, 10, "MB",
                  mode == QLatin1String("core")
                      ? QStringLiteral("10 MB above a process with Qt Core started")
                      : QStringLiteral("10 MB above a bare Qt window (no day book)"));
}
BENCHMARK(BM_MemoryEmptyDayFile)->ArgName("window")->Arg(0)->Arg(1)->Iterations(1);

void BM_MemoryMillionRecords(benchmark::State &state)
{
    const QString path = dayFile(1'000'000);
    Probe loaded;
    for (auto _ : state)
        loaded = leastOf(QStringLiteral("core"), path);
    if (!loaded.ok) {
        state.SkipWithError(qPrintable(loaded.error));
        return;
    }
    const double fileMB = double(QFileInfo(path).size()) / BytesPerMB;
    state.counters["peak_MB"] = loaded.peakMB;
    state.counters["file_MB"] = fileMB;
    reportAgainst(state, loaded.rssMB, 1.3 * fileMB, "MB", QStringLiteral("1.3 x the file's size"));
}
BENCHMARK(BM_MemoryMillionRecords)->Iterations(1);

} // namespace

int main(int argc, char *argv[])
{
    return bench::runBenchmarks(argc, argv);
}
