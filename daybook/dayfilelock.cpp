#include "dayfilelock.h"

#include "fileops.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Each round either ends or removes something that stood in the way; a name that keeps
// changing under us is given up on.
constexpr int Rounds = 8;

// Never follows a link and never waits on a FIFO.
int openLock(const QByteArray &name, int flags)
{
    int fd;
    do {
        fd = ::open(name.constData(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Whether the name still leads to the open file: a holder removes its lock file as it ends.
bool stillNamed(int fd, const QByteArray &name)
{
    struct stat open, named;
    return ::fstat(fd, &open) == 0 && ::lstat(name.constData(), &named) == 0 && open.st_dev == named.st_dev
        && open.st_ino == named.st_ino;
}

// The holder's process id, host, machine and boot, one a line, as earlier versions wrote them.
QByteArray holderLines()
{
    return QByteArray::number(QCoreApplication::applicationPid()) + '\n'
        + QFile::encodeName(QFileInfo(QCoreApplication::applicationFilePath()).fileName()) + '\n'
        + QSysInfo::machineHostName().toUtf8() + '\n' + QSysInfo::machineUniqueId() + '\n'
        + QSysInfo::bootUniqueId() + '\n';
}

qint64 holderIn(int fd)
{
    char line[24] = {};
    const ssize_t n = ::pread(fd, line, sizeof line - 1, 0);
    if (n <= 0)
        return 0;
    bool ok = false;
    const qint64 pid = QByteArray(line, n).split('\n').value(0).toLongLong(&ok);
    return ok && pid > 0 ? pid : 0;
}

} // namespace

DayFileLock::DayFileLock(const QString &dayFilePath) : m_lockPath(pathFor(dayFilePath)) {}

DayFileLock::~DayFileLock() { release(); }

QString DayFileLock::pathFor(const QString &dayFilePath) { return dayFilePath + QStringLiteral(".lock"); }

DayFileLock::Status DayFileLock::acquire()
{
    if (isLocked())
        return Status::Locked;
    m_detail.clear();
    m_holderPid = 0;
    const QByteArray name = QFile::encodeName(m_lockPath);
    for (int round = 0; round < Rounds; ++round) {
        bool writable = true;
        int fd = openLock(name, O_RDWR | O_CREAT);
        if (fd < 0 && (errno == EACCES || errno == EPERM)) {
            // Another user's file: reading is enough to see whether it is held.
            writable = false;
            fd = openLock(name, O_RDONLY);
        }
        if (fd >= 0) {
            Status status;
            if (takeOver(fd, writable, &status) == Step::Done)
                return status;
            continue;
        }

        const int error = errno;
        struct stat st;
        if (::lstat(name.constData(), &st) != 0) {
            errno = error;
            return failed("Cannot create"); // nothing there: the folder takes no new file
        }
        if (S_ISDIR(st.st_mode))
            return blocked(QStringLiteral("is a folder"));
        if (S_ISREG(st.st_mode)) // cannot be read, so nobody can tell whether it is held
            return blocked(errorText(error));
        // A link, a socket: nothing a program holds as this lock.
        if (::unlink(name.constData()) != 0 && errno != ENOENT)
            return blocked(errorText(errno));
    }
    m_detail = QStringLiteral("%1 keeps changing").arg(m_lockPath);
    return Status::Failed;
}

DayFileLock::Step DayFileLock::takeOver(int fd, bool writable, Status *status)
{
    const QByteArray name = QFile::encodeName(m_lockPath);
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd); // a FIFO or a device is no lock of ours
        if (::unlink(name.constData()) != 0 && errno != ENOENT) {
            *status = blocked(errorText(errno));
            return Step::Done;
        }
        return Step::Again;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        m_holderPid = holderIn(fd);
        ::close(fd);
        m_detail = QStringLiteral("%1 is held by process %2").arg(m_lockPath).arg(m_holderPid);
        *status = Status::HeldByOther;
        return Step::Done;
    }
    // (A file system without these locks leaves the file itself as the lock, as it always was.)
    if (!stillNamed(fd, name)) { // its holder removed it just as it ended
        ::close(fd);
        return Step::Again;
    }
    if (!writable || st.st_uid != ::geteuid()) {
        // Another user's lock that nobody holds: removed while held, then made afresh as ours.
        const bool removed = ::unlink(name.constData()) == 0;
        const int error = errno;
        ::close(fd);
        if (!removed) {
            *status = blocked(errorText(error));
            return Step::Done;
        }
        return Step::Again;
    }
    const QByteArray lines = holderLines();
    ::fchmod(fd, 0600); // a lock left by an earlier version was readable by everyone
    // The lock holds without its lines too; they only name the holder in a message.
    [[maybe_unused]] const bool named =
        ::ftruncate(fd, 0) == 0 && ::pwrite(fd, lines.constData(), size_t(lines.size()), 0) == lines.size();
    m_fd = fd;
    *status = Status::Locked;
    return Step::Done;
}

DayFileLock::Status DayFileLock::blocked(const QString &why)
{
    m_detail = QStringLiteral("%1: %2").arg(m_lockPath, why);
    return Status::Blocked;
}

DayFileLock::Status DayFileLock::failed(const char *what)
{
    m_detail = QStringLiteral("%1 %2: %3").arg(QLatin1StringView(what), m_lockPath, errorText(errno));
    return Status::Failed;
}

void DayFileLock::release()
{
    if (m_fd < 0)
        return;
    // Removed while still held, so that nobody takes over a file that is about to vanish.
    const QByteArray name = QFile::encodeName(m_lockPath);
    if (stillNamed(m_fd, name))
        ::unlink(name.constData());
    ::close(m_fd);
    m_fd = -1;
}
