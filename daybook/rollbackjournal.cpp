#include "rollbackjournal.h"

#include "dayrecord.h"
#include "fileops.h"

#include <QFileInfo>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>

namespace rollbackjournal {

namespace {

// A save's journal holds at most every slot of a full table twice; anything larger is not ours.
constexpr qint64 MaxJournalBytes = qint64(512) << 20;
// A journal file longer than this and than twice the journal it holds is cut (P6).
constexpr qint64 KeptJournalBytes = 64 * 1024;

QString directoryOf(const QString &path) { return QFileInfo(path).absolutePath(); }

// How the day file stands to a journal.
enum class Fit {
    Old,     // every range holds its old bytes, at the old length
    New,     // every range holds its new bytes: the save finished (R3)
    Mixed,   // some of each: the save was cut short
    Foreign, // the file is not the one the journal was written for
    ReadError,
};

// Reads count bytes at offset of the day file, fewer where the file ends; nothing on error.
using Reader = std::function<std::optional<QByteArray>(qint64 offset, qint64 count)>;

// Whether the covered bytes past a file of this length are only the padding of its last slot,
// which earlier writers leave off the end of a file. A crash cannot leave a file so: what it
// cuts off ends at a sector, which never falls 22 bytes short of a slot's end.
bool onlyPaddingMissing(qint64 length, qint64 coveredEnd)
{
    constexpr qint64 Padding = recordimage::SlotLength - recordimage::ImageLength;
    return length % recordimage::SlotLength == recordimage::ImageLength && coveredEnd == length + Padding;
}

Fit fitOf(const Journal &journal, qint64 length, const Reader &read)
{
    bool allOld = length == journal.oldLength;
    bool allNew = true;    // every covered byte the file holds is new
    bool neither = false;  // a covered byte is neither old nor new
    qint64 coveredEnd = 0;
    for (const Range &range : journal.ranges) {
        coveredEnd = std::max<qint64>(coveredEnd, range.offset + range.newBytes.size());
        const qint64 count = std::min<qint64>(range.newBytes.size(), length - range.offset);
        if (count <= 0)
            continue;
        const std::optional<QByteArray> held = read(range.offset, count);
        if (!held || held->size() != count)
            return Fit::ReadError;
        for (qint64 i = 0; i < count; ++i) {
            const char c = held->at(i);
            const bool isNew = c == range.newBytes.at(i);
            // Past the old length, a sector whose data did not reach the disk before a power cut
            // reads as zeros.
            const bool isOld = i < range.oldBytes.size() ? c == range.oldBytes.at(i) : c == 0;
            neither = neither || (!isOld && !isNew);
            allOld = allOld && isOld;
            allNew = allNew && isNew;
        }
    }
    // A finished save whose done mark a power cut took back is known by its content, whatever
    // another writer did to the file's length since (R3).
    if (allNew && (coveredEnd <= length || onlyPaddingMissing(length, coveredEnd)))
        return Fit::New;
    if (neither || length < journal.oldLength || length > journal.newLength)
        return Fit::Foreign;
    return allOld ? Fit::Old : Fit::Mixed;
}

struct JournalFile
{
    enum class State { Missing, Done, Unreadable, Torn, Valid } state = State::Missing;
    Journal journal;
    IoResult problem;
};

// Reads the header, then only the length it gives (R5).
JournalFile readJournal(FileOps &ops, const QString &journalPath)
{
    JournalFile j;
    const int fd = ops.open(journalPath, O_RDONLY | O_NOFOLLOW);
    if (fd < 0) {
        if (errno != ENOENT) {
            j.state = JournalFile::State::Unreadable;
            j.problem = IoResult::failed(IoResult::Step::Open, journalPath);
        }
        return j;
    }
    const auto unreadable = [&] {
        j.state = JournalFile::State::Unreadable;
        j.problem = IoResult::failed(IoResult::Step::Read, journalPath);
        ops.close(fd);
        return j;
    };
    char header[HeaderLength];
    const ssize_t got = readAll(ops, fd, header, sizeof header, 0);
    if (got < 0)
        return unreadable();
    if (got == 0 || (got == HeaderLength && std::all_of(header, header + HeaderLength, [](char c) { return c == 0; }))) {
        ops.close(fd); // made at load and never written, or marked done (F2)
        j.state = JournalFile::State::Done;
        return j;
    }
    const qint64 length = got == HeaderLength ? qFromLittleEndian<qint64>(header + 8) : 0;
    if (got < HeaderLength || !startsAsJournal(QByteArrayView(header, HeaderLength)) || length < HeaderLength
        || length > MaxJournalBytes) {
        ops.close(fd);
        j.state = JournalFile::State::Torn;
        return j;
    }
    // What lies past the length is left over from a longer journal (P6), and is not read.
    const qint64 toRead = length;
    QByteArray bytes(qsizetype(toRead), Qt::Uninitialized);
    std::memcpy(bytes.data(), header, HeaderLength);
    const ssize_t rest = readAll(ops, fd, bytes.data() + HeaderLength, size_t(toRead - HeaderLength), HeaderLength);
    if (rest < 0)
        return unreadable();
    ops.close(fd);
    std::optional<Journal> decoded = rest == toRead - HeaderLength ? decode(bytes) : std::nullopt;
    if (!decoded) {
        j.state = JournalFile::State::Torn;
        return j;
    }
    j.state = JournalFile::State::Valid;
    j.journal = std::move(*decoded);
    return j;
}

// Renames the journal to the first free name "<journal>.kept", "<journal>.kept-2", ...
// (R4) an earlier kept journal is never overwritten.
QString setAside(FileOps &ops, const QString &journalPath, IoResult *problem)
{
    for (int n = 1; n < 100; ++n) {
        const QString to = journalPath + QStringLiteral(".kept") + (n > 1 ? QStringLiteral("-%1").arg(n) : QString());
        if (ops.renameNoReplace(journalPath, to) == 0)
            return to;
        if (errno != EEXIST)
            break;
    }
    *problem = IoResult::failed(IoResult::Step::SetAside, journalPath);
    return QString();
}

// R3: what the file holds is on the disk before the journal that describes it may go.
IoResult settle(FileOps &ops, int fd, const QString &dayFilePath)
{
    if (fd >= 0 && ops.fsync(fd) != 0)
        return IoResult::failed(IoResult::Step::Sync, dayFilePath);
    return markDone(ops, dayFilePath, true);
}

} // namespace

QString pathFor(const QString &dayFilePath) { return dayFilePath + QStringLiteral(".journal"); }

Recovery recover(FileOps &ops, const QString &dayFilePath)
{
    Recovery r;
    const QString journalPath = pathFor(dayFilePath);
    JournalFile found = readJournal(ops, journalPath);
    switch (found.state) {
    case JournalFile::State::Missing:
    case JournalFile::State::Done:
        r.settled = true;
        return r;
    case JournalFile::State::Unreadable:
        r.outcome = Outcome::Unreadable;
        r.problem = found.problem;
        return r;
    case JournalFile::State::Torn:
        r.outcome = Outcome::Discarded;
        r.settled = true;
        return r;
    case JournalFile::State::Valid:
        break;
    }
    const Journal &journal = found.journal;

    bool writable = true;
    int fd = ops.open(dayFilePath, O_RDWR);
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        writable = false;
        fd = ops.open(dayFilePath, O_RDONLY);
    }
    const bool missing = fd < 0 && errno == ENOENT;
    const auto pending = [&](IoResult::Step step) {
        r.outcome = Outcome::RollbackPending;
        r.journal = journal;
        r.problem = IoResult::failed(step, dayFilePath);
        if (fd >= 0)
            ops.close(fd);
        return r;
    };
    if (fd < 0 && !missing)
        return pending(IoResult::Step::Open);

    const qint64 length = missing ? 0 : ops.size(fd);
    if (length < 0)
        return pending(IoResult::Step::Measure);
    const Fit fit = fitOf(journal, length, [&](qint64 offset, qint64 count) -> std::optional<QByteArray> {
        QByteArray bytes(qsizetype(count), Qt::Uninitialized);
        const ssize_t n = readAll(ops, fd, bytes.data(), size_t(count), off_t(offset));
        if (n < 0)
            return std::nullopt;
        bytes.truncate(n);
        return bytes;
    });
    switch (fit) {
    case Fit::ReadError:
        return pending(IoResult::Step::Read);
    case Fit::Foreign:
        if (fd >= 0)
            ops.close(fd);
        r.outcome = Outcome::SetAside;
        r.noDayFile = missing;
        r.keptAside = setAside(ops, journalPath, &r.problem);
        // Until it is out of the way, a save must not overwrite it.
        r.settled = !r.keptAside.isEmpty();
        return r;
    case Fit::Old:
    case Fit::New:
        // What the file holds may still be only in the page cache (after a killed process or a
        // failed save), and the next save overwrites the journal that describes it.
        r.problem = settle(ops, fd, dayFilePath);
        r.settled = r.problem.ok();
        if (fd >= 0)
            ops.close(fd);
        return r;
    case Fit::Mixed:
        break;
    }

    if (!writable)
        return pending(IoResult::Step::Undo);
    for (const Range &range : journal.ranges) {
        if (!writeAll(ops, fd, range.oldBytes.constData(), size_t(range.oldBytes.size()), off_t(range.offset)))
            return pending(IoResult::Step::Undo);
    }
    if (length > journal.oldLength && ops.ftruncate(fd, off_t(journal.oldLength)) != 0)
        return pending(IoResult::Step::Undo);
    // The journal may be overwritten only once the undo is on the disk.
    if (ops.fsync(fd) != 0)
        return pending(IoResult::Step::Undo);
    ops.close(fd);
    r.outcome = Outcome::RolledBack;
    r.problem = markDone(ops, dayFilePath, true);
    r.settled = r.problem.ok();
    return r;
}

std::optional<QByteArray> preview(FileOps &ops, const QString &dayFilePath, Recovery *what)
{
    *what = {};
    const QString journalPath = pathFor(dayFilePath);
    const JournalFile found = readJournal(ops, journalPath);
    if (found.state == JournalFile::State::Unreadable) {
        what->outcome = Outcome::Unreadable;
        what->problem = found.problem;
        return std::nullopt;
    }

    QByteArray bytes;
    const int fd = ops.open(dayFilePath, O_RDONLY);
    if (fd < 0 && errno != ENOENT) {
        what->problem = IoResult::failed(IoResult::Step::Open, dayFilePath);
        return std::nullopt;
    }
    if (fd >= 0) {
        const off_t size = ops.size(fd);
        bytes.resize(size < 0 ? 0 : qsizetype(size));
        const bool read = size >= 0 && readAll(ops, fd, bytes.data(), size_t(bytes.size()), 0) == ssize_t(size);
        const int error = errno;
        ops.close(fd);
        if (!read) {
            what->problem = IoResult::failed(IoResult::Step::Read, dayFilePath, error);
            return std::nullopt;
        }
    }
    if (found.state == JournalFile::State::Torn)
        what->outcome = Outcome::Discarded;
    if (found.state != JournalFile::State::Valid)
        return bytes;

    const Journal &journal = found.journal;
    const Fit fit = fitOf(journal, bytes.size(), [&](qint64 offset, qint64 count) -> std::optional<QByteArray> {
        return bytes.mid(qsizetype(offset), qsizetype(count));
    });
    if (fit == Fit::Foreign) {
        what->outcome = Outcome::SetAside;
    } else if (fit == Fit::Mixed) {
        overlay(journal, 0, bytes.data(), bytes.size());
        bytes.truncate(qsizetype(journal.oldLength));
        what->outcome = Outcome::RolledBack;
    }
    return bytes;
}

IoResult prepare(FileOps &ops, const QString &dayFilePath)
{
    const QString journalPath = pathFor(dayFilePath);
    int fd = ops.open(journalPath, O_RDWR | O_CREAT | O_EXCL);
    if (fd < 0 && errno == EEXIST) {
        // A program that was killed left its last done mark in the page cache only (P5).
        fd = ops.open(journalPath, O_RDWR | O_NOFOLLOW);
        const bool markOnDisk = fd < 0 || ops.fsync(fd) == 0;
        if (!markOnDisk) {
            ops.close(fd);
            return IoResult::failed(IoResult::Step::Sync, journalPath);
        }
    }
    if (fd < 0)
        return IoResult::failed(IoResult::Step::Create, journalPath);
    ops.close(fd);
    // Also for a journal already there: it may have been made by a save whose folder sync never ran.
    if (ops.syncDirectory(directoryOf(dayFilePath)) != 0)
        return IoResult::failed(IoResult::Step::SyncFolder, journalPath);
    return IoResult::done();
}

IoResult store(FileOps &ops, const QString &dayFilePath, const Journal &journal, bool syncFolder, bool *nameDurable,
               int *journalFd)
{
    const QString journalPath = pathFor(dayFilePath);
    const QByteArray bytes = encode(journal);
    int fd = ops.open(journalPath, O_RDWR | O_NOFOLLOW);
    if (fd < 0 && errno == ENOENT) {
        fd = ops.open(journalPath, O_RDWR | O_CREAT | O_EXCL);
        syncFolder = true;
    }
    if (fd < 0)
        return IoResult::failed(IoResult::Step::Create, journalPath);
    IoResult result;
    if (!writeAll(ops, fd, bytes.constData(), size_t(bytes.size()), 0))
        result = IoResult::failed(IoResult::Step::Write, journalPath);
    const off_t size = result.ok() ? ops.size(fd) : 0;
    if (size > std::max<qint64>(KeptJournalBytes, 2 * qint64(bytes.size()))
        && ops.ftruncate(fd, off_t(bytes.size())) != 0)
        result = IoResult::failed(IoResult::Step::Write, journalPath);
    if (result.ok() && ops.fsync(fd) != 0)
        result = IoResult::failed(IoResult::Step::Sync, journalPath);
    if (result.ok())
        *journalFd = fd;
    else
        ops.close(fd);
    // Without this a power cut could take the journal's name while the slots it guards are
    // already overwritten (P4).
    if (result.ok() && syncFolder) {
        if (ops.syncDirectory(directoryOf(dayFilePath)) != 0)
            result = IoResult::failed(IoResult::Step::SyncFolder, journalPath);
        *nameDurable = result.ok();
        if (!result.ok()) {
            ops.close(fd);
            *journalFd = -1;
        }
    }
    return result;
}

namespace {

IoResult zeroHeader(FileOps &ops, int fd, const QString &journalPath, bool synced)
{
    static constexpr char Zeros[HeaderLength] = {};
    IoResult result;
    if (!writeAll(ops, fd, Zeros, sizeof Zeros, 0))
        result = IoResult::failed(IoResult::Step::Write, journalPath);
    else if (synced && ops.fsync(fd) != 0)
        result = IoResult::failed(IoResult::Step::Sync, journalPath);
    ops.close(fd);
    return result;
}

} // namespace

IoResult markDone(FileOps &ops, const QString &dayFilePath, bool synced)
{
    const QString journalPath = pathFor(dayFilePath);
    const int fd = ops.open(journalPath, O_RDWR | O_NOFOLLOW);
    if (fd < 0)
        return errno == ENOENT ? IoResult::done() : IoResult::failed(IoResult::Step::Open, journalPath);
    return zeroHeader(ops, fd, journalPath, synced);
}

IoResult markDone(FileOps &ops, const QString &dayFilePath, int journalFd)
{
    return zeroHeader(ops, journalFd, pathFor(dayFilePath), false);
}

} // namespace rollbackjournal
