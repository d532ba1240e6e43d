#include "filebytes.h"
#include "dayfile.h"
#include "fileops.h"
#include "slotimage.h"
#include "rollbackjournal.h"

#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <thread>

namespace {

// Two days nobody saves, two the child rewrites, then days it appends: the first append covers
// bytes 4000 to 5000 and so crosses a 4 KiB page, as does the fifth (8000 to 9000).
const QList<double> Untouched{39000, 39001};
const QList<double> Rewritten{40000, 40001};
const QList<double> Appended{41000, 41001, 41002, 41003, 41004, 41005};
const QByteArray Fragment(50, 'f'); // the start of a slot, too short to be a record

QByteArray initialImage()
{
    QByteArray bytes;
    for (double day : Untouched + Rewritten)
        bytes += slotimage::daySlots(day, "init");
    return bytes + Fragment;
}

} // namespace

class tst_CrashRecovery : public QObject
{
    Q_OBJECT

private slots:
    void killedMidSaveLosesNoDay();

private:
    void checkRecovered(const QString &path, const QByteArray &initial, const QMap<double, qint64> &reported,
                        int *interrupted);
};

void tst_CrashRecovery::checkRecovered(const QString &path, const QByteArray &initial,
                                       const QMap<double, qint64> &reported, int *interrupted)
{
    FileOps ops;
    DayFile file(ops, path);
    const DayTable &table = file.table();
    const LoadReport load = file.load();
    QVERIFY2(load.ok(), qPrintable(load.problem.describe()));
    if (load.recovery != rollbackjournal::Outcome::NoJournal)
        ++*interrupted;
    QVERIFY2(load.recovery != rollbackjournal::Outcome::SetAside, "the file's own journal was taken for another's");

    const QByteArray bytes = readFile(path);
    const qsizetype beforeAppends = initial.size() - Fragment.size();
    if (bytes.size() == initial.size())
        QCOMPARE(bytes.mid(beforeAppends), Fragment);
    else
        QVERIFY2(bytes.size() % 200 == 0 && bytes.size() > beforeAppends,
                 qPrintable(QStringLiteral("length %1").arg(bytes.size())));
    QCOMPARE(bytes.left(1000 * Untouched.size()), initial.left(1000 * Untouched.size()));
    QCOMPARE(table.DayCount() % 5, 0);

    QSet<double> seen;
    for (qint32 first = 1; first <= table.DayCount(); first += 5) {
        const double day = table.thingDate(first);
        QVERIFY2(!seen.contains(day), "a day saved twice");
        seen.insert(day);
        QByteArray save;
        for (qint32 no = 1; no <= 5; ++no) {
            const qint32 i = first + no - 1;
            QCOMPARE(table.thingNo(i), no);
            QCOMPARE(table.thingDate(i), day);
            const QList<QByteArray> parts = table.text(i).toByteArray().split('-');
            QCOMPARE(parts.size(), 2);
            QCOMPARE(parts.at(1).toInt(), no);
            if (no == 1)
                save = parts.at(0);
            QVERIFY2(parts.at(0) == save, "a day mixes two saves");
            if (save.startsWith('g'))
                QCOMPARE(table.isDone(i), bool((save.mid(1).toLongLong() >> (no - 1)) & 1));
        }
        const qint64 generation = save.startsWith('g') ? save.mid(1).toLongLong() : -1;
        QVERIFY2(generation >= reported.value(day, -1), "a save reported as done was undone");
    }
}

void tst_CrashRecovery::killedMidSaveLosesNoDay()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("things.dat"));
    const QByteArray initial = initialImage();
    QStringList days;
    for (double d : Rewritten + Appended)
        days << QString::number(d);

    QRandomGenerator random(0x7a11);
    QMap<double, qint64> reported; // the newest save of each day the child was told is done
    int interrupted = 0;
    constexpr int Kills = 200;
    for (int kill = 0; kill < Kills; ++kill) {
        if (kill % 8 == 0) { // back to the start now and then, so that appends keep happening
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(initial);
            f.close();
            reported.clear();
        }

        QProcess child;
        child.start(QStringLiteral(DAYFILE_SAVER),
                    QStringList{QStringLiteral("save"), path, QString::number(random.generate()),
                                QString::number(qint64(kill) * 1'000'000),
                                // every other child writes in small pieces, which a kill can split
                                QString::number(kill % 2 ? 128 : 0)}
                        + days);
        QVERIFY(child.waitForStarted());
        while (!child.canReadLine())
            QVERIFY2(child.waitForReadyRead(10'000), child.readAllStandardError().constData());
        QCOMPARE(child.readLine(), QByteArray("ready\n"));
        std::this_thread::sleep_for(std::chrono::microseconds(random.bounded(20'000)));
        child.kill(); // SIGKILL
        QVERIFY(child.waitForFinished());
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
            const QList<QByteArray> f = line.split(' ');
            if (f.size() == 2)
                reported[f.at(0).toDouble()] = f.at(1).toLongLong();
        }
        checkRecovered(path, initial, reported, &interrupted);
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(QStringLiteral("after kill %1").arg(kill + 1)));
    }
    qInfo("%d of %d kills interrupted a save", interrupted, Kills);
    // Otherwise the kills all fell between saves and the test proved nothing.
    QVERIFY(interrupted >= Kills / 20);
}

QTEST_GUILESS_MAIN(tst_CrashRecovery)
#include "tst_crashrecovery.moc"
