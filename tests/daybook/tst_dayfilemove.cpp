#include "dayfilemove.h"
#include "faultyops.h"
#include "filebytes.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <map>

namespace {

// Syncs are counted and may fail, but take no time: each test runs a few hundred moves.
struct QuickDisk : FaultyOps
{
    int fsync(int) override { return countCall(); }
    int syncDirectory(const QString &) override { return countCall(); }
    int countCall()
    {
        ++calls;
        if (failAt > 0 && (calls == failAt || (persistent && calls > failAt))) {
            errno = error;
            return -1;
        }
        return 0;
    }
};

// Two file systems, as far as rename can tell: the move has to copy.
struct TwoDisks : QuickDisk
{
    int renameNoReplace(const QString &from, const QString &to) override
    {
        if (QFileInfo(from).absolutePath() != QFileInfo(to).absolutePath()) {
            errno = EXDEV;
            return -1;
        }
        return QuickDisk::renameNoReplace(from, to);
    }
};

const QStringList Belonging = {"things.dat", "things.dat.journal", "things.dat.journal.kept-2", "things.dat.caldav"};
const QStringList Staying = {"things.dat.lock", "things.sync-conflict-20260101-101010-ABCDEFG.dat"};

// The old folder's files, each with bytes of its own; the day file is longer than one copy chunk.
std::map<QString, QByteArray> fillOldFolder(const QString &old)
{
    std::map<QString, QByteArray> files;
    for (const QString &name : Belonging + Staying) {
        files[name] = name.toUtf8().repeated(name == "things.dat" ? 120'000 : 3);
        if (!writeFile(old + "/" + name, files[name]))
            return {};
    }
    return files;
}

QStringList namesIn(const QString &dir) { return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

} // namespace

class tst_DayFileMove : public QObject
{
    Q_OBJECT

private slots:
    void everyFailureLeavesTheDayFileWholeInOnePlace_data()
    {
        QTest::addColumn<bool>("copies");
        QTest::addColumn<bool>("diskStaysBroken");
        QTest::newRow("one file system, one call fails") << false << false;
        QTest::newRow("one file system, every call fails from one on") << false << true;
        QTest::newRow("two file systems, one call fails") << true << false;
        QTest::newRow("two file systems, every call fails from one on") << true << true;
    }

    // Each call of the move fails in turn: the move either went through whole or left the old
    // folder exactly as it was, and whatever it could not clear up it names.
    void everyFailureLeavesTheDayFileWholeInOnePlace()
    {
        QFETCH(bool, copies);
        QFETCH(bool, diskStaysBroken);
        bool failedOnce = false;
        for (int failAt = 1;; ++failAt) {
            QTemporaryDir root;
            const QString old = root.filePath("old"), target = root.filePath("synced");
            QVERIFY(QDir().mkpath(old) && QDir().mkpath(target));
            const std::map<QString, QByteArray> files = fillOldFolder(old);
            QVERIFY(QFile::setPermissions(old + "/things.dat", QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
            TwoDisks twoDisks;
            QuickDisk oneDisk;
            QuickDisk &ops = copies ? twoDisks : oneDisk;
            ops.persistent = diskStaysBroken;
            ops.reset(failAt);

            const MoveReport report = moveDayFile(ops, old + "/things.dat", target);
            const QString at = QStringLiteral("failing call %1").arg(failAt);
            QVERIFY2(report.status == MoveReport::Status::Moved || report.status == MoveReport::Status::Failed,
                     qPrintable(at));
            const QStringList leftOld = namesIn(old), inTarget = namesIn(target);
            if (report.status == MoveReport::Status::Failed) {
                failedOnce = true;
                // A file whose way back failed too stays in the target, named.
                for (const auto &[name, bytes] : files) {
                    const bool stuck = name != "things.dat" && report.leftBehind.contains(target + "/" + name);
                    QVERIFY2(readFile((stuck ? target : old) + "/" + name) == bytes, qPrintable(at + ": " + name));
                }
                for (const QString &name : inTarget)
                    QVERIFY2(report.leftBehind.contains(target + "/" + name), qPrintable(at + ": " + name));
                QVERIFY2(diskStaysBroken || inTarget.isEmpty(), qPrintable(at + ": " + inTarget.join(' ')));
                continue;
            }
            QCOMPARE(report.newPath, target + "/things.dat");
            for (const QString &name : Belonging)
                QVERIFY2(readFile(target + "/" + name) == files.at(name), qPrintable(at + ": " + name));
            QCOMPARE(QFile::permissions(report.newPath), // a copy keeps the mode too
                     QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup);
            for (const QString &name : leftOld)
                QVERIFY2(Staying.contains(name) || report.leftBehind.contains(old + "/" + name), qPrintable(at + ": " + name));
            QVERIFY(!leftOld.contains("things.dat")); // never in two places
            if (!ops.triggered())
                break; // no call failed: every call has had its turn
        }
        QVERIFY(failedOnce);
    }

    void refusesWithoutTouchingAnything_data()
    {
        QTest::addColumn<QString>("inTarget");
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("status");
        using S = MoveReport::Status;
        QTest::newRow("a day file in the target") << "things.dat" << "synced" << int(S::TargetTaken);
        QTest::newRow("a journal in the target, though this day file brings none")
            << "things.dat.journal" << "synced" << int(S::TargetTaken);
        QTest::newRow("the same folder by another name") << "" << "old/../old/." << int(S::SameFolder);
        QTest::newRow("no such folder") << "" << "gone" << int(S::NotAFolder);
        QTest::newRow("the day file is a link") << "link" << "synced" << int(S::IsALink);
        QTest::newRow("no day file") << "missing" << "synced" << int(S::Missing);
    }

    void refusesWithoutTouchingAnything()
    {
        QFETCH(QString, inTarget);
        QFETCH(QString, target);
        QFETCH(int, status);
        QTemporaryDir root;
        const QString old = root.filePath("old"), synced = root.filePath("synced");
        QVERIFY(QDir().mkpath(old) && QDir().mkpath(synced));
        const std::map<QString, QByteArray> files = fillOldFolder(old);
        if (inTarget == "things.dat.journal") // one this day file does not have
            QVERIFY(QFile::remove(old + "/things.dat.journal"));
        if (inTarget == "link" || inTarget == "missing")
            QVERIFY(QFile::rename(old + "/things.dat", old + "/real.dat"));
        if (inTarget == "link")
            QVERIFY(QFile::link("real.dat", old + "/things.dat"));
        else if (!inTarget.isEmpty() && inTarget != "missing")
            QVERIFY(writeFile(synced + "/" + inTarget, "theirs"));
        const QStringList before = namesIn(old), targetBefore = namesIn(synced);

        FaultyOps ops;
        const MoveReport report = moveDayFile(ops, old + "/things.dat", root.filePath(target));
        QCOMPARE(int(report.status), status);
        if (report.status == MoveReport::Status::TargetTaken)
            QCOMPARE(report.obstacle, synced + "/" + inTarget);
        QCOMPARE(namesIn(old), before);
        QCOMPARE(namesIn(synced), targetBefore);
        QCOMPARE(readFile(old + "/things.dat.caldav"), files.at("things.dat.caldav"));
    }
};

QTEST_GUILESS_MAIN(tst_DayFileMove)
#include "tst_dayfilemove.moc"
