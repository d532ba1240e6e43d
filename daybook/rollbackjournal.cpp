#include "rollbackjournal.h"

#include "fileops.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>

namespace rollbackjournal {

namespace {

constexpr QByteArrayView Magic("TLJRNL01");
constexpr qsizetype HeaderLength = 8 + 8 + 4;
constexpr qsizetype RangeHeaderLength = 8 + 4;
constexpr auto Hash = QCryptographicHash::Sha256;
constexpr qsizetype HashLength = 32;
// A save's journal holds at most every slot of a full table; anything larger is not ours.
constexpr qint64 MaxJournalBytes = qint64(256) << 20;

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

Recovery discard(FileOps &ops, const QString &dayFilePath, const QString &why)
{
    Recovery r;
    r.outcome = Outcome::Discarded;
    r.detail = why;
    QString failure;
    if (!retire(ops, dayFilePath, &failure))
        r.detail += QStringLiteral("; ") + failure;
    return r;
}

} // namespace

QString pathFor(const QString &dayFilePath) { return dayFilePath + QStringLiteral(".journal"); }

QByteArray encode(const Journal &journal)
{
    QByteArray out(Magic.data(), Magic.size());
    put<qint64>(out, journal.oldLength);
    put<quint32>(out, quint32(journal.ranges.size()));
    for (const Range &range : journal.ranges) {
        put<qint64>(out, range.offset);
        put<quint32>(out, quint32(range.bytes.size()));
        out += range.bytes;
    }
    out += QCryptographicHash::hash(out, Hash);
    return out;
}

std::optional<Journal> decode(QByteArrayView bytes)
{
    if (bytes.size() < HeaderLength + HashLength || !bytes.startsWith(Magic))
        return std::nullopt;
    const QByteArrayView body = bytes.first(bytes.size() - HashLength);
    if (QCryptographicHash::hash(body, Hash) != bytes.last(HashLength))
        return std::nullopt;

    const char *p = body.data();
    Journal journal;
    journal.oldLength = qFromLittleEndian<qint64>(p + 8);
    const quint32 count = qFromLittleEndian<quint32>(p + 16);
    if (journal.oldLength < 0)
        return std::nullopt;
    qsizetype at = HeaderLength;
    for (quint32 i = 0; i < count; ++i) {
        if (body.size() - at < RangeHeaderLength)
            return std::nullopt;
        const qint64 offset = qFromLittleEndian<qint64>(p + at);
        const quint32 length = qFromLittleEndian<quint32>(p + at + 8);
        at += RangeHeaderLength;
        if (offset < 0 || length > quint32(body.size() - at)
            || (length > 0 && offset > journal.oldLength - qint64(length)))
            return std::nullopt;
        journal.ranges.push_back({offset, body.sliced(at, length).toByteArray()});
        at += length;
    }
    if (at != body.size())
        return std::nullopt;
    return journal;
}

void overlay(const Journal &journal, qint64 offset, char *buffer, qint64 count)
{
    for (const Range &range : journal.ranges) {
        const qint64 from = std::max(offset, range.offset);
        const qint64 to = std::min(offset + count, range.offset + range.bytes.size());
        if (from < to)
            std::memcpy(buffer + (from - offset), range.bytes.constData() + (from - range.offset), size_t(to - from));
    }
}

Recovery recover(FileOps &ops, const QString &dayFilePath)
{
    Recovery r;
    const QString journalPath = pathFor(dayFilePath);
    const int journalFd = ops.open(journalPath, O_RDONLY | O_NOFOLLOW); // this program never makes it a link
    if (journalFd < 0) {
        if (errno != ENOENT) {
            r.outcome = Outcome::Unreadable;
            r.detail = systemError("Cannot open", journalPath);
        }
        return r;
    }
    const off_t size = ops.size(journalFd);
    if (size > MaxJournalBytes) {
        ops.close(journalFd);
        return discard(ops, dayFilePath, QStringLiteral("%1 is too large to be a journal").arg(journalPath));
    }
    QByteArray bytes(size < 0 ? 0 : qsizetype(size), Qt::Uninitialized);
    const bool read = size >= 0 && readAll(ops, journalFd, bytes.data(), size_t(bytes.size()), 0) == ssize_t(size);
    if (!read) {
        r.outcome = Outcome::Unreadable;
        r.detail = systemError("Cannot read", journalPath);
        ops.close(journalFd);
        return r;
    }
    ops.close(journalFd);

    std::optional<Journal> journal = decode(bytes);
    if (!journal)
        return discard(ops, dayFilePath, QStringLiteral("%1 was incomplete and is dropped").arg(journalPath));

    const int fd = ops.open(dayFilePath, O_RDWR);
    if (fd < 0) {
        if (errno == ENOENT) // the journal alone cannot bring back a day file that is gone
            return discard(ops, dayFilePath, QStringLiteral("%1 is missing; its journal is dropped").arg(dayFilePath));
        r.outcome = Outcome::RollbackPending;
        r.journal = std::move(journal);
        r.detail = systemError("Cannot undo the unfinished save in", dayFilePath);
        return r;
    }
    bool undone = true;
    for (const Range &range : journal->ranges) {
        undone = writeAll(ops, fd, range.bytes.constData(), size_t(range.bytes.size()), off_t(range.offset));
        if (!undone)
            break;
    }
    if (undone && ops.size(fd) > journal->oldLength)
        undone = ops.ftruncate(fd, off_t(journal->oldLength)) == 0;
    // The journal may go only once the undo is on the disk.
    undone = undone && ops.fsync(fd) == 0;
    if (!undone) {
        r.outcome = Outcome::RollbackPending;
        r.journal = std::move(journal);
        r.detail = systemError("Cannot undo the unfinished save in", dayFilePath);
        ops.close(fd);
        return r;
    }
    ops.close(fd);

    r.outcome = Outcome::RolledBack;
    r.detail = QStringLiteral("An unfinished save of %1 was undone").arg(dayFilePath);
    QString failure;
    if (!retire(ops, dayFilePath, &failure)) // undoing it again later changes nothing
        r.detail += QStringLiteral("; ") + failure;
    return r;
}

std::optional<QByteArray> preview(FileOps &ops, const QString &dayFilePath, Recovery *what)
{
    *what = {};
    const QString journalPath = pathFor(dayFilePath);
    std::optional<Journal> journal;
    const int journalFd = ops.open(journalPath, O_RDONLY | O_NOFOLLOW);
    if (journalFd < 0 && errno != ENOENT) {
        what->outcome = Outcome::Unreadable;
        what->detail = systemError("Cannot open", journalPath);
        return std::nullopt;
    }
    if (journalFd >= 0) {
        const off_t size = ops.size(journalFd);
        QByteArray bytes(size < 0 || size > MaxJournalBytes ? 0 : qsizetype(size), Qt::Uninitialized);
        const bool read =
            size >= 0 && readAll(ops, journalFd, bytes.data(), size_t(bytes.size()), 0) == ssize_t(bytes.size());
        ops.close(journalFd);
        if (!read) {
            what->outcome = Outcome::Unreadable;
            what->detail = systemError("Cannot read", journalPath);
            return std::nullopt;
        }
        journal = size <= MaxJournalBytes ? decode(bytes) : std::nullopt;
        what->outcome = journal ? Outcome::RolledBack : Outcome::Discarded;
    }

    // A missing day file stays missing: recovery drops a journal without its file.
    QByteArray content;
    const int fd = ops.open(dayFilePath, O_RDONLY);
    if (fd < 0) {
        if (errno != ENOENT) {
            what->detail = systemError("Cannot open", dayFilePath);
            return std::nullopt;
        }
        if (journal)
            what->outcome = Outcome::Discarded;
        return content;
    }
    const qint64 size = ops.size(fd);
    // Recovery writes the old bytes back, then cuts the file to its old length.
    qint64 length = size;
    if (journal) {
        length = std::min<qint64>(size, journal->oldLength);
        for (const Range &range : journal->ranges)
            length = std::max<qint64>(length, range.offset + range.bytes.size());
    }
    content = QByteArray(length < 0 ? 0 : qsizetype(length), '\0');
    const qint64 stored = std::min(size, length);
    const bool read = size >= 0 && readAll(ops, fd, content.data(), size_t(stored), 0) == ssize_t(stored);
    ops.close(fd);
    if (!read) {
        what->detail = systemError("Cannot read", dayFilePath);
        return std::nullopt;
    }
    if (journal)
        overlay(*journal, 0, content.data(), content.size());
    return content;
}

bool store(FileOps &ops, const QString &dayFilePath, const Journal &journal, QString *detail)
{
    const QString journalPath = pathFor(dayFilePath);
    const QByteArray bytes = encode(journal);
    const int fd = ops.open(journalPath, O_WRONLY | O_CREAT | O_TRUNC);
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
    // Without this the journal's name could vanish in a power cut while the slots it guards
    // are already overwritten.
    if (ok && ops.syncDirectory(directoryOf(dayFilePath)) != 0) {
        ok = false;
        *detail = systemError("Cannot sync the folder of", journalPath);
    }
    if (!ok)
        ops.remove(journalPath); // the day file is untouched, so the journal is worth nothing
    return ok;
}

bool retire(FileOps &ops, const QString &dayFilePath, QString *detail)
{
    const QString journalPath = pathFor(dayFilePath);
    if (ops.remove(journalPath) != 0 && errno != ENOENT) {
        *detail = systemError("Cannot remove", journalPath);
        return false;
    }
    // A journal that comes back after a power cut would undo a save reported as done.
    if (ops.syncDirectory(directoryOf(dayFilePath)) != 0) {
        *detail = systemError("Cannot sync the folder of", journalPath);
        return false;
    }
    return true;
}

} // namespace rollbackjournal
