#include "dayfile.h"
#include "daybuilders.h"
#include "dayfolder.h"
#include "filebytes.h"
#include "fileops.h"
#include "oledate.h"
#include "rollbackjournal.h"
#include "slotimage.h"

#include <QFile>
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

Q_DECLARE_METATYPE(SaveReport::Why)

namespace {

constexpr int Skip = 77;

DayThings someThings() { return things({QStringLiteral("new")}); }

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

// The child's verdict on one save: 0 when it was refused as expected (for why, with error),
// and which check failed otherwise.
int refusedSave(const QString &path, SaveReport::Why why, int error)
{
    FileOps ops;
    DayFile file(ops, path);
    if (!file.load().ok())
        return 1;
    const SaveReport r = file.saveDay(*oledate::toDate(41000), someThings());
    if (r.status != SaveReport::Status::NotOnDisk || r.unwritten.size() != 5)
        return 2;
    if (r.why != why || r.problem.error != error)
        return 3;
    if (file.table().DayCount() != 15 || file.table().text(11) != QByteArrayView("new"))
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
        QVERIFY(m_folder.clear());
        QVERIFY(writeFile(m_path, slotimage::days(2, 40000)));
    }

    void fullDisk();
    void readOnly_data();
    void readOnly();
    void fileSizeLimitCutsAnAppendShort();

private:
    DayFolder m_folder;
    const QString &m_path = m_folder.path;
    FileOps m_ops;
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
        DayFile file(m_ops, m_path);
        const LoadReport load = file.load();
        QCOMPARE(load.status, LoadReport::Status::CannotOpen);
        QCOMPARE(load.problem.error, ENXIO); // not a regular file
        QCOMPARE(file.saveDay(*oledate::toDate(41000), someThings()).status, SaveReport::Status::NotOnDisk);
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
    DayFile file(ops, m_path);
    QVERIFY(file.load().ok());
    const SaveReport r = file.saveDay(*oledate::toDate(41000), someThings());
    QCOMPARE(r.status, SaveReport::Status::NotOnDisk);
    QCOMPARE(r.problem.error, ENOSPC);
    QCOMPARE(r.unwritten.size(), 5);
    QCOMPARE(readFile(m_path), slotimage::days(2, 40000));
}

void tst_KernelErrors::readOnly_data()
{
    QTest::addColumn<bool>("readOnlyFolder");
    QTest::addColumn<SaveReport::Why>("why");
    QTest::addColumn<int>("error");
    QTest::newRow("read-only file") << false << SaveReport::Why::ReadOnly << 0;
    // The file is writable, but no journal can be made.
    QTest::newRow("read-only folder") << true << SaveReport::Why::Disk << EACCES;
}

void tst_KernelErrors::readOnly()
{
    QFETCH(bool, readOnlyFolder);
    QFETCH(SaveReport::Why, why);
    QFETCH(int, error);
    const QByteArray before = readFile(m_path);
    QFile::setPermissions(m_path, readOnlyFolder ? QFile::Permissions(0x6666) : QFile::Permissions(0x4444));
    ::chmod(QFile::encodeName(m_folder.folder()).constData(), readOnlyFolder ? 0555 : 0755);

    const int verdict = inChild(true, [&] { return refusedSave(m_path, why, error); });

    ::chmod(QFile::encodeName(m_folder.folder()).constData(), 0700);
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
        FileOps ops;
        DayFile file(ops, m_path);
        if (!file.load().ok())
            return 1;
        const SaveReport s = file.saveDay(*oledate::toDate(41000), someThings());
        if (s.status != SaveReport::Status::NotOnDisk)
            return 2;
        return s.problem.error == EFBIG ? 0 : 3;
    });
    if (verdict == Skip)
        QSKIP("cannot set a file-size limit");
    QCOMPARE(verdict, 0);
    QCOMPARE(QFileInfo(m_path).size(), before.size() + 500); // the torn append is on disk...

    DayFile file(m_ops, m_path);
    const LoadReport load = file.load();
    QVERIFY(load.ok());
    QCOMPARE(load.recovery, rollbackjournal::Outcome::RolledBack);
    QCOMPARE(readFile(m_path), before); // ...until start-up undoes it
    QCOMPARE(file.table().DayCount(), 10);
}

QTEST_GUILESS_MAIN(tst_KernelErrors)
#include "tst_kernelerrors.moc"
