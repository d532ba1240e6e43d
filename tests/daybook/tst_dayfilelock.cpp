#include "dayfile.h"
#include "daybuilders.h"
#include "dayfilelock.h"
#include "dayfolder.h"
#include "faultyops.h"
#include "filebytes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

class tst_DayFileLock : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_folder.clear()); }
    void aSecondWriterIsTurnedAway();
    void aKilledHolderDoesNotBlockTheNextStart();
    void aDeadHolderWithOurProcessIdIsTakenOver();
    void whatNobodyHoldsIsTakenOver_data();
    void whatNobodyHoldsIsTakenOver();
    void whereLocksFailTheDayFileIsOnlyRead_data();
    void whereLocksFailTheDayFileIsOnlyRead();

private:
    DayFolder m_folder;
    const QString &m_path = m_folder.path;
    FileOps m_ops;
};

void tst_DayFileLock::aSecondWriterIsTurnedAway()
{
    DayFileLock first(m_ops, m_path);
    QCOMPARE(first.acquire(), DayFileLock::Status::Locked);

    QProcess second;
    second.start(QStringLiteral(DAYFILE_SAVER), {QStringLiteral("lock"), m_path});
    QVERIFY(second.waitForFinished(10'000));
    QCOMPARE(second.exitCode(), 1);
    QCOMPARE(second.readAllStandardOutput(), "busy " + QByteArray::number(QCoreApplication::applicationPid()) + '\n');

    first.release();
    DayFileLock third(m_ops, m_path);
    QCOMPARE(third.acquire(), DayFileLock::Status::Locked);
}

void tst_DayFileLock::aKilledHolderDoesNotBlockTheNextStart()
{
    QProcess holder;
    holder.start(QStringLiteral(DAYFILE_SAVER), {QStringLiteral("lock"), m_path});
    QVERIFY(holder.waitForReadyRead(10'000));
    QCOMPARE(holder.readLine(), QByteArray("locked\n"));

    DayFileLock lock(m_ops, m_path);
    QCOMPARE(lock.acquire(), DayFileLock::Status::HeldByOther);
    QCOMPARE(lock.holderPid(), holder.processId());

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

    DayFileLock lock(m_ops, m_path);
    QCOMPARE(lock.acquire(), DayFileLock::Status::Locked);
}

// Only the system's lock on the file counts: whatever else stands at the lock's name is taken
// over without hanging, or named for removal.
void tst_DayFileLock::whatNobodyHoldsIsTakenOver_data()
{
    QTest::addColumn<QByteArray>("kind");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<DayFileLock::Status>("status");
    const auto row = [](const char *name, const char *kind, const QByteArray &contents,
                        DayFileLock::Status status = DayFileLock::Status::Locked) {
        QTest::newRow(name) << QByteArray(kind) << contents << status;
    };
    row("empty, as a power cut leaves it", "file", {});
    row("garbage", "file", "\xff\x00garbage\n");
    row("a dead program on another host", "file", "4242\ntallyleaf\nanother-pc\nx\ny\n");
    row("a live process that is not ours", "file", QByteArray::number(qint64(::getppid())) + "\ntallyleaf\n");
    row("another user's", "other user's file", "1\ntallyleaf\n");
    row("a FIFO", "fifo", {});
    row("a dangling symlink", "dangling link", {});
    row("a symlink to someone's file", "live link", {});
    row("a folder", "folder", {}, DayFileLock::Status::Blocked);
}

void tst_DayFileLock::whatNobodyHoldsIsTakenOver()
{
    QFETCH(QByteArray, kind);
    QFETCH(QByteArray, contents);
    QFETCH(DayFileLock::Status, status);
    const QString lockPath = DayFileLock::pathFor(m_path);
    const QByteArray name = QFile::encodeName(lockPath);
    const QString elsewhere = m_folder.file(QStringLiteral("elsewhere"));
    QFile::remove(elsewhere);
    if (kind.endsWith("file")) {
        QFile f(lockPath);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(contents);
        f.close();
        if (kind.startsWith("other"))
            QCOMPARE(::chown(name.constData(), 65534, 65534), 0);
    } else if (kind == "fifo") {
        QCOMPARE(::mkfifo(name.constData(), 0644), 0);
    } else if (kind.endsWith("link")) {
        if (kind.startsWith("live")) {
            QFile f(elsewhere);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("keep me");
        }
        QVERIFY(QFile::link(elsewhere, lockPath));
    } else {
        QVERIFY(QDir().mkdir(lockPath));
    }

    DayFileLock lock(m_ops, m_path);
    ::alarm(10); // a lock that waits on a FIFO ends the test instead of hanging it
    QCOMPARE(lock.acquire(), status);
    ::alarm(0);
    if (status == DayFileLock::Status::Blocked) {
        QCOMPARE(lock.obstacle(), lockPath);
        QVERIFY(QFileInfo(lockPath).isDir()); // left for the user to look at
        QVERIFY(QDir().rmdir(lockPath));
        return;
    }
    struct stat st;
    QCOMPARE(::lstat(name.constData(), &st), 0);
    QVERIFY(S_ISREG(st.st_mode));
    QCOMPARE(st.st_mode & 0777, mode_t(0600));
    QCOMPARE(st.st_uid, ::geteuid());
    QCOMPARE(readFile(lockPath).split('\n').first(), QByteArray::number(QCoreApplication::applicationPid()));
    QCOMPARE(readFile(elsewhere), kind == "live link" ? QByteArray("keep me") : QByteArray("<missing>"));
    lock.release();
    QVERIFY(!QFile::exists(lockPath));
}

Q_DECLARE_METATYPE(std::set<FileOps::LockKind>)

void tst_DayFileLock::whereLocksFailTheDayFileIsOnlyRead_data()
{
    using K = FileOps::LockKind;
    QTest::addColumn<std::set<K>>("missing");
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("locked");
    QTest::newRow("D5: no flock (ENOLCK): a lock of the open file") << std::set<K>{K::Flock} << ENOLCK << true;
    QTest::newRow("D5: no flock (ENOSYS): a lock of the open file") << std::set<K>{K::Flock} << ENOSYS << true;
    QTest::newRow("D5: only a process's lock") << std::set<K>{K::Flock, K::OpenFileDescription} << EINVAL << true;
    QTest::newRow("D5: no lock at all (ENOLCK)") << std::set<K>{K::Flock, K::OpenFileDescription, K::Process} << ENOLCK
                                                 << false;
    QTest::newRow("D5: no lock at all (EOPNOTSUPP)")
        << std::set<K>{K::Flock, K::OpenFileDescription, K::Process} << int(EOPNOTSUPP) << false;
}

// A lock that cannot be taken is never taken for one that is held: where no lock works, the day
// file is read but never written, so that two copies cannot write it at once.
void tst_DayFileLock::whereLocksFailTheDayFileIsOnlyRead()
{
    QFETCH(std::set<FileOps::LockKind>, missing);
    QFETCH(int, error);
    QFETCH(bool, locked);
    FaultyOps ops;
    ops.missingLocks = missing;
    ops.lockError = error;
    QVERIFY(writeFile(m_path, days(2, 40000)));
    DayFile file(ops, m_path);
    QCOMPARE(file.lock(), locked ? DayFileLock::Status::Locked : DayFileLock::Status::NoLocking);
    const LoadReport load = file.load();
    QVERIFY(load.ok());
    QCOMPARE(load.writable(), locked);
    QCOMPARE(file.saveDay(dayOf(40000), thingsOf(QStringLiteral("x"))).allOnDisk(), locked);
    if (!locked) {
        QCOMPARE(load.readOnly, LoadReport::ReadOnly::NoLock);
        QCOMPARE(load.lockProblem.error, ENOLCK);
        QCOMPARE(readFile(m_path), days(2, 40000));
        return;
    }
    if (missing.count(FileOps::LockKind::OpenFileDescription) == 0) {
        // The lock of the open file shuts out another open of it, as flock would.
        DayFileLock second(ops, m_path);
        QCOMPARE(second.acquire(), DayFileLock::Status::HeldByOther);
    }
}

QTEST_GUILESS_MAIN(tst_DayFileLock)
#include "tst_dayfilelock.moc"
