#include "dayfile.h"

#include "fileops.h"
#include "gbk.h"
#include "oledate.h"


#include <algorithm>
#include <climits>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <vector>

namespace {

constexpr qsizetype SlotsPerRead = 4096;

QString systemError(const QString &what, const QString &path)
{
    return QStringLiteral("%1 %2: %3").arg(what, path, errorText(errno));
}

// The slots as runs of consecutive numbers, so that a day's five slots go out in one write.
std::vector<std::pair<qint32, qint32>> runsOf(const std::set<qint32> &slotNumbers)
{
    std::vector<std::pair<qint32, qint32>> runs;
    for (qint32 s : slotNumbers) {
        if (!runs.empty() && runs.back().second + 1 == s)
            runs.back().second = s;
        else
            runs.emplace_back(s, s);
    }
    return runs;
}

} // namespace

DayFile::DayFile(FileOps &ops) : m_ops(ops) {}

LoadReport DayFile::load(const QString &path, DayTable &table)
{
    LoadReport report;
    m_check.forget();
    const rollbackjournal::Recovery recovery = rollbackjournal::recover(m_ops, path);
    report.recovery = recovery.outcome;
    report.recoveryDetail = recovery.detail;
    report.keptAsideJournal = recovery.keptAside;
    report.keptAsideWithoutDayFile = recovery.noDayFile;
    m_settled = recovery.settled;
    if (recovery.outcome == rollbackjournal::Outcome::Unreadable) {
        // The file may hold half a save; showing it could show a day half old and half new.
        report.status = LoadReport::Status::JournalUnreadable;
        report.detail = recovery.detail;
        m_writableLimit = 0;
        return report;
    }

    const int fd = openOrCreate(m_ops, path, &report.readOnly);
    // So that no save has to sync the folder; when this fails, the first save does.
    m_journalNameDurable = fd >= 0 && !report.readOnly && rollbackjournal::prepare(m_ops, path);
    if (fd < 0) {
        report.status = LoadReport::Status::CannotOpen;
        report.detail = systemError(QStringLiteral("Cannot open"), path);
        m_writableLimit = 0; // nothing was read, so nothing may be overwritten
        return report;
    }

    // A journal that could not be applied still says what the file held before the unfinished
    // save: read the file through it.
    // Reading stops at the length the file has now, so that a file that never ends (a device,
    // a wrong path) cannot hold up the start.
    const rollbackjournal::Journal *undo = recovery.journal ? &*recovery.journal : nullptr;
    const qint64 length = std::max<qint64>(0, std::min<qint64>(m_ops.size(fd), undo ? undo->oldLength : LLONG_MAX));
    const qint64 end = length;
    const qint64 wholeRecords =
        length < recordimage::ImageLength ? 0 : (qint64(length) - recordimage::ImageLength) / recordimage::SlotLength + 1;
    table.clear();
    // Room for typical texts; pages that stay unused are never touched, so cost no memory.
    table.reserve(qint32(std::min<qint64>(wholeRecords, DayTable::DayCapacity)), qsizetype(wholeRecords) * 32);

    std::vector<char> buffer(size_t(std::clamp<qint64>(length, recordimage::SlotLength,
                                                       SlotsPerRead * recordimage::SlotLength)));
    off_t offset = 0;
    bool failed = false;
    while (offset < end) {
        const size_t wanted = size_t(std::min<qint64>(qint64(buffer.size()), end - offset));
        const ssize_t n = readAll(m_ops, fd, buffer.data(), wanted, offset);
        if (n < 0) {
            failed = true;
            report.status = LoadReport::Status::ReadFailed;
            report.detail = systemError(QStringLiteral("Cannot read"), path);
            break;
        }
        if (undo)
            rollbackjournal::overlay(*undo, offset, buffer.data(), n);
        if (!table.appendSlots(QByteArrayView(buffer.data(), n))) {
            failed = true;
            report.status = LoadReport::Status::TooManyRecords;
            report.detail = QStringLiteral("%1 holds more than %2 records").arg(path).arg(DayTable::DayCapacity);
        }
        if (failed || size_t(n) < wanted)
            break;
        offset += n;
    }
    m_check.loaded(m_ops, fd, length);
    m_ops.close(fd);

    report.recordsRead = table.DayCount();
    m_pending.clear(); // the table now mirrors the file
    m_writableLimit = failed ? table.DayCount() : std::numeric_limits<qint32>::max();
    return report;
}

SaveReport DayFile::saveDay(const QString &path, DayTable &table, QDate day, const DayThings &things)
{
    return saveDays(path, table, {{day, things}});
}

SaveReport DayFile::saveDays(const QString &path, DayTable &table, const std::vector<std::pair<QDate, DayThings>> &days)
{
    SaveReport report;
    std::vector<std::array<QByteArray, 5>> texts(days.size());
    qint64 missing = 0;
    for (size_t d = 0; d < days.size(); ++d) {
        const auto &[day, things] = days[d];
        for (size_t i = 0; i < things.size(); ++i) {
            const auto encoded = gbk::encode(things[i].text);
            if (!encoded) {
                report.status = SaveReport::Status::NoGbkForm;
                report.detail = QStringLiteral("Thing %1 of %2 has characters without a GBK form")
                                    .arg(i + 1)
                                    .arg(day.toString(Qt::ISODate));
                return report;
            }
            texts[d][i] = *encoded;
        }
        for (qint32 no = 1; no <= 5; ++no)
            missing += table.find(oledate::fromDate(day), no) ? 0 : 1;
    }
    if (qint64(table.DayCount()) + missing > DayTable::DayCapacity) {
        report.status = SaveReport::Status::TableFull;
        report.detail = QStringLiteral("The day book is full (%1 records)").arg(DayTable::DayCapacity);
        return report;
    }

    for (size_t d = 0; d < days.size(); ++d) {
        const auto &[day, things] = days[d];
        for (qint32 no = 1; no <= 5; ++no) {
            const qint32 index = *table.findOrAppend(oledate::fromDate(day), no);
            table.setThing(index, texts[d][size_t(no - 1)], things[size_t(no - 1)].done);
            m_pending.insert(index);
        }
    }
    // One journal covers every slot, so the days reach the disk together or not at all.
    return writePending(path, table);
}

SaveReport DayFile::flushPending(const QString &path, const DayTable &table)
{
    return writePending(path, table); // even with nothing kept back: a deleted file is written back
}

SaveReport DayFile::writePending(const QString &path, const DayTable &table)
{
    SaveReport report;
    if (!checkFileOnDisk(path, table, report)) // a file changed behind the program's back is not written
        return report;
    std::set<qint32> writable;
    for (qint32 slot : m_pending) {
        if (slot <= m_writableLimit)
            writable.insert(slot);
    }
    if (!writable.empty()) {
        const bool written = writeAtomically(path, table, writable, &report.detail);
        m_check.afterWrite(writable, written);
        if (written) {
            for (qint32 slot : writable)
                m_pending.erase(slot);
        }
    }

    if (!m_pending.empty()) {
        report.status = SaveReport::Status::NotOnDisk;
        report.unwritten = QList<qint32>(m_pending.begin(), m_pending.end());
        if (report.detail.isEmpty())
            report.detail = QStringLiteral("%1 was not read to its end, so it is not written").arg(path);
    }
    return report;
}

bool DayFile::writeAtomically(const QString &path, const DayTable &table, const std::set<qint32> &slotNumbers,
                              QString *detail)
{
    // After a failed save the file may hold part of it, which must be undone before the journal
    // that describes it is overwritten.
    if (!m_settled) {
        const rollbackjournal::Recovery earlier = rollbackjournal::recover(m_ops, path);
        if (!earlier.settled) {
            *detail = earlier.detail;
            return false;
        }
        m_settled = true;
    }

    const int fd = m_ops.open(path, O_RDWR); // a deleted file is made again before this (DayFileCheck)
    if (fd < 0) {
        *detail = systemError(QStringLiteral("Cannot open"), path);
        return false;
    }
    const auto fail = [&](const QString &what) {
        if (detail->isEmpty())
            *detail = systemError(what, path);
        m_ops.close(fd);
        return false;
    };

    const off_t oldLength = m_ops.size(fd);
    if (oldLength < 0)
        return fail(QStringLiteral("Cannot measure"));

    rollbackjournal::Journal journal;
    journal.oldLength = oldLength;
    journal.newLength = oldLength;
    for (const auto &[first, last] : runsOf(slotNumbers)) {
        QByteArray run(qsizetype(last - first + 1) * recordimage::SlotLength, Qt::Uninitialized);
        for (qint32 slot = first; slot <= last; ++slot) {
            recordimage::encode(table.record(slot),
                                std::span<char, recordimage::SlotLength>(
                                    run.data() + qsizetype(slot - first) * recordimage::SlotLength,
                                    recordimage::SlotLength));
        }
        const off_t at = off_t(first - 1) * recordimage::SlotLength;
        // What the run overwrites; nothing where it appends.
        QByteArray old(qsizetype(std::clamp<qint64>(qint64(oldLength) - at, 0, run.size())), Qt::Uninitialized);
        if (readAll(m_ops, fd, old.data(), size_t(old.size()), at) != ssize_t(old.size()))
            return fail(QStringLiteral("Cannot read"));
        if (old == run)
            continue; // already on the disk
        journal.newLength = std::max<qint64>(journal.newLength, at + run.size());
        journal.ranges.push_back({at, old, run});
    }
    if (journal.ranges.empty()) {
        m_ops.close(fd);
        return true;
    }

    m_settled = false; // from here on, a failure may leave part of this save in the file
    if (!rollbackjournal::store(m_ops, path, journal, &m_journalNameDurable, detail)) {
        m_ops.close(fd);
        return false;
    }
    for (const rollbackjournal::Range &range : journal.ranges) {
        if (!writeAll(m_ops, fd, range.newBytes.constData(), size_t(range.newBytes.size()), off_t(range.offset)))
            return fail(QStringLiteral("Cannot write"));
    }
    // Nothing counts as saved until the disk has it.
    if (m_ops.fsync(fd) != 0)
        return fail(QStringLiteral("Cannot sync"));
    m_ops.close(fd); // after fsync, a failing close loses nothing
    m_settled = true;
    return true;
}
