#include "dayfile.h"

#include "fileops.h"
#include "gbk.h"
#include "oledate.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>

namespace {

constexpr qsizetype SlotsPerRead = 4096;

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

DayFile::DayFile(FileOps &ops, QString path)
    : m_ops(ops), m_path(std::move(path)), m_realPath(m_path), m_lock(ops, m_path)
{
}

DayFile::~DayFile() { close(); }

DayFileLock::Status DayFile::lock() { return m_lock.acquire(); }

void DayFile::close()
{
    if (m_state == State::Finished && rollbackjournal::markDone(m_ops, m_realPath, true).ok())
        m_state = State::Clean;
    m_lock.release();
}

LoadReport DayFile::load()
{
    LoadReport report;
    m_check.forget();
    // D7: the journal lies beside the file the path leads to now, where the next start finds it.
    m_realPath = realLocation(m_ops, m_path);
    const rollbackjournal::Recovery recovery = rollbackjournal::recover(m_ops, m_realPath);
    report.recovery = recovery.outcome;
    report.recoveryProblem = recovery.problem;
    report.keptAsideJournal = recovery.keptAside;
    report.keptAsideWithoutDayFile = recovery.noDayFile;
    if (recovery.outcome == rollbackjournal::Outcome::Unreadable) {
        // The file may hold half a save; showing it could show a day half old and half new.
        report.status = LoadReport::Status::JournalUnreadable;
        report.problem = recovery.problem;
        m_writableLimit = 0;
        m_state = State::Blocked;
        return report;
    }

    bool fileReadOnly = false;
    const int fd = openOrCreate(m_ops, m_path, &fileReadOnly);
    if (fd < 0) {
        report.status = LoadReport::Status::CannotOpen;
        report.problem = IoResult::failed(IoResult::Step::Open, m_path);
        m_writableLimit = 0; // nothing was read, so nothing may be overwritten (D1)
        m_state = State::Blocked;
        return report;
    }
    if (fileReadOnly) {
        report.readOnly = LoadReport::ReadOnly::File;
    } else if (!m_lock.allowsWriting()) {
        report.readOnly = LoadReport::ReadOnly::NoLock;
        report.lockProblem = m_lock.problem();
    }
    // So that no save has to sync the folder (P4); when this fails, the first save does.
    const bool nameDurable = report.readOnly == LoadReport::ReadOnly::No && rollbackjournal::prepare(m_ops, m_realPath).ok();

    // A journal that could not be applied still says what the file held before the unfinished
    // save: read the file through it. Reading stops at the length the file has now, so that a
    // file that never ends cannot hold up the start.
    const rollbackjournal::Journal *undo = recovery.journal ? &*recovery.journal : nullptr;
    const qint64 length = std::max<qint64>(0, std::min<qint64>(m_ops.size(fd), undo ? undo->oldLength : LLONG_MAX));
    const qint64 wholeRecords =
        length < recordimage::ImageLength ? 0 : (length - recordimage::ImageLength) / recordimage::SlotLength + 1;
    m_table.clear();
    m_pending.clear(); // the table now mirrors the file
    m_base.clear();
    // Room for typical texts; pages that stay unused are never touched, so cost no memory.
    m_table.reserve(qint32(std::min<qint64>(wholeRecords, DayTable::DayCapacity)), qsizetype(wholeRecords) * 32);

    std::vector<char> buffer(size_t(std::clamp<qint64>(length, recordimage::SlotLength,
                                                       SlotsPerRead * recordimage::SlotLength)));
    off_t offset = 0;
    bool failed = false;
    while (offset < length) {
        const size_t wanted = size_t(std::min<qint64>(qint64(buffer.size()), length - offset));
        const ssize_t n = readAll(m_ops, fd, buffer.data(), wanted, offset);
        if (n < 0) {
            failed = true;
            report.status = LoadReport::Status::ReadFailed;
            report.problem = IoResult::failed(IoResult::Step::Read, m_path);
            break;
        }
        if (undo)
            rollbackjournal::overlay(*undo, offset, buffer.data(), n);
        if (!m_table.appendSlots(QByteArrayView(buffer.data(), n))) {
            failed = true;
            report.status = LoadReport::Status::TooManyRecords;
        }
        if (failed || size_t(n) < wanted)
            break;
        offset += n;
    }
    m_check.loaded(m_ops, fd, length);
    m_ops.close(fd);

    report.recordsRead = m_table.DayCount();
    m_writableLimit = failed ? m_table.DayCount() : std::numeric_limits<qint32>::max();
    m_state = report.readOnly != LoadReport::ReadOnly::No ? State::ReadOnly
        : !recovery.settled                               ? State::Unsettled
        : nameDurable                                     ? State::Clean
                                                          : State::NameNotDurable;
    return report;
}

SaveReport DayFile::saveDay(QDate day, const DayThings &things)
{
    return saveDays({{day, things}});
}

SaveReport DayFile::saveDays(const std::vector<std::pair<QDate, DayThings>> &days)
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
                report.refusedDay = day;
                report.refusedThing = int(i) + 1;
                return report;
            }
            texts[d][i] = *encoded;
        }
        for (qint32 no = 1; no <= 5; ++no)
            missing += m_table.find(oledate::fromDate(day), no) ? 0 : 1;
    }
    if (qint64(m_table.DayCount()) + missing > DayTable::DayCapacity) {
        report.status = SaveReport::Status::TableFull;
        return report;
    }

    for (size_t d = 0; d < days.size(); ++d) {
        const auto &[day, things] = days[d];
        for (qint32 no = 1; no <= 5; ++no) {
            const auto found = m_table.find(oledate::fromDate(day), no);
            const qint32 index = found ? *found : *m_table.findOrAppend(oledate::fromDate(day), no);
            if (!m_pending.count(index)) // what the file holds, for a merge should it be replaced
                m_base[index] = found ? std::optional<DayRecord>(m_table.record(index)) : std::nullopt;
            m_table.setThing(index, texts[d][size_t(no - 1)], things[size_t(no - 1)].done);
            m_pending.insert(index);
        }
    }
    // One journal covers every slot, so the days reach the disk together or not at all (D2).
    return writePending();
}

SaveReport DayFile::flushPending()
{
    return writePending(); // even with nothing kept back: a deleted file is written back
}

std::vector<QDate> DayFile::owedDays() const
{
    std::set<QDate> days;
    for (qint32 slot : m_pending) {
        if (const auto day = oledate::toDate(m_table.thingDate(slot)))
            days.insert(*day);
    }
    return std::vector<QDate>(days.begin(), days.end());
}

bool DayFile::holdsWholeFile() const
{
    return writesAllowed() && m_writableLimit == std::numeric_limits<qint32>::max();
}

bool DayFile::writesAllowed() const
{
    return m_state != State::Unloaded && m_state != State::Blocked && m_state != State::ReadOnly;
}

std::set<qint32> DayFile::writableSlots() const
{
    std::set<qint32> writable;
    for (qint32 slot : m_pending) {
        if (slot <= m_writableLimit)
            writable.insert(slot);
    }
    return writable;
}

SaveReport DayFile::writePending()
{
    SaveReport report;
    if (writesAllowed() && !mayWrite(report)) // a file changed behind the program's back is not written
        return report;
    const std::set<qint32> writable = writesAllowed() ? writableSlots() : std::set<qint32>();
    if (!writable.empty()) {
        report.problem = writeSlots(writable);
        m_check.afterWrite(writable, report.problem.ok());
        if (report.problem.ok())
            m_check.noteWriteTime(m_ops, m_path);
        if (report.problem.ok()) {
            for (qint32 slot : writable) {
                m_pending.erase(slot);
                m_base.erase(slot);
            }
        }
    }
    if (!m_pending.empty()) {
        report.status = SaveReport::Status::NotOnDisk;
        report.unwritten = QList<qint32>(m_pending.begin(), m_pending.end());
        report.why = !writesAllowed() ? SaveReport::Why::ReadOnly
            : report.problem.ok()     ? SaveReport::Why::NotLoaded
                                      : SaveReport::Why::Disk;
    }
    return report;
}

bool DayFile::mayWrite(SaveReport &report)
{
    const DayFileCheck::Verdict verdict =
        m_check.beforeWrite(m_ops, m_path, m_table, writableSlots(), m_state == State::Unsettled);
    switch (verdict) {
    case DayFileCheck::Verdict::Same:
    case DayFileCheck::Verdict::Unknown:
        return true;
    case DayFileCheck::Verdict::Deleted: {
        // A journal of the file that is gone could only spoil the new one; everything the table
        // holds goes back, as a whole file without blank slots.
        m_ops.remove(rollbackjournal::pathFor(m_path));
        m_state = State::NameNotDurable;
        const int made = m_ops.open(m_path, O_RDWR | O_CREAT | O_EXCL);
        if (made >= 0) {
            m_check.loaded(m_ops, made, 0);
            m_ops.close(made);
            m_realPath = m_path; // made at the name, never through a link: its journal lies beside it
        }
        m_writableLimit = std::numeric_limits<qint32>::max();
        for (qint32 slot = 1; slot <= m_table.DayCount(); ++slot)
            m_pending.insert(slot);
        report.remade = true;
        return true;
    }
    case DayFileCheck::Verdict::OtherFile:
    case DayFileCheck::Verdict::OtherLength:
    case DayFileCheck::Verdict::OtherDays:
        report.status = SaveReport::Status::Replaced;
        report.why = verdict == DayFileCheck::Verdict::OtherFile ? SaveReport::Why::OtherFile
            : verdict == DayFileCheck::Verdict::OtherLength      ? SaveReport::Why::OtherLength
                                                                 : SaveReport::Why::OtherDays;
        report.unwritten = QList<qint32>(m_pending.begin(), m_pending.end());
        return false;
    }
    return true;
}

IoResult DayFile::settle()
{
    const rollbackjournal::Recovery earlier = rollbackjournal::recover(m_ops, m_realPath);
    if (!earlier.settled)
        return earlier.problem.ok() ? IoResult::failed(IoResult::Step::SetAside, rollbackjournal::pathFor(m_realPath))
                                    : earlier.problem;
    m_state = State::NameNotDurable; // whether the journal's name reached the disk is not known
    return IoResult::done();
}

IoResult DayFile::writeSlots(const std::set<qint32> &slotNumbers)
{
    // After a failed save the file may hold part of it, which must be undone before the journal
    // that describes it is overwritten (P2).
    if (m_state == State::Unsettled) {
        if (const IoResult settled = settle(); !settled.ok())
            return settled;
    }

    const int fd = m_ops.open(m_path, O_RDWR);
    if (fd < 0)
        return IoResult::failed(IoResult::Step::Open, m_path);
    const auto fail = [&](IoResult::Step step) {
        const IoResult failure = IoResult::failed(step, m_path);
        m_ops.close(fd);
        return failure;
    };

    const off_t oldLength = m_ops.size(fd);
    if (oldLength < 0)
        return fail(IoResult::Step::Measure);

    rollbackjournal::Journal journal;
    journal.oldLength = oldLength;
    journal.newLength = oldLength;
    for (const auto &[first, last] : runsOf(slotNumbers)) {
        QByteArray run(qsizetype(last - first + 1) * recordimage::SlotLength, Qt::Uninitialized);
        for (qint32 slot = first; slot <= last; ++slot) {
            recordimage::encode(m_table.record(slot),
                                std::span<char, recordimage::SlotLength>(
                                    run.data() + qsizetype(slot - first) * recordimage::SlotLength,
                                    recordimage::SlotLength));
        }
        const off_t at = off_t(first - 1) * recordimage::SlotLength;
        // What the run overwrites; nothing where it appends.
        QByteArray old(qsizetype(std::clamp<qint64>(qint64(oldLength) - at, 0, run.size())), Qt::Uninitialized);
        if (readAll(m_ops, fd, old.data(), size_t(old.size()), at) != ssize_t(old.size()))
            return fail(IoResult::Step::Read);
        if (old == run)
            continue; // already on the disk (P3)
        journal.newLength = std::max<qint64>(journal.newLength, at + run.size());
        journal.ranges.push_back({at, old, run});
    }
    if (journal.ranges.empty()) {
        m_ops.close(fd);
        return IoResult::done();
    }

    // From here on, a failure may leave part of this save in the file.
    const bool syncFolder = m_state == State::NameNotDurable;
    m_state = State::Writing;
    bool nameDurable = false;
    int journalFd = -1;
    if (const IoResult stored = rollbackjournal::store(m_ops, m_realPath, journal, syncFolder, &nameDurable, &journalFd);
        !stored.ok()) {
        m_ops.close(fd);
        m_state = State::Unsettled;
        return stored;
    }
    const auto unsettled = [&](IoResult::Step step) {
        m_ops.close(journalFd);
        m_state = State::Unsettled;
        return fail(step);
    };
    for (const rollbackjournal::Range &range : journal.ranges) {
        if (!writeAll(m_ops, fd, range.newBytes.constData(), size_t(range.newBytes.size()), off_t(range.offset)))
            return unsettled(IoResult::Step::Write);
    }
    // Nothing counts as saved until the disk has it (P2).
    if (m_ops.fsync(fd) != 0)
        return unsettled(IoResult::Step::Sync);
    m_ops.close(fd); // after fsync, a failing close loses nothing
    // The save is done; a journal that cannot be marked is held against the file again before
    // the next save overwrites it.
    m_state = rollbackjournal::markDone(m_ops, m_realPath, journalFd).ok() ? State::Finished : State::Unsettled;
    return IoResult::done();
}

std::vector<DayFile::OwedThing> DayFile::owedThings() const
{
    std::vector<OwedThing> owed;
    for (qint32 slot : m_pending) {
        const auto day = oledate::toDate(m_table.thingDate(slot));
        const qint32 no = m_table.thingNo(slot);
        if (!day || no < 1 || no > 5 || !m_table.isCurrent(slot))
            continue; // nothing the day view shows
        OwedThing thing{*day, no, std::nullopt, {gbk::decode(m_table.text(slot)), m_table.isDone(slot)}};
        if (const auto base = m_base.find(slot); base != m_base.end() && base->second)
            thing.base = ThingInput{gbk::decode(base->second->ThingText), base->second->isDone()};
        owed.push_back(std::move(thing));
    }
    return owed;
}

bool DayFile::fileOnDiskIsOurs() const
{
    return m_check.unchanged(m_ops, m_path);
}
