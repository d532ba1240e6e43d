// What the calendar sync of ten years of things (3,653 days of five, 18,265 to-dos) costs the
// window's thread: every step of an unchanged sync that runs there, one after the other. The
// decisions themselves run on a thread of their own, and the state is first read on another.
#include "benchsupport.h"
#include "changelisting.h"
#include "daybookthings.h"
#include "dayrecord.h"
#include "gbk.h"
#include "oledate.h"
#include "syncstatedatabase.h"

#include <QDir>
#include <QTemporaryDir>
#include <memory>

using namespace bench;

namespace {

constexpr int Days = 3653;
constexpr double FrameMs = 16;
const QDate FirstDay(2017, 1, 1);

QString hrefOf(const ThingKey &key)
{
    return QStringLiteral("/alice/things/%1-%2.ics").arg(key.day.toString(u"yyyyMMdd")).arg(key.number);
}

// Ten years in the table, and the state of a sync that agrees with them, saved once.
struct TenYears
{
    TenYears() : store(folder.filePath(QStringLiteral("state")), folder.filePath(QStringLiteral("things.dat")))
    {
        SyncState state;
        state.url = state.collection = QUrl(QStringLiteral("https://dav.example.org/alice/things/"));
        state.user = QStringLiteral("alice");
        state.syncCollection = true;
        state.syncToken = QStringLiteral("http://radicale.org/ns/sync/1");
        for (int d = 0; d < Days; ++d) {
            const QDate day = FirstDay.addDays(d);
            for (int n = 1; n <= 5; ++n) {
                const ThingInput thing{QStringLiteral("第%1天的第%2件事").arg(d).arg(n), n % 2 == 0};
                table.append(DayRecord{0, n, *gbk::encode(thing.text), qint16(thing.done ? -1 : 0), oledate::fromDate(day)});
                const ThingKey key{day, n};
                state.linked.emplace(hrefOf(key), LinkedTodo{hrefOf(key), QStringLiteral("%1@tallyleaf").arg(hrefOf(key)),
                                                             "\"etag\"", key, thing, {}, false, false});
            }
        }
        SyncStateChange all;
        all.account = all.everything = true;
        if (!store.save(state, all).ok)
            qFatal("cannot save the state of ten years");
    }

    QTemporaryDir folder{QDir(dataDir()).filePath(QStringLiteral("sync-XXXXXX"))};
    DayTable table;
    SyncStateDatabase store;
};

TenYears &tenYears()
{
    static TenYears years;
    return years;
}

// The first read of the state: on a thread of its own before the first sync (preload), so it
// is held against a second, not a frame.
void BM_SyncStateFirstRead(benchmark::State &state)
{
    TenYears &years = tenYears();
    std::vector<double> times;
    for (auto _ : state) {
        SyncStateDatabase fresh(years.folder.filePath(QStringLiteral("state")), years.folder.filePath(QStringLiteral("things.dat")));
        const auto start = Clock::now();
        const auto loaded = fresh.load();
        times.push_back(msSince(start));
        if (!std::holds_alternative<SyncState>(loaded) || std::get<SyncState>(loaded).linked.size() != Days * 5)
            state.SkipWithError("the state did not read back whole");
    }
    reportAgainst(state, median(times), 1000, "ms", QStringLiteral("1 s, on a thread of its own"));
}
BENCHMARK(BM_SyncStateFirstRead)->Iterations(3)->Unit(benchmark::kMillisecond);

// An unchanged sync's steps on the window's thread: the state taken from memory, the listing of
// no changes held against it, the day book read for the planner, the state copied for it, and
// the one step saved at the end (the day file's stamp), durably.
void BM_UnchangedSyncOnTheWindowsThread(benchmark::State &state)
{
    TenYears &years = tenYears();
    if (!std::holds_alternative<SyncState>(years.store.load()))
        return state.SkipWithError("cannot read the state");
    std::vector<double> times;
    std::vector<double> steps[4];
    for (auto _ : state) {
        auto start = Clock::now();
        SyncState known = std::get<SyncState>(years.store.load());
        steps[0].push_back(msSince(start));

        auto at = Clock::now();
        ServerChanges::Listing nothing;
        nothing.token = QStringLiteral("http://radicale.org/ns/sync/2");
        const changelisting::Reading reading = changelisting::read(nothing, known, true);
        steps[1].push_back(msSince(at));

        at = Clock::now();
        auto here = std::make_shared<const std::map<ThingKey, ThingInput>>(DayBookThings::thingsIn(years.table));
        auto copy = std::make_shared<const SyncState>(known);
        steps[2].push_back(msSince(at));

        at = Clock::now();
        known.dayFile.changedNs += 1;
        SyncStateChange stamp;
        stamp.account = true;
        if (!years.store.save(known, stamp).ok)
            state.SkipWithError("cannot save the state");
        steps[3].push_back(msSince(at));
        times.push_back(msSince(start));
        benchmark::DoNotOptimize(reading);
    }
    reportAgainst(state, median(times), FrameMs, "ms",
                  QStringLiteral("one frame (state %1, listing %2, book and copy %3, save %4 ms)")
                      .arg(median(steps[0]), 0, 'f', 1)
                      .arg(median(steps[1]), 0, 'f', 1)
                      .arg(median(steps[2]), 0, 'f', 1)
                      .arg(median(steps[3]), 0, 'f', 1));
}
BENCHMARK(BM_UnchangedSyncOnTheWindowsThread)->Iterations(10)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char *argv[])
{
    return runBenchmarks(argc, argv);
}
