#include "dayfilelock.h"

#include <QCoreApplication>
#include <QSysInfo>

DayFileLock::DayFileLock(const QString &dayFilePath) : m_lock(pathFor(dayFilePath))
{
    // The lock is held for the program's whole run, so its age says nothing; a dead holder is
    // recognised by its process id instead.
    m_lock.setStaleLockTime(0);
}

QString DayFileLock::pathFor(const QString &dayFilePath) { return dayFilePath + QStringLiteral(".lock"); }

DayFileLock::Status DayFileLock::acquire()
{
    m_detail.clear();
    m_holderPid = 0;
    if (m_lock.isLocked() || m_lock.tryLock(100))
        return Status::Locked;

    if (m_lock.error() == QLockFile::LockFailedError) {
        QString host;
        QString app;
        if (m_lock.getLockInfo(&m_holderPid, &host, &app)) {
            // A restarted program can get the process id of the one that died holding the lock
            // (containers start every program with the same few ids): that lock is stale. The
            // removal still goes through the lock file's own system lock, so it cannot remove
            // a lock that a live program holds.
            if (m_holderPid == QCoreApplication::applicationPid() && host == QSysInfo::machineHostName()
                && m_lock.removeStaleLockFile() && m_lock.tryLock(0))
                return Status::Locked;
        }
        m_detail = QStringLiteral("The day file is in use by another program (process %1 on %2)")
                       .arg(m_holderPid)
                       .arg(host);
        return Status::HeldByOther;
    }
    m_detail = m_lock.error() == QLockFile::PermissionError
        ? QStringLiteral("No permission to create %1").arg(m_lock.fileName())
        : QStringLiteral("Cannot create %1").arg(m_lock.fileName());
    return Status::Failed;
}
