#pragma once

#include "ioresult.h"

#include <QString>

class FileOps;

// The one-writer lock of a day file: a lock file beside it ("things.dat.lock"), taken at
// start-up and held until the program ends. Beside the file itself: where the day file's path is
// a link, the lock lies beside the file it leads to, so that every path to one file finds it. Two programs writing the same day file would both
// append at the same slot numbers and overwrite each other's days.
//
// The lock is the operating system's lock on that file (FileOps::lockExclusive: flock, or where
// the file system has none, a record lock), which a program holds until it ends, however it
// ends. What the file says (process id, host) only names the holder for a message: a file that
// no live program holds, whatever its contents or its owner, is taken over. Earlier versions
// locked with flock too, so old and new copies see each other's locks. Where no lock works at
// all, nobody can tell whether another copy writes: the day file is then only read.
class DayFileLock
{
public:
    enum class Status {
        Unlocked,    // not asked yet, or released
        Locked,      // this program is the day file's one writer
        HeldByOther, // a running program holds it (see holderPid)
        Blocked,     // something at the lock's name cannot be taken over or removed (see obstacle)
        Failed,      // no lock file can be made, e.g. in a read-only folder (see problem)
        NoLocking,   // the file system offers no lock that works (see problem)
    };

    DayFileLock(FileOps &ops, const QString &dayFilePath);
    ~DayFileLock();
    DayFileLock(const DayFileLock &) = delete;
    DayFileLock &operator=(const DayFileLock &) = delete;

    [[nodiscard]] Status acquire();
    void release();
    Status status() const { return m_status; }
    bool isLocked() const { return m_fd >= 0; }
    // Whether a day file guarded by this lock may be written: locked, or never asked to be.
    bool allowsWriting() const { return m_status == Status::Locked || m_status == Status::Unlocked; }

    qint64 holderPid() const { return m_holderPid; }
    // With Blocked: what the user has to remove before the next start, and why it stays.
    QString obstacle() const { return m_lockPath; }
    QString obstacleReason() const { return m_reason; }
    // The same as errno; 0 for a folder, or a name that keeps changing.
    int obstacleError() const { return m_reasonError; }
    // With Failed and NoLocking: the step that failed.
    const IoResult &problem() const { return m_problem; }

    static QString pathFor(const QString &dayFilePath);

private:
    enum class Step { Done, Again };
    Step takeOver(int fd, bool writable);
    Status finish(Status status);
    Status blocked(int error);
    Status blocked(const QString &why);

    FileOps &m_ops;
    QString m_dayFilePath;
    QString m_lockPath;
    int m_fd = -1;
    Status m_status = Status::Unlocked;
    qint64 m_holderPid = 0;
    QString m_reason;
    int m_reasonError = 0;
    IoResult m_problem;
};
