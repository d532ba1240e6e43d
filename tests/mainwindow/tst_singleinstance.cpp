#include "singleinstance.h"

#include <QFile>
#include <QProcess>
#include <QLocalServer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>

class tst_SingleInstance : public QObject
{
    Q_OBJECT
private slots:
    void aSecondStartReachesTheFirst()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("things.dat"));
        SingleInstance first(path);
        QVERIFY(first.listen());
        QSignalSpy spy(&first, &SingleInstance::activationRequested);
        // the second start blocks on its socket, so it runs beside this event loop
        auto reached = QtConcurrent::run([&] { return SingleInstance(dir.path() + QStringLiteral("/./things.dat")).activateRunning(3000); });
        QTRY_VERIFY(reached.isFinished());
        QVERIFY(reached.result());
        QCOMPARE(spy.count(), 1);
    }
    void nobodyListening()
    {
        QTemporaryDir dir;
        SingleInstance lone(dir.filePath(QStringLiteral("things.dat")));
        QVERIFY(!lone.activateRunning(200));
        QVERIFY(!lone.errorString().isEmpty());
    }
    void aSocketLeftBehindIsReplaced()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("things.dat"));
        QLocalServer dead;
        QVERIFY(dead.listen(SingleInstance::serverNameFor(path)));
        const QString file = dead.fullServerName();
        dead.close(); // closing removes it; recreate a stale file the way a killed program leaves it
        QFile stale(file);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        SingleInstance first(path);
        QVERIFY(first.listen());
    }
    void twoStartsAtOnceGiveOneWindow();
};

// Real programs, started in pairs: one keeps its window, the other hands over and ends at
// once, without a message (a message box would keep it running). The survivor is killed, so
// each round also starts over a lock that a dead program left behind.
void tst_SingleInstance::twoStartsAtOnceGiveOneWindow()
{
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("tallyleaf"));
    QVERIFY(QFile::copy(QStringLiteral(TALLYLEAF_PROGRAM), program));
    QFile portable(dir.filePath(QStringLiteral("things.dat"))); // a portable copy: the day file beside it is used
    QVERIFY(portable.open(QIODevice::WriteOnly));
    portable.close();
    for (int round = 0; round < 20; ++round) {
        QProcess a, b;
        a.start(program, {});
        b.start(program, {});
        QVERIFY(a.waitForStarted() && b.waitForStarted());
        QDeadlineTimer deadline(15'000);
        while (a.state() == QProcess::Running && b.state() == QProcess::Running && !deadline.hasExpired())
            QTest::qWait(20);
        QProcess &ended = a.state() == QProcess::Running ? b : a;
        QProcess &running = a.state() == QProcess::Running ? a : b;
        QVERIFY2(ended.state() == QProcess::NotRunning, qPrintable(QStringLiteral("round %1: two windows").arg(round)));
        QCOMPARE(ended.exitStatus(), QProcess::NormalExit);
        QCOMPARE(ended.exitCode(), 0);
        QTest::qWait(50);
        QVERIFY2(running.state() == QProcess::Running, qPrintable(QStringLiteral("round %1: no window").arg(round)));
        running.kill();
        QVERIFY(running.waitForFinished());
    }
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("things.dat.journal")))); // made at start-up beside it
}

QTEST_MAIN(tst_SingleInstance)
#include "tst_singleinstance.moc"
