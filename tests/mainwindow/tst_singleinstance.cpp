#include "singleinstance.h"

#include <QFile>
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
};
QTEST_MAIN(tst_SingleInstance)
#include "tst_singleinstance.moc"
