#include "steadyread.h"

#include "fileops.h"
#include "rollbackjournal.h"

#include <QThread>
#include <cerrno>
#include <sys/stat.h>
#include <tuple>

namespace {

// What a write to the file changes: its length, its times (to the nanosecond where the file
// system keeps them) and, for a journal written afresh, its inode. First: why it is not there.
auto fingerprint(FileOps &ops, const QString &path)
{
    struct stat st {};
    const int missing = ops.stat(path, &st) == 0 ? 0 : errno;
    return std::tuple{missing, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec, st.st_ctim.tv_sec,
                      st.st_ctim.tv_nsec};
}

auto fingerprints(FileOps &ops, const QString &dayFilePath)
{
    return std::pair{fingerprint(ops, dayFilePath), fingerprint(ops, rollbackjournal::pathFor(dayFilePath))};
}

} // namespace

SteadyRead readSteadily(FileOps &ops, const QString &dayFilePath, DayTable &table)
{
    constexpr int Attempts = 20;
    SteadyRead result;
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        const auto before = fingerprints(ops, dayFilePath);
        if (const int missing = std::get<0>(before.first)) {
            // Recovery would take a missing file for an empty one; a user who names it means another.
            result.status = SteadyRead::Status::Unreadable;
            result.detail = QStringLiteral("Cannot open %1: %2").arg(dayFilePath, errorText(missing));
            return result;
        }
        // The tool's one reader of the journal.
        rollbackjournal::Recovery recovery;
        const std::optional<QByteArray> content = rollbackjournal::preview(ops, dayFilePath, &recovery);
        if (fingerprints(ops, dayFilePath) != before) {
            QThread::msleep(50); // a save takes a few syncs; let it finish
            continue;
        }
        if (!content) {
            result.status = SteadyRead::Status::Unreadable;
            result.detail = recovery.problem.describe();
            return result;
        }
        result.recovery = recovery.outcome;
        table.clear();
        if (!table.appendSlots(*content)) {
            result.status = SteadyRead::Status::Unreadable;
            result.detail = QStringLiteral("%1 holds more than %2 records").arg(dayFilePath).arg(DayTable::DayCapacity);
        }
        return result;
    }
    result.status = SteadyRead::Status::KeptChanging;
    return result;
}
