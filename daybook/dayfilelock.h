#pragma once

#include <QString>

// The one-writer lock of a day file: a lock file beside it ("things.dat.lock"), taken at
// start-up and held until the program ends. Two programs writing the same day file would both
// append at the same slot numbers and overwrite each other's days.
//
// The lock is the operating system's lock on that file (flock), which a program holds until
// it ends, however it ends. What the file says (process id, host) only names the holder for a
// message: a file that no live program holds, whatever its contents or its owner, is taken
// over. Earlier versions locked the same way, so old and new copies see each other's locks.
class DayFileLock
{
public:
    enum class Status {
        Locked,      // this program is the day file's one writer
        HeldByOther, // a running program holds it (see holderPid)
        Blocked,     // something at the lock's name cannot be taken over or removed (see obstacle)
        Failed,      // no lock can be made, e.g. a read-only folder (see detail)
    };

    explicit DayFileLock(const QString &dayFilePath);
    ~DayFileLock();
    DayFileLock(const DayFileLock &) = delete;
    DayFileLock &operator=(const DayFileLock &) = delete;

    [[nodiscard]] Status acquire();
    void release();
    bool isLocked() const { return m_fd >= 0; }

    qint64 holderPid() const { return m_holderPid; }
    QString detail() const { return m_detail; }
    // With Blocked: what the user has to remove before the next start.
    QString obstacle() const { return m_lockPath; }

    static QString pathFor(const QString &dayFilePath);

private:
    enum class Step { Done, Again };
    Step takeOver(int fd, bool writable, Status *status);
    Status blocked(const QString &why);
    Status failed(const char *what);

    QString m_lockPath;
    int m_fd = -1;
    qint64 m_holderPid = 0;
    QString m_detail;
};
