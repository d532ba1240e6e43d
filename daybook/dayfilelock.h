#pragma once

#include <QLockFile>
#include <QString>

// The one-writer lock of a day file: a lock file beside it ("things.dat.lock"), taken at
// start-up and held until the program ends. Two programs writing the same day file would both
// append at the same slot numbers and overwrite each other's days.
class DayFileLock
{
public:
    enum class Status {
        Locked,       // this program is the day file's one writer
        HeldByOther,  // another running program holds it (see holderPid)
        Failed,       // the lock file cannot be created, e.g. a read-only folder (see detail)
    };

    explicit DayFileLock(const QString &dayFilePath);

    // A lock left behind by a program that has died is taken over.
    Status acquire();
    void release() { m_lock.unlock(); }
    bool isLocked() const { return m_lock.isLocked(); }

    qint64 holderPid() const { return m_holderPid; }
    QString detail() const { return m_detail; }

    static QString pathFor(const QString &dayFilePath);

private:
    QLockFile m_lock;
    qint64 m_holderPid = 0;
    QString m_detail;
};
