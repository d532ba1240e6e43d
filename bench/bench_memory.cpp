// Resident memory of the day book and of the program's start, each figure from a fresh process
// (bench-probe, or the program itself).
#include "benchsupport.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

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

void BM_MemoryEmptyDayFile(benchmark::State &state)
{
    const QString path = dayFile(0);
    Probe bare, loaded;
    for (auto _ : state) {
        bare = leastOf(QStringLiteral("core"));
        loaded = leastOf(QStringLiteral("core"), path);
    }
    if (!bare.ok || !loaded.ok) {
        state.SkipWithError(qPrintable((bare.ok ? loaded.error : bare.error)));
        return;
    }
    state.counters["bare_MB"] = bare.rssMB;
    state.counters["loaded_MB"] = loaded.rssMB;
    reportAgainst(state, loaded.rssMB - bare.rssMB, 10, "MB", QStringLiteral("10 MB above a process with Qt Core started"));
}
BENCHMARK(BM_MemoryEmptyDayFile)->Iterations(1);

// The resident size of a program started on its own, once start-up is over: sampled every 100 ms
// until it has stayed the same for a second, then the program is ended.
Probe settled(const QString &program, const QStringList &arguments, const QString &home)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("DISPLAY")) && !env.contains(QStringLiteral("WAYLAND_DISPLAY")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // Settings and the sync's state of a user of its own: nothing of the machine's user is read.
    env.insert(QStringLiteral("HOME"), home);
    for (const char *folder : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
        env.insert(QString::fromLatin1(folder), home + QLatin1Char('/') + QString::fromLatin1(folder).toLower());
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    Probe probe;
    if (!process.waitForStarted()) {
        probe.error = process.errorString();
        return probe;
    }
    const QString status = QStringLiteral("/proc/%1/status").arg(process.processId());
    qint64 last = -1;
    int steady = 0;
    for (int sample = 0; sample < 300 && steady < 10; ++sample) {
        if (process.waitForFinished(100)) {
            probe.error = QStringLiteral("%1 ended at start-up: %2")
                              .arg(program, QString::fromLocal8Bit(process.readAllStandardError()).trimmed());
            return probe;
        }
        QFile file(status);
        qint64 rssKB = -1;
        if (file.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : file.readAll().split('\n')) {
                if (line.startsWith("VmRSS:"))
                    rssKB = line.mid(6).trimmed().split(' ').first().toLongLong();
            }
        }
        steady = rssKB == last ? steady + 1 : 0;
        last = rssKB;
    }
    process.terminate();
    if (!process.waitForFinished(10'000))
        process.kill();
    if (steady < 10 || last <= 0) {
        probe.error = QStringLiteral("%1 did not settle within 30 s").arg(program);
        return probe;
    }
    probe.ok = true;
    probe.rssMB = double(last) * 1024 / BytesPerMB;
    return probe;
}

Probe leastSettled(const QString &program, const QStringList &arguments, const QString &home)
{
    Probe least;
    for (int run = 0; run < 3; ++run) {
        const Probe p = settled(program, arguments, home);
        if (!p.ok)
            return p;
        if (!least.ok || p.rssMB < least.rssMB)
            least = p;
    }
    return least;
}

// The program as a user starts it, on an empty day file with no sync set up, its window shown,
// against a program that shows a bare Qt window: what the program loads and keeps beyond Qt.
void BM_MemoryEmptyStart(benchmark::State &state)
{
    QTemporaryDir home;
    const QString dayFilePath = home.filePath(QStringLiteral("things.dat"));
    QFile empty(dayFilePath);
    if (!home.isValid() || !empty.open(QIODevice::WriteOnly)) {
        state.SkipWithError("cannot make an empty day file");
        return;
    }
    empty.close();
    Probe bare, started;
    for (auto _ : state) {
        bare = leastSettled(QStringLiteral(BARE_WINDOW), {}, home.path());
        started = leastSettled(QStringLiteral(TALLYLEAF_PROGRAM), {QStringLiteral("--day-file"), dayFilePath}, home.path());
    }
    if (!bare.ok || !started.ok) {
        state.SkipWithError(qPrintable((bare.ok ? started.error : bare.error)));
        return;
    }
    state.counters["bare_MB"] = bare.rssMB;
    state.counters["started_MB"] = started.rssMB;
    reportAgainst(state, started.rssMB - bare.rssMB, 10, "MB", QStringLiteral("10 MB above a bare Qt window"));
}
BENCHMARK(BM_MemoryEmptyStart)->Iterations(1);

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
