#include "dayfilelock.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

class tst_DayFileLock : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("things.dat"));
        QFile::remove(DayFileLock::pathFor(m_path));
    }
    void aSecondWriterIsTurnedAway();
    void aKilledHolderDoesNotBlockTheNextStart();
    void aDeadHolderWithOurProcessIdIsTakenOver();

private:
    QTemporaryDir m_dir;
    QString m_path;
};

void tst_DayFileLock::aSecondWriterIsTurnedAway()
{
    DayFileLock first(m_path);
    QCOMPARE(first.acquire(), DayFileLock::Status::Locked);

    QProcess second;
    second.start(QStringLiteral(DAYFILE_SAVER), {QStringLiteral("lock"), m_path});
    QVERIFY(second.waitForFinished(10'000));
    QCOMPARE(second.exitCode(), 1);
    QCOMPARE(second.readAllStandardOutput(), "busy " + QByteArray::number(QCoreApplication::applicationPid()) + '\n');

    first.release();
    DayFileLock third(m_path);
    QCOMPARE(third.acquire(), DayFileLock::Status::Locked);
}

void tst_DayFileLock::aKilledHolderDoesNotBlockTheNextStart()
{
    QProcess holder;
    holder.start(QStringLiteral(DAYFILE_SAVER), {QStringLiteral("lock"), m_path});
    QVERIFY(holder.waitForReadyRead(10'000));
    QCOMPARE(holder.readLine(), QByteArray("locked\n"));

    DayFileLock lock(m_path);
    QCOMPARE(lock.acquire(), DayFileLock::Status::HeldByOther);
    QCOMPARE(lock.holderPid(), holder.processId());
    QVERIFY(!lock.detail().isEmpty());

    holder.kill(); // SIGKILL: the lock file stays behind
    QVERIFY(holder.waitForFinished());
    QVERIFY(QFile::exists(DayFileLock::pathFor(m_path)));
    QCOMPARE(lock.acquire(), DayFileLock::Status::Locked);
}

// Containers give a restarted program the process id of the one that died, and then the
// process-id check alone would think the dead holder still runs.
void tst_DayFileLock::aDeadHolderWithOurProcessIdIsTakenOver()
{
    QFile stale(DayFileLock::pathFor(m_path));
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write(QByteArray::number(QCoreApplication::applicationPid()) + '\n'
                + QCoreApplication::applicationName().toUtf8() + '\n' + QSysInfo::machineHostName().toUtf8() + '\n');
    stale.close();

    DayFileLock lock(m_path);
    QCOMPARE(lock.acquire(), DayFileLock::Status::Locked);
}

QTEST_GUILESS_MAIN(tst_DayFileLock)
#include "tst_dayfilelock.moc"
