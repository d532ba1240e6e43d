#include "steadyread.h"

#include "rollbackjournal.h"

#include <QFile>
#include <QThread>
#include <sys/stat.h>
#include <tuple>

namespace {

// What a write to the file changes: its length, its times (to the nanosecond where the file
// system keeps them) and, for a journal written afresh, its inode.
auto fingerprint(const QString &path)
{
    struct stat st {};
    const bool there = ::stat(QFile::encodeName(path).constData(), &st) == 0;
    return std::tuple{there, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec, st.st_ctim.tv_sec,
                      st.st_ctim.tv_nsec};
}

auto fingerprints(const QString &dayFilePath)
{
    return std::pair{fingerprint(dayFilePath), fingerprint(rollbackjournal::pathFor(dayFilePath))};
}

} // namespace

SteadyRead readSteadily(FileOps &ops, const QString &dayFilePath, DayTable &table)
{
    constexpr int Attempts = 20;
    const DayFile reader(ops);
    SteadyRead result;
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        const auto before = fingerprints(dayFilePath);
        result.report = reader.read(dayFilePath, table);
        if (fingerprints(dayFilePath) == before)
            return result;
        QThread::msleep(50); // a save takes a few syncs; let it finish
    }
    result.tooManyChanges = true;
    return result;
}
