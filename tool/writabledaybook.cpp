#include "writabledaybook.h"

#include "dayfile.h"
#include "exitstatus.h"
#include "messages.h"

std::optional<int> openForWriting(DayFile &dayFile, const QString &command, const QString &done)
{
    const QString &path = dayFile.path();
    const DayFileLock &lock = dayFile.dayFileLock();
    switch (dayFile.lock()) {
    case DayFileLock::Status::Locked:
    case DayFileLock::Status::Unlocked:
        break;
    case DayFileLock::Status::HeldByOther:
        return fail(InUse, QStringLiteral("nothing %1: %2 is in use by Tallyleaf (process %3); close it and %4 again")
                               .arg(done, path)
                               .arg(lock.holderPid())
                               .arg(command));
    case DayFileLock::Status::Blocked:
        return fail(NotWritten, QStringLiteral("nothing %1: %2 stands where the day file's lock goes and cannot be "
                                               "taken over (%3); remove it if no Tallyleaf is running")
                                    .arg(done, lock.obstacle(), lock.obstacleReason()));
    case DayFileLock::Status::Failed:
    case DayFileLock::Status::NoLocking:
        return fail(NotWritten, QStringLiteral("nothing %1: %2; without the lock another program could write at "
                                               "the same time")
                                    .arg(done, lock.problem().describe()));
    }

    const LoadReport load = dayFile.load();
    noteRecovery(path, load.recovery, load.keptAsideJournal, false);
    if (!load.ok())
        return fail(Unreadable, QStringLiteral("nothing %1: %2").arg(done, load.problem.describe()));
    if (!load.writable())
        return fail(NotWritten, QStringLiteral("nothing %1: %2 can be read but not written").arg(done, path));
    return std::nullopt;
}
