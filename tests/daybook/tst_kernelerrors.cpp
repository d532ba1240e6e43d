#include "filebytes.h"
#include "dayfile.h"
#include "fileops.h"
#include "slotimage.h"
#include "oledate.h"
#include "rollbackjournal.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <cstring>
#include <functional>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int Skip = 77;

DayThings someThings()
{
    DayThings t;
    t[0].text = QStringLiteral("new");
    return t;
}

// Runs body in a child process and returns its exit code. Permissions mean nothing to root,
// so with unprivileged set a root parent's child becomes "nobody" first.
int inChild(bool unprivileged, const std::function<int()> &body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (unprivileged && ::geteuid() == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(Skip);
        }
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The child's verdict on one save: 0 when it was refused as expected, and which check failed
// otherwise.
int refusedSave(const QString &path, const char *expectedError)
{
    DayTable table;
    DayFile file(FileOps::system());
    if (!file.load(path, table).ok())
        return 1;
    const SaveReport r = file.saveDay(path, table, *oledate::toDate(41000), someThings());
    if (r.status != SaveReport::Status::NotOnDisk || r.unwritten.size() != 5)
        return 2;
    if (!r.detail.contains(QString::fromLocal8Bit(expectedError)))
        return 3;
    if (table.DayCount() != 15 || table.text(11) != QByteArrayView("new"))
        return 4; // the day lives on in memory
    return 0;
}

} // namespace

class tst_KernelErrors : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("things.dat"));
        QFile::remove(m_path);
        QFile::remove(rollbackjournal::pathFor(m_path));
        QVERIFY(writeFile(m_path, slotimage::days(2, 40000)));
    }

    void fullDisk();
    void readOnly_data();
    void readOnly();
    void fileSizeLimitCutsAnAppendShort();

private:
    QTemporaryDir m_dir;
    QString m_path;
};

// /dev/full fails every write with ENOSPC, as a full disk does. A day file linked to it is
// refused as a device; the writes of a regular day file are sent there instead.
void tst_KernelErrors::fullDisk()
{
    if (!QFile::exists(QStringLiteral("/dev/full")))
        QSKIP("no /dev/full");
    QFile::remove(m_path);
    QVERIFY(QFile::link(QStringLiteral("/dev/full"), m_path));
    {
        DayTable table;
        DayFile file(FileOps::system());
        const LoadReport load = file.load(m_path, table);
        QCOMPARE(load.status, LoadReport::Status::CannotOpen);
        QVERIFY2(load.detail.contains(QStringLiteral("not a regular file")), qPrintable(load.detail));
        QCOMPARE(file.saveDay(m_path, table, *oledate::toDate(41000), someThings()).status,
                 SaveReport::Status::NotOnDisk);
        QVERIFY(!QFile::exists(rollbackjournal::pathFor(m_path)));
    }
    QFile::remove(m_path);
    QVERIFY(writeFile(m_path, slotimage::days(2, 40000)));

    class FullDisk : public FileOps
    {
    public:
        ssize_t pwrite(int, const void *buffer, size_t count, off_t) override
        {
            return ::write(m_full, buffer, count);
        }
        ~FullDisk() override { ::close(m_full); }

    private:
        int m_full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    } ops;
    DayTable table;
    DayFile file(ops);
    QVERIFY(file.load(m_path, table).ok());
    const SaveReport r = file.saveDay(m_path, table, *oledate::toDate(41000), someThings());
    QCOMPARE(r.status, SaveReport::Status::NotOnDisk);
    QVERIFY2(r.detail.contains(QString::fromLocal8Bit(std::strerror(ENOSPC))), qPrintable(r.detail));
    QCOMPARE(r.unwritten.size(), 5);
    QCOMPARE(readFile(m_path), slotimage::days(2, 40000));
}

void tst_KernelErrors::readOnly_data()
{
    QTest::addColumn<bool>("readOnlyFolder");
    QTest::newRow("read-only file") << false;
    QTest::newRow("read-only folder") << true; // the file is writable, but no journal can be made
}

void tst_KernelErrors::readOnly()
{
    QFETCH(bool, readOnlyFolder);
    const QByteArray before = readFile(m_path);
    QFile::setPermissions(m_path, readOnlyFolder ? QFile::Permissions(0x6666) : QFile::Permissions(0x4444));
    ::chmod(QFile::encodeName(m_dir.path()).constData(), readOnlyFolder ? 0555 : 0755);

    const int verdict = inChild(true, [&] { return refusedSave(m_path, strerror(EACCES)); });

    ::chmod(QFile::encodeName(m_dir.path()).constData(), 0700);
    QFile::setPermissions(m_path, QFile::Permissions(0x6600));
    if (verdict == Skip)
        QSKIP("running as root, and cannot become an unprivileged user");
    QCOMPARE(verdict, 0);
    QCOMPARE(readFile(m_path), before);
    QVERIFY(!QFile::exists(rollbackjournal::pathFor(m_path)));
}

// A file-size limit lets the append write part of its slots and then fails it with EFBIG: a
// real short write. The next start must find the file as it was.
void tst_KernelErrors::fileSizeLimitCutsAnAppendShort()
{
    const QByteArray before = readFile(m_path);
    const int verdict = inChild(false, [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlim_t limit = rlim_t(before.size() + 500); // half the new day's slots fit
        const rlimit r{limit, limit};
        if (::setrlimit(RLIMIT_FSIZE, &r) != 0)
            return Skip;
        DayTable table;
        DayFile file(FileOps::system());
        if (!file.load(m_path, table).ok())
            return 1;
        const SaveReport s = file.saveDay(m_path, table, *oledate::toDate(41000), someThings());
        if (s.status != SaveReport::Status::NotOnDisk)
            return 2;
        return s.detail.contains(QString::fromLocal8Bit(std::strerror(EFBIG))) ? 0 : 3;
    });
    if (verdict == Skip)
        QSKIP("cannot set a file-size limit");
    QCOMPARE(verdict, 0);
    QCOMPARE(QFileInfo(m_path).size(), before.size() + 500); // the torn append is on disk...

    DayTable table;
    DayFile file(FileOps::system());
    const LoadReport load = file.load(m_path, table);
    QVERIFY(load.ok());
    QCOMPARE(load.recovery, rollbackjournal::Outcome::RolledBack);
    QCOMPARE(readFile(m_path), before); // ...until start-up undoes it
    QCOMPARE(table.DayCount(), 10);
}

QTEST_GUILESS_MAIN(tst_KernelErrors)
#include "tst_kernelerrors.moc"
