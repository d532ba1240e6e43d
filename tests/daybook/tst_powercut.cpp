#include "dayfile.h"
#include "pagecacheops.h"
#include "rollbackjournal.h"
#include "daybuilders.h"

#include <QTest>

namespace {

const QString Path = QStringLiteral("/day/things.dat");
const QString Journal = rollbackjournal::pathFor(Path);
constexpr double LaterDay = 40000; // the day a second save writes, after the first was cut short

struct Setup
{
    QByteArray before;
    double earlier = 0; // a day saved whole first, so that its journal is overwritten
    double day = 0;
    bool journalGone = false; // the journal disappears after the load
    int earlierDays = 1;      // how many days from earlier on that first save rewrites at once
};

// How one crash ends: the process dies (the page cache survives) or the power goes.
struct Ending
{
    bool killOnly;
    PageCacheOps::Loss loss;
};
const Ending Endings[] = {
    {true, PageCacheOps::Loss::Nothing},
    {false, PageCacheOps::Loss::Everything},
    {false, PageCacheOps::Loss::Random},
    {false, PageCacheOps::Loss::Random},
    {false, PageCacheOps::Loss::Random},
    {false, PageCacheOps::Loss::Random},
};

void end(PageCacheOps &ops, const Ending &e, QRandomGenerator &random)
{
    if (e.killOnly)
        ops.kill();
    else
        ops.powerCut(e.loss, random);
}

// Loads and saves until the save, as the program would; the save stops after crashAfter calls.
SaveReport loadAndSave(PageCacheOps &ops, const Setup &s, int crashAfter)
{
    ops.put(Path, s.before);
    DayFile file(ops, Path);
    if (!file.load().ok())
        qFatal("the first load failed");
    std::vector<std::pair<QDate, DayThings>> earlier;
    for (int d = 0; s.earlier != 0 && d < s.earlierDays; ++d)
        earlier.emplace_back(dayOf(s.earlier + d), thingsOf(QStringLiteral("earlier ")));
    if (!earlier.empty() && !file.saveDays(earlier).allOnDisk())
        qFatal("the earlier save failed");
    if (s.journalGone)
        ops.forget(Journal);
    ops.resetCounters();
    ops.crashAfter = crashAfter;
    return file.saveDay(dayOf(s.day), thingsOf(QStringLiteral("new ")));
}

// The file as a save of LaterDay leaves it, starting from bytes.
QByteArray withLaterSave(const QByteArray &bytes)
{
    PageCacheOps ops;
    ops.put(Path, bytes);
    DayFile file(ops, Path);
    if (!file.load().ok() || !file.saveDay(dayOf(LaterDay), thingsOf(QStringLiteral("later "))).allOnDisk())
        qFatal("the reference save failed");
    return ops.bytes(Path);
}

} // namespace

Q_DECLARE_METATYPE(Setup)

class tst_PowerCut : public QObject
{
    Q_OBJECT

private slots:
    void everyCrashLeavesWholeDays_data();
    void everyCrashLeavesWholeDays();
    void syncsPerSave_data();
    void syncsPerSave();
    void theDoneMarkReachesTheDisk_data();
    void theDoneMarkReachesTheDisk();
};

void tst_PowerCut::everyCrashLeavesWholeDays_data()
{
    QTest::addColumn<Setup>("setup");
    const QByteArray fourDays = days(4, LaterDay);
    QTest::newRow("rewrite in place") << Setup{fourDays, 0, LaterDay + 1};
    QTest::newRow("append") << Setup{fourDays, 0, 41000};
    QTest::newRow("append over a trailing fragment") << Setup{fourDays + QByteArray(150, 'f'), 0, 41000};
    QTest::newRow("first day of an empty file") << Setup{{}, 0, 41000};
    QTest::newRow("rewrite after an earlier save") << Setup{fourDays, LaterDay + 2, LaterDay + 1};
    QTest::newRow("append after an earlier append") << Setup{fourDays, 41001, 41000};
    QTest::newRow("journal made by the save") << Setup{fourDays, 0, LaterDay + 3, true};
    // P6: the large save's journal (34 days, just over 64 KiB) is cut to the small one's, whose
    // day spans three sectors.
    QTest::newRow("a small save after a large one") << Setup{days(34, LaterDay), LaterDay, LaterDay + 1, false, 34};
}

// A save cut short at every one of its calls, by a killed process or a power cut that keeps any
// mixture of the unsynced sectors; then start-up recovery, itself cut short at every call; then
// a later save of another day in the same session, cut short at every call. After each recovery
// the file is the file before or after each save, never a mixture, and a save reported done is
// never undone.
void tst_PowerCut::everyCrashLeavesWholeDays()
{
    QFETCH(Setup, setup);
    PageCacheOps reference;
    QVERIFY(loadAndSave(reference, setup, -1).allOnDisk());
    const QByteArray after = reference.bytes(Path);
    const int saveCalls = reference.calls;
    PageCacheOps first; // stopped at the save's first call, so it holds the file before the save
    QVERIFY(!loadAndSave(first, setup, 0).allOnDisk());
    const QByteArray before = first.bytes(Path);
    QVERIFY(before != after);
    const QByteArray laterOnBefore = withLaterSave(before);
    const QByteArray laterOnAfter = withLaterSave(after);

    // Start-up: the file as the load leaves it, marked when the load failed or lost records.
    const auto load = [](PageCacheOps &ops, DayFile &file) {
        const LoadReport load = file.load();
        QByteArray bytes = ops.bytes(Path);
        if (!load.ok() || file.table().DayCount() != bytes.size() / 200 + (bytes.size() % 200 >= 178))
            bytes.prepend("<load failed> ");
        return bytes;
    };
    const auto recoveredBytes = [&](PageCacheOps &ops) {
        DayFile file(ops, Path);
        return load(ops, file);
    };

    int runs = 0;
    for (int crash = 0; crash <= saveCalls; ++crash) {
        for (size_t e = 0; e < std::size(Endings); ++e) {
            for (int recoveryCrash = -1; recoveryCrash < 6; ++recoveryCrash) {
                for (int laterCrash = -1; laterCrash < 5; ++laterCrash) {
                    const QString where = QStringLiteral("save cut after %1 calls, ending %2, recovery cut after %3")
                                              .arg(crash).arg(e).arg(recoveryCrash);
                    QRandomGenerator random(quint32(crash * 1000 + int(e) * 100 + recoveryCrash * 10 + laterCrash + 11));
                    PageCacheOps ops;
                    const bool done = loadAndSave(ops, setup, crash).allOnDisk();
                    end(ops, Endings[e], random);
                    if (recoveryCrash >= 0) {
                        ops.crashAfter = recoveryCrash;
                        recoveredBytes(ops);
                        end(ops, Endings[random.bounded(int(std::size(Endings)))], random);
                    }
                    DayFile file(ops, Path);
                    const QByteArray recovered = load(ops, file);
                    QVERIFY2(recovered == after || (!done && recovered == before),
                             qPrintable(where + (done ? QStringLiteral(": a save reported done was lost")
                                                      : QStringLiteral(": the file mixes old and new slots"))));

                    // A later save of the same session overwrites the journal: whatever recovery left
                    // must be on the disk by then.
                    ops.resetCounters();
                    ops.crashAfter = laterCrash;
                    const bool laterDone = !recovered.startsWith("<load failed>")
                        && file.saveDay(dayOf(LaterDay), thingsOf(QStringLiteral("later "))).allOnDisk();
                    end(ops, Endings[random.bounded(int(std::size(Endings)))], random);
                    const QByteArray later = recovered == after ? laterOnAfter : laterOnBefore;
                    const QByteArray final = recoveredBytes(ops);
                    QVERIFY2(final == later || (!laterDone && final == recovered),
                             qPrintable(where + QStringLiteral(", later save cut after %1: the file is neither before nor "
                                                               "after the later save")
                                                    .arg(laterCrash)));
                    ++runs;
                }
            }
        }
    }
    QVERIFY(runs > 500);
}

void tst_PowerCut::syncsPerSave_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("saved"); // the texts of the save, its thing number appended
    QTest::addColumn<double>("day");
    QTest::addColumn<bool>("journalGone");
    QTest::addColumn<int>("fsyncs");
    QTest::addColumn<int>("folderSyncs");
    QTest::addColumn<int>("writes");

    QByteArray unchanged = days(3, LaterDay);
    {
        PageCacheOps ops;
        ops.put(Path, unchanged);
        DayFile file(ops, Path);
        QVERIFY(file.load().ok());
        QVERIFY(file.saveDay(dayOf(LaterDay + 1), thingsOf(QStringLiteral("same "))).allOnDisk());
        unchanged = ops.bytes(Path);
    }
    // P3 and P4; the third write of a changed save is the done mark (P5), which is not synced.
    QTest::newRow("P3: unchanged day") << unchanged << "same " << LaterDay + 1 << false << 0 << 0 << 0;
    QTest::newRow("P3: changed day") << unchanged << "other " << LaterDay + 1 << false << 2 << 0 << 3;
    QTest::newRow("P3: new day") << unchanged << "new " << 41000.0 << false << 2 << 0 << 3;
    QTest::newRow("P4: no journal yet") << unchanged << "new " << 41000.0 << true << 2 << 1 << 3;
}

// A save whose slots already hold its bytes touches nothing; any other syncs the journal and
// the day file, and the folder only when it has to make the journal.
void tst_PowerCut::syncsPerSave()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, saved);
    QFETCH(double, day);
    QFETCH(bool, journalGone);
    PageCacheOps ops;
    ops.put(Path, before);
    DayFile file(ops, Path);
    QVERIFY(file.load().ok());
    if (journalGone)
        ops.forget(Journal);
    ops.resetCounters();
    QVERIFY(file.saveDay(dayOf(day), thingsOf(saved)).allOnDisk());
    QTEST(ops.fsyncs, "fsyncs");
    QTEST(ops.folderSyncs, "folderSyncs");
    QTEST(ops.writes, "writes");
    if (ops.writes == 0)
        QCOMPARE(ops.bytesWritten, 0);
}

void tst_PowerCut::theDoneMarkReachesTheDisk_data()
{
    QTest::addColumn<bool>("killed");
    QTest::newRow("P5: closed") << false;
    QTest::newRow("P5: killed, then loaded again") << true;
}

// The done mark a save leaves unsynced reaches the disk when the file is closed or, after a
// killed program, with the next load: a power cut after either finds the journal marked done.
void tst_PowerCut::theDoneMarkReachesTheDisk()
{
    QFETCH(bool, killed);
    PageCacheOps ops;
    ops.put(Path, days(4, LaterDay));
    {
        DayFile file(ops, Path);
        QVERIFY(file.load().ok());
        QVERIFY(file.saveDay(dayOf(LaterDay + 1), thingsOf(QStringLiteral("new "))).allOnDisk());
        if (killed)
            ops.crashAfter = ops.calls; // nothing more reaches even the page cache, closing included
    }
    if (killed) {
        ops.kill();
        DayFile again(ops, Path);
        QVERIFY(again.load().ok());
    }
    QRandomGenerator unused(1); // Everything is lost: nothing is drawn
    ops.powerCut(PageCacheOps::Loss::Everything, unused);
    QCOMPARE(ops.bytes(Journal).left(rollbackjournal::HeaderLength), QByteArray(rollbackjournal::HeaderLength, 0));
}

QTEST_GUILESS_MAIN(tst_PowerCut)
#include "tst_powercut.moc"
