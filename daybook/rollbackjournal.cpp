#include "rollbackjournal.h"

#include "fileops.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>

namespace rollbackjournal {

namespace {

constexpr QByteArrayView Magic("TLJRNL02");
constexpr qsizetype HeaderLength = 8 + 8 + 8 + 8 + 4;
constexpr qsizetype RangeHeaderLength = 8 + 4 + 4;
constexpr auto Hash = QCryptographicHash::Sha256;
constexpr qsizetype HashLength = 32;
// A save's journal holds at most every slot of a full table twice; anything larger is not ours.
constexpr qint64 MaxJournalBytes = qint64(512) << 20;

QString systemError(const char *what, const QString &path)
{
    return QStringLiteral("%1 %2: %3").arg(QLatin1StringView(what), path, errorText(errno));
}

QString directoryOf(const QString &path) { return QFileInfo(path).absolutePath(); }

template<typename T>
void put(QByteArray &out, T value)
{
    char bytes[sizeof(T)];
    qToLittleEndian<T>(value, bytes);
    out.append(bytes, qsizetype(sizeof(T)));
}

qint64 oldCount(qint64 oldLength, qint64 offset, qint64 length)
{
    return std::clamp<qint64>(oldLength - offset, 0, length);
}

// How the day file stands to a journal.
enum class Fit {
    Old,     // every range holds its old bytes, at the old length
    New,     // every range holds its new bytes, at the new length
    Mixed,   // some of each: the save was cut short
    Foreign, // the file is not the one the journal was written for
    ReadError,
};

// Reads count bytes at offset of the day file, fewer where the file ends; nothing on error.
using Reader = std::function<std::optional<QByteArray>(qint64 offset, qint64 count)>;

Fit fitOf(const Journal &journal, qint64 length, const Reader &read)
{
    if (length < journal.oldLength || length > journal.newLength)
        return Fit::Foreign;
    bool allOld = length == journal.oldLength;
    bool allNew = length == journal.newLength;
    for (const Range &range : journal.ranges) {
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
            if (!isOld && !isNew)
                return Fit::Foreign;
            allOld = allOld && isOld;
            allNew = allNew && isNew;
        }
    }
    return allNew ? Fit::New : allOld ? Fit::Old : Fit::Mixed;
}

struct JournalFile
{
    enum class State { Missing, Unreadable, Torn, Valid } state = State::Missing;
    Journal journal;
    QString detail;
};

JournalFile readJournal(FileOps &ops, const QString &journalPath)
{
    JournalFile j;
    const int fd = ops.open(journalPath, O_RDONLY | O_NOFOLLOW);
    if (fd < 0) {
        if (errno != ENOENT) {
            j.state = JournalFile::State::Unreadable;
            j.detail = systemError("Cannot open", journalPath);
        }
        return j;
    }
    const off_t size = ops.size(fd);
    if (size == 0) { // made at load, never written: no save yet
        ops.close(fd);
        return j;
    }
    const qint64 wanted = std::min<qint64>(size, MaxJournalBytes);
    QByteArray bytes(size < 0 ? 0 : qsizetype(wanted), Qt::Uninitialized);
    const bool read = size > 0 && readAll(ops, fd, bytes.data(), size_t(bytes.size()), 0) == ssize_t(wanted);
    ops.close(fd);
    if (!read) {
        j.state = JournalFile::State::Unreadable;
        j.detail = systemError("Cannot read", journalPath);
        return j;
    }
    std::optional<Journal> decoded = decode(bytes);
    if (!decoded) {
        j.state = JournalFile::State::Torn;
        j.detail = QStringLiteral("%1 was never completed and is ignored").arg(journalPath);
        return j;
    }
    j.state = JournalFile::State::Valid;
    j.journal = std::move(*decoded);
    return j;
}

// Renames the journal to the first free name "<journal>.kept", "<journal>.kept-2", ...
QString setAside(FileOps &ops, const QString &journalPath, QString *detail)
{
    for (int n = 1; n < 100; ++n) {
        const QString to = journalPath + QStringLiteral(".kept") + (n > 1 ? QStringLiteral("-%1").arg(n) : QString());
        if (ops.renameNoReplace(journalPath, to) == 0)
            return to;
        if (errno != EEXIST)
            break;
    }
    *detail = systemError("Cannot set aside", journalPath);
    return QString();
}

QString notItsFile(const QString &journalPath, const QString &dayFilePath)
{
    return QStringLiteral("%1 was not written for %2 as it is now (a restored or copied day file?); "
                          "it was not applied")
        .arg(journalPath, dayFilePath);
}

} // namespace

QString pathFor(const QString &dayFilePath) { return dayFilePath + QStringLiteral(".journal"); }

QByteArray encode(const Journal &journal)
{
    QByteArray out(Magic.data(), Magic.size());
    put<qint64>(out, 0); // the length, filled in below
    put<qint64>(out, journal.oldLength);
    put<qint64>(out, journal.newLength);
    put<quint32>(out, quint32(journal.ranges.size()));
    for (const Range &range : journal.ranges) {
        put<qint64>(out, range.offset);
        put<quint32>(out, quint32(range.newBytes.size()));
        put<quint32>(out, quint32(range.oldBytes.size()));
        out += range.oldBytes;
        out += range.newBytes;
    }
    qToLittleEndian<qint64>(out.size() + HashLength, out.data() + 8);
    out += QCryptographicHash::hash(out, Hash);
    return out;
}

std::optional<Journal> decode(QByteArrayView bytes)
{
    if (bytes.size() < HeaderLength + HashLength || !bytes.startsWith(Magic))
        return std::nullopt;
    const qint64 length = qFromLittleEndian<qint64>(bytes.data() + 8);
    if (length < HeaderLength + HashLength || length > bytes.size())
        return std::nullopt;
    const QByteArrayView body = bytes.first(length - HashLength);
    if (QCryptographicHash::hash(body, Hash) != bytes.sliced(body.size(), HashLength))
        return std::nullopt;

    const char *p = body.data();
    Journal journal;
    journal.oldLength = qFromLittleEndian<qint64>(p + 16);
    journal.newLength = qFromLittleEndian<qint64>(p + 24);
    const quint32 count = qFromLittleEndian<quint32>(p + 32);
    if (journal.oldLength < 0 || journal.newLength < journal.oldLength)
        return std::nullopt;
    qsizetype at = HeaderLength;
    qint64 end = 0;
    for (quint32 i = 0; i < count; ++i) {
        if (body.size() - at < RangeHeaderLength)
            return std::nullopt;
        const qint64 offset = qFromLittleEndian<qint64>(p + at);
        const quint32 newCount = qFromLittleEndian<quint32>(p + at + 8);
        const quint32 oldBytes = qFromLittleEndian<quint32>(p + at + 12);
        at += RangeHeaderLength;
        if (offset < end || offset > journal.newLength || newCount > journal.newLength - offset
            || oldBytes != oldCount(journal.oldLength, offset, newCount)
            || qint64(oldBytes) + newCount > body.size() - at)
            return std::nullopt;
        journal.ranges.push_back({offset, body.sliced(at, oldBytes).toByteArray(),
                                  body.sliced(at + oldBytes, newCount).toByteArray()});
        at += qsizetype(oldBytes) + newCount;
        end = offset + newCount;
    }
    if (at != body.size())
        return std::nullopt;
    return journal;
}

void overlay(const Journal &journal, qint64 offset, char *buffer, qint64 count)
{
    for (const Range &range : journal.ranges) {
        const qint64 from = std::max(offset, range.offset);
        const qint64 to = std::min(offset + count, range.offset + range.oldBytes.size());
        if (from < to)
            std::memcpy(buffer + (from - offset), range.oldBytes.constData() + (from - range.offset), size_t(to - from));
    }
}

Recovery recover(FileOps &ops, const QString &dayFilePath)
{
    Recovery r;
    const QString journalPath = pathFor(dayFilePath);
    JournalFile found = readJournal(ops, journalPath);
    switch (found.state) {
    case JournalFile::State::Missing:
        r.settled = true;
        return r;
    case JournalFile::State::Unreadable:
        r.outcome = Outcome::Unreadable;
        r.detail = found.detail;
        return r;
    case JournalFile::State::Torn:
        r.outcome = Outcome::Discarded;
        r.detail = found.detail;
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
    const auto pending = [&](const char *what) {
        r.outcome = Outcome::RollbackPending;
        r.journal = journal;
        r.detail = systemError(what, dayFilePath);
        if (fd >= 0)
            ops.close(fd);
        return r;
    };
    if (fd < 0 && !missing)
        return pending("Cannot open");

    const qint64 length = missing ? 0 : ops.size(fd);
    if (length < 0)
        return pending("Cannot measure");
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
        return pending("Cannot read");
    case Fit::Foreign:
        if (fd >= 0)
            ops.close(fd);
        r.outcome = Outcome::SetAside;
        r.noDayFile = missing;
        r.detail = notItsFile(journalPath, dayFilePath);
        r.keptAside = setAside(ops, journalPath, &r.detail);
        // Until it is out of the way, a save must not overwrite it.
        r.settled = !r.keptAside.isEmpty();
        return r;
    case Fit::Old:
    case Fit::New:
        // What the file holds may still be only in the page cache (after a killed process or a
        // failed save), and the next save overwrites the journal that describes it.
        r.settled = missing || ops.fsync(fd) == 0;
        if (!r.settled)
            r.detail = systemError("Cannot sync", dayFilePath);
        if (fd >= 0)
            ops.close(fd);
        return r;
    case Fit::Mixed:
        break;
    }

    if (!writable)
        return pending("Cannot undo the unfinished save in");
    for (const Range &range : journal.ranges) {
        if (!writeAll(ops, fd, range.oldBytes.constData(), size_t(range.oldBytes.size()), off_t(range.offset)))
            return pending("Cannot undo the unfinished save in");
    }
    if (length > journal.oldLength && ops.ftruncate(fd, off_t(journal.oldLength)) != 0)
        return pending("Cannot undo the unfinished save in");
    // The journal may be overwritten only once the undo is on the disk.
    if (ops.fsync(fd) != 0)
        return pending("Cannot undo the unfinished save in");
    ops.close(fd);
    r.outcome = Outcome::RolledBack;
    r.detail = QStringLiteral("An unfinished save of %1 was undone").arg(dayFilePath);
    r.settled = true;
    return r;
}

std::optional<QByteArray> preview(FileOps &ops, const QString &dayFilePath, Recovery *what)
{
    *what = {};
    const QString journalPath = pathFor(dayFilePath);
    const JournalFile found = readJournal(ops, journalPath);
    if (found.state == JournalFile::State::Unreadable) {
        what->outcome = Outcome::Unreadable;
        what->detail = found.detail;
        return std::nullopt;
    }

    QByteArray bytes;
    const int fd = ops.open(dayFilePath, O_RDONLY);
    if (fd < 0 && errno != ENOENT) {
        what->detail = systemError("Cannot open", dayFilePath);
        return std::nullopt;
    }
    if (fd >= 0) {
        const off_t size = ops.size(fd);
        bytes.resize(size < 0 ? 0 : qsizetype(size));
        const bool read = size >= 0 && readAll(ops, fd, bytes.data(), size_t(bytes.size()), 0) == ssize_t(size);
        ops.close(fd);
        if (!read) {
            what->detail = systemError("Cannot read", dayFilePath);
            return std::nullopt;
        }
    }
    if (found.state == JournalFile::State::Torn) {
        what->outcome = Outcome::Discarded;
        what->detail = found.detail;
    }
    if (found.state != JournalFile::State::Valid)
        return bytes;

    const Journal &journal = found.journal;
    const Fit fit = fitOf(journal, bytes.size(), [&](qint64 offset, qint64 count) -> std::optional<QByteArray> {
        return bytes.mid(qsizetype(offset), qsizetype(count));
    });
    if (fit == Fit::Foreign) {
        what->outcome = Outcome::SetAside;
        what->detail = notItsFile(journalPath, dayFilePath);
    } else if (fit == Fit::Mixed) {
        overlay(journal, 0, bytes.data(), bytes.size());
        bytes.truncate(qsizetype(journal.oldLength));
        what->outcome = Outcome::RolledBack;
    }
    return bytes;
}

bool prepare(FileOps &ops, const QString &dayFilePath)
{
    const int fd = ops.open(pathFor(dayFilePath), O_RDWR | O_CREAT | O_EXCL);
    if (fd >= 0)
        ops.close(fd);
    else if (errno != EEXIST)
        return false;
    // Also for a journal already there: it may have been made by a save whose folder sync never ran.
    return ops.syncDirectory(directoryOf(dayFilePath)) == 0;
}

bool store(FileOps &ops, const QString &dayFilePath, const Journal &journal, bool *nameDurable, QString *detail)
{
    const QString journalPath = pathFor(dayFilePath);
    const QByteArray bytes = encode(journal);
    int fd = ops.open(journalPath, O_RDWR | O_NOFOLLOW);
    if (fd < 0 && errno == ENOENT) {
        fd = ops.open(journalPath, O_RDWR | O_CREAT | O_EXCL);
        *nameDurable = false;
    }
    if (fd < 0) {
        *detail = systemError("Cannot create", journalPath);
        return false;
    }
    bool ok = writeAll(ops, fd, bytes.constData(), size_t(bytes.size()), 0);
    if (!ok)
        *detail = systemError("Cannot write", journalPath);
    if (ok && ops.fsync(fd) != 0) {
        ok = false;
        *detail = systemError("Cannot sync", journalPath);
    }
    ops.close(fd);
    // Without this a power cut could take the journal's name while the slots it guards are
    // already overwritten.
    if (ok && !*nameDurable) {
        ok = ops.syncDirectory(directoryOf(dayFilePath)) == 0;
        if (!ok)
            *detail = systemError("Cannot sync the folder of", journalPath);
        *nameDurable = ok;
    }
    return ok;
}

} // namespace rollbackjournal
