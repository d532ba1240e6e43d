#include "dayfilelock.h"

#include "fileops.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Each round either ends or removes something that stood in the way; a name that keeps
// changing under us is given up on.
constexpr int Rounds = 8;

// The holder's process id, host, machine and boot, one a line, as earlier versions wrote them.
QByteArray holderLines()
{
    return QByteArray::number(QCoreApplication::applicationPid()) + '\n'
        + QFile::encodeName(QFileInfo(QCoreApplication::applicationFilePath()).fileName()) + '\n'
        + QSysInfo::machineHostName().toUtf8() + '\n' + QSysInfo::machineUniqueId() + '\n'
        + QSysInfo::bootUniqueId() + '\n';
}

} // namespace

DayFileLock::DayFileLock(FileOps &ops, const QString &dayFilePath)
    : m_ops(ops), m_dayFilePath(dayFilePath), m_lockPath(pathFor(dayFilePath))
{
}

DayFileLock::~DayFileLock() { release(); }

QString DayFileLock::pathFor(const QString &dayFilePath) { return dayFilePath + QStringLiteral(".lock"); }

DayFileLock::Status DayFileLock::finish(Status status)
{
    m_status = status;
    return status;
}

DayFileLock::Status DayFileLock::acquire()
{
    if (isLocked())
        return finish(Status::Locked);
    // A link and the file it leads to, or two links, must not both get a lock of their own.
    m_lockPath = pathFor(realLocation(m_ops, m_dayFilePath));
    m_reason.clear();
    m_problem = IoResult::done();
    m_holderPid = 0;
    for (int round = 0; round < Rounds; ++round) {
        // FileOps opens only regular files and never follows a link it creates; a link or a FIFO
        // at the name fails to open and is removed below.
        bool writable = true;
        int fd = m_ops.open(m_lockPath, O_RDWR | O_CREAT | O_NOFOLLOW);
        if (fd < 0 && (errno == EACCES || errno == EPERM)) {
            // Another user's file: reading is enough to see whether it is held.
            writable = false;
            fd = m_ops.open(m_lockPath, O_RDONLY | O_NOFOLLOW);
        }
        if (fd >= 0) {
            if (takeOver(fd, writable) == Step::Done)
                return m_status;
            continue;
        }

        const int error = errno;
        struct stat st;
        if (m_ops.lstat(m_lockPath, &st) != 0) {
            m_problem = IoResult::failed(IoResult::Step::Create, m_lockPath, error);
            return finish(Status::Failed); // nothing there: the folder takes no new file
        }
        if (S_ISDIR(st.st_mode))
            return blocked(QStringLiteral("is a folder"));
        if (S_ISREG(st.st_mode)) // cannot be read, so nobody can tell whether it is held
            return blocked(error);
        // A link, a socket, a FIFO: nothing a program holds as this lock.
        if (m_ops.remove(m_lockPath) != 0 && errno != ENOENT)
            return blocked(errno);
    }
    m_reason = QStringLiteral("keeps changing");
    return finish(Status::Blocked);
}

DayFileLock::Step DayFileLock::takeOver(int fd, bool writable)
{
    if (m_ops.lockExclusive(fd) != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK) {
            char line[24] = {};
            const ssize_t n = m_ops.pread(fd, line, sizeof line - 1, 0);
            bool ok = false;
            const qint64 pid = n > 0 ? QByteArray(line, n).split('\n').value(0).toLongLong(&ok) : 0;
            m_holderPid = ok && pid > 0 ? pid : 0;
            m_ops.close(fd);
            finish(Status::HeldByOther);
            return Step::Done;
        }
        // Not "held by nobody": nobody can tell. Two copies would write at once.
        m_ops.close(fd);
        m_problem = IoResult::failed(IoResult::Step::Lock, m_lockPath, error);
        finish(Status::NoLocking);
        return Step::Done;
    }
    // Its holder may have removed it just as it ended: then the name leads elsewhere.
    struct stat open, named;
    if (m_ops.fstat(fd, &open) != 0 || m_ops.lstat(m_lockPath, &named) != 0 || open.st_dev != named.st_dev
        || open.st_ino != named.st_ino) {
        m_ops.close(fd);
        return Step::Again;
    }
    if (!writable || open.st_uid != ::geteuid()) {
        // Another user's lock that nobody holds: removed while held, then made afresh as ours.
        const bool removed = m_ops.remove(m_lockPath) == 0;
        const int error = errno;
        m_ops.close(fd);
        if (!removed) {
            blocked(error);
            return Step::Done;
        }
        return Step::Again;
    }
    const QByteArray lines = holderLines();
    m_ops.fchmod(fd, 0600); // a lock left by an earlier version was readable by everyone
    // The lock holds without its lines too; they only name the holder in a message.
    [[maybe_unused]] const bool named_ = m_ops.ftruncate(fd, 0) == 0 && writeAll(m_ops, fd, lines.constData(), size_t(lines.size()), 0);
    m_fd = fd;
    finish(Status::Locked);
    return Step::Done;
}

DayFileLock::Status DayFileLock::blocked(int error)
{
    blocked(errorText(error));
    m_reasonError = error;
    return m_status;
}

DayFileLock::Status DayFileLock::blocked(const QString &why)
{
    m_reason = why;
    m_reasonError = 0;
    return finish(Status::Blocked);
}

void DayFileLock::release()
{
    if (m_fd < 0)
        return;
    // Removed while still held, so that nobody takes over a file that is about to vanish.
    struct stat open, named;
    if (m_ops.fstat(m_fd, &open) == 0 && m_ops.lstat(m_lockPath, &named) == 0 && open.st_dev == named.st_dev
        && open.st_ino == named.st_ino)
        m_ops.remove(m_lockPath);
    m_ops.close(m_fd);
    m_fd = -1;
    m_status = Status::Unlocked;
}
