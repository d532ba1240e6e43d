// Feeds arbitrary day files, and arbitrary journals beside them, to the loader, and checks what
// start-up leaves against a reader of the journal's layout written here, apart from the program's.
//
// Input: one flag byte, then (with a journal) a 2-byte length and that many bytes describing
// the journal, then the day file.
//   bit 0: a journal lies beside the day file
//   bit 1: the journal bytes are taken as they are; else they describe a save of the day file:
//          one byte saying how far it got (bits 0-1: not at all, whole, part way, the file was
//          swapped for a shorter one; bits 2-7 choose the bytes written part way), then ranges
//          of 2 bytes offset past the previous range, 1 byte length, that many new bytes
//   bit 2: after loading, save a day and load again
#include "dayfile.h"
#include "fileops.h"
#include "oledate.h"
#include "rollbackjournal.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

namespace {

QString g_dir;

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_dayfile: %s\n", what);
        std::abort();
    }
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    check(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size(), "cannot write input");
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    check(f.open(QIODevice::ReadOnly), "cannot read back");
    return f.readAll();
}

quint32 take(QByteArrayView &in, int bytes)
{
    quint32 v = 0;
    for (int i = 0; i < bytes && !in.isEmpty(); ++i) {
        v |= quint32(quint8(in.front())) << (8 * i);
        in = in.sliced(1);
    }
    return v;
}

// Field by field, the date by its bits: a NaN date is still the same date.
bool sameRecord(const DayRecord &a, const DayRecord &b)
{
    return a.Reserved == b.Reserved && a.ThingNo == b.ThingNo && a.ThingText == b.ThingText && a.Done == b.Done
        && std::memcmp(&a.ThingDate, &b.ThingDate, sizeof(double)) == 0;
}

qint32 wholeRecords(qsizetype length)
{
    return length < recordimage::ImageLength ? 0 : qint32((length - recordimage::ImageLength) / 200 + 1);
}


// The journal's layout, read and written here by hand. All numbers little-endian:
// "TLJRNL02", 8 bytes total length up to and including the checksum, 8 bytes old length, 8 bytes
// new length, 4 bytes range count, per range 8 bytes offset, 4 bytes new count L, 4 bytes old
// count K (the part of the range inside the old length), K old bytes, L new bytes; then SHA-256
// of everything before it. Bytes after the total length are ignored.
struct Span
{
    qint64 offset;
    QByteArray oldBytes;
    QByteArray newBytes;
};
struct Undo
{
    qint64 oldLength = 0;
    qint64 newLength = 0;
    std::vector<Span> spans;
};

qint64 le(QByteArrayView bytes, qsizetype at, int width)
{
    quint64 v = 0;
    for (int i = width - 1; i >= 0; --i)
        v = (v << 8) | quint8(bytes[at + i]);
    return width == 8 ? qint64(v) : qint64(quint32(v));
}

void putLe(QByteArray &out, quint64 v, int width)
{
    for (int i = 0; i < width; ++i)
        out.append(char((v >> (8 * i)) & 0xFF));
}

QByteArray sha256(QByteArrayView bytes) { return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256); }

std::optional<Undo> readUndo(QByteArrayView bytes)
{
    constexpr qsizetype Head = 36;
    if (bytes.size() < Head + 32 || !bytes.startsWith("TLJRNL02"))
        return std::nullopt;
    const qint64 total = le(bytes, 8, 8);
    if (total < Head + 32 || total > bytes.size())
        return std::nullopt;
    const QByteArrayView body = bytes.first(total - 32);
    if (sha256(body) != bytes.sliced(total - 32, 32))
        return std::nullopt;
    Undo u;
    u.oldLength = le(body, 16, 8);
    u.newLength = le(body, 24, 8);
    if (u.oldLength < 0 || u.newLength < u.oldLength)
        return std::nullopt;
    const qint64 count = le(body, 32, 4);
    qint64 at = Head;
    qint64 end = 0;
    for (qint64 i = 0; i < count; ++i) {
        if (body.size() - at < 16)
            return std::nullopt;
        const qint64 offset = le(body, at, 8);
        const qint64 newCount = le(body, at + 8, 4);
        const qint64 oldCount = le(body, at + 12, 4);
        at += 16;
        if (offset < end || offset > u.newLength || newCount > u.newLength - offset
            || oldCount != std::clamp<qint64>(u.oldLength - offset, 0, newCount) || oldCount + newCount > body.size() - at)
            return std::nullopt;
        u.spans.push_back({offset, body.sliced(at, oldCount).toByteArray(), body.sliced(at + oldCount, newCount).toByteArray()});
        at += oldCount + newCount;
        end = offset + newCount;
    }
    if (at != body.size())
        return std::nullopt;
    return u;
}

QByteArray writeUndo(const Undo &u)
{
    QByteArray out("TLJRNL02");
    putLe(out, 0, 8);
    putLe(out, quint64(u.oldLength), 8);
    putLe(out, quint64(u.newLength), 8);
    putLe(out, u.spans.size(), 4);
    for (const Span &s : u.spans) {
        putLe(out, quint64(s.offset), 8);
        putLe(out, quint64(s.newBytes.size()), 4);
        putLe(out, quint64(s.oldBytes.size()), 4);
        out += s.oldBytes + s.newBytes;
    }
    QByteArray total;
    putLe(total, quint64(out.size() + 32), 8);
    out.replace(8, 8, total);
    return out + sha256(out);
}

// The file with every span's new bytes, at the new length.
QByteArray saved(const QByteArray &file, const Undo &u)
{
    QByteArray after = file;
    after.resize(u.newLength, '\0');
    for (const Span &s : u.spans)
        after.replace(s.offset, s.newBytes.size(), s.newBytes);
    return after;
}

// What start-up must do with the file beside a whole journal. The journal is the file's when the
// length lies between the two lengths and every journalled byte is its old or its new content
// (zero where the old file did not reach); finished or never begun, the file stays, else the old
// bytes go back.
rollbackjournal::Outcome expectedRecovery(const Undo &u, QByteArray &file)
{
    const qint64 length = file.size();
    bool allOld = length == u.oldLength;
    bool allNew = true;
    bool neither = false;
    qint64 coveredEnd = 0;
    for (const Span &s : u.spans) {
        coveredEnd = std::max<qint64>(coveredEnd, s.offset + s.newBytes.size());
        for (qint64 i = 0; i < s.newBytes.size() && s.offset + i < length; ++i) {
            const char c = file[s.offset + i];
            const bool isNew = c == s.newBytes[i];
            const bool isOld = c == (i < s.oldBytes.size() ? s.oldBytes[i] : '\0');
            neither = neither || (!isOld && !isNew);
            allOld = allOld && isOld;
            allNew = allNew && isNew;
        }
    }
    // A finished save: every new byte is there, whatever length another writer left, short of
    // nothing but the last slot's 22 bytes of padding.
    const bool paddingOnly = length % 200 == 178 && coveredEnd == length + 22;
    if (allNew && (coveredEnd <= length || paddingOnly))
        return rollbackjournal::Outcome::NoJournal;
    if (neither || length < u.oldLength || length > u.newLength)
        return rollbackjournal::Outcome::SetAside;
    if (allOld)
        return rollbackjournal::Outcome::NoJournal;
    for (const Span &s : u.spans)
        file.replace(s.offset, s.oldBytes.size(), s.oldBytes);
    file.truncate(u.oldLength);
    return rollbackjournal::Outcome::RolledBack;
}

// A save of before described by recipe, and the day file as a crash during it left it, or (cut)
// as another writer cut it short afterwards.
QByteArray journalOfASave(QByteArrayView recipe, QByteArray &file, bool *cut)
{
    const quint32 howFar = take(recipe, 1);
    const QByteArray before = file;
    Undo u;
    u.oldLength = u.newLength = before.size();
    qint64 end = 0;
    while (!recipe.isEmpty()) {
        const qint64 offset = std::min<qint64>(end + take(recipe, 2), u.newLength); // no gaps
        const qsizetype length = std::min<qsizetype>(take(recipe, 1), recipe.size());
        const qint64 oldCount = std::clamp<qint64>(u.oldLength - offset, 0, length);
        u.spans.push_back({offset, before.mid(offset, oldCount), recipe.first(length).toByteArray()});
        recipe = recipe.sliced(length);
        end = offset + length;
        u.newLength = std::max(u.newLength, end);
    }
    switch (howFar & 3) {
    case 0:
        break;
    case 1:
        file = saved(before, u);
        break;
    case 2: { // a power cut: any of the written bytes may be there, the file at either length
        file.resize(howFar & 4 ? u.newLength : u.oldLength, '\0');
        quint32 bits = howFar >> 3 | 1;
        for (const Span &s : u.spans) {
            for (qsizetype i = 0; i < s.newBytes.size() && s.offset + i < file.size(); ++i) {
                bits = bits * 1103515245u + 12345u;
                if (bits & 0x10000)
                    file[s.offset + i] = s.newBytes[i];
            }
        }
        break;
    }
    case 3:
        file.truncate(before.size() / 2);
        *cut = true;
        break;
    }
    return writeUndo(u);
}

// The real file system, keeping a copy of every journal a save stores: the save marks it done
// right after, and the oracle reads what was stored.
class JournalTap : public FileOps
{
public:
    QString journalPath;
    QByteArray stored;

    int open(const QString &path, int flags, int mode) override
    {
        const int fd = FileOps::open(path, flags, mode);
        if (fd >= 0 && path == journalPath)
            m_journalFd = fd;
        return fd;
    }
    ssize_t pwrite(int fd, const void *buffer, size_t count, off_t offset) override
    {
        if (fd == m_journalFd && offset == 0 && count > size_t(rollbackjournal::HeaderLength))
            stored = QByteArray(static_cast<const char *>(buffer), qsizetype(count));
        return FileOps::pwrite(fd, buffer, count, offset);
    }
    int close(int fd) override
    {
        if (fd == m_journalFd)
            m_journalFd = -1;
        return FileOps::close(fd);
    }

private:
    int m_journalFd = -1;
};

bool markedDone(const QByteArray &journal)
{
    return journal.isEmpty() || journal.startsWith(QByteArray(rollbackjournal::HeaderLength, '\0'));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Memory-backed where there is one: every save syncs, and a disk would slow the fuzzer tenfold.
    const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    QByteArray name = base.toLocal8Bit() + "/fuzz_dayfile.XXXXXX";
    check(::mkdtemp(name.data()) != nullptr, "no temporary folder");
    g_dir = QString::fromLocal8Bit(name);
    std::atexit([] { QDir(g_dir).removeRecursively(); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArrayView in(reinterpret_cast<const char *>(data), qsizetype(size));
    const quint32 flags = take(in, 1);
    const QString path = g_dir + QStringLiteral("/things.dat");
    const QString journalPath = rollbackjournal::pathFor(path);
    const QString keptPath = journalPath + QStringLiteral(".kept");
    QFile::remove(journalPath);
    QFile::remove(keptPath);

    QByteArray journalBytes;
    QByteArrayView recipe;
    bool cutByAnother = false;
    if (flags & 1) {
        recipe = in.first(std::min<qsizetype>(take(in, 2), in.size()));
        in = in.sliced(recipe.size());
    }
    QByteArray file = in.toByteArray();
    const QByteArray before = file;
    if (flags & 1) {
        journalBytes = flags & 2 ? recipe.toByteArray() : journalOfASave(recipe, file, &cutByAnother);
        writeFile(journalPath, journalBytes);
    }
    writeFile(path, file);

    // What start-up must leave.
    auto outcome = rollbackjournal::Outcome::NoJournal;
    QByteArray expected = file;
    if (!markedDone(journalBytes)) {
        const std::optional<Undo> undo = readUndo(journalBytes);
        outcome = undo ? expectedRecovery(*undo, expected) : rollbackjournal::Outcome::Discarded;
    }
    // A journal of a save of this very file leaves it as before the save or as after it.
    if ((flags & 3) == 1 && !cutByAnother && outcome != rollbackjournal::Outcome::SetAside) {
        const std::optional<Undo> undo = readUndo(journalBytes);
        // After it may be short of nothing but its last slot's padding: every record is whole.
        const QByteArray after = undo ? saved(before, *undo) : QByteArray();
        const bool afterWithoutPadding = after.size() % 200 == 0 && expected == after.first(std::max<qsizetype>(0, after.size() - 22));
        check(undo && (expected == before || expected == after || afterWithoutPadding), "a save's crash was misjudged");
    }

    JournalTap ops;
    ops.journalPath = journalPath;
    DayFile dayFile(ops, path);
    const DayTable &table = dayFile.table();
    const LoadReport load = dayFile.load();
    check(load.ok(), "a load failed");
    check(load.recovery == outcome, "unexpected recovery");
    check(readFile(path) == expected, "the file is not what start-up should leave");
    if (outcome == rollbackjournal::Outcome::SetAside) {
        check(load.keptAsideJournal == keptPath && readFile(keptPath) == journalBytes, "a foreign journal was not kept aside");
    } else if (!journalBytes.isEmpty()) {
        // A journal held against its file is marked done, and nothing else of it changes; one
        // that could not be read as a journal is left as it is.
        const QByteArray now = readFile(journalPath);
        if (readUndo(journalBytes))
            check(markedDone(now) && now.mid(rollbackjournal::HeaderLength) == journalBytes.mid(rollbackjournal::HeaderLength),
                  "start-up did not mark a journal it settled done");
        else if (!markedDone(journalBytes))
            check(now == journalBytes, "start-up changed a journal it could not read");
    }
    check(table.DayCount() == wholeRecords(expected.size()), "records lost or invented");
    for (qint32 i = 1; i <= table.DayCount(); ++i) {
        const auto image = std::span<const char, recordimage::ImageLength>(expected.constData() + (i - 1) * 200,
                                                                           recordimage::ImageLength);
        check(sameRecord(table.record(i), recordimage::decode(image)), "a record differs from its slot");
    }

    if (flags & 4) {
        const QDate day = table.DayCount() > 0 ? oledate::toDate(table.thingDate(1)).value_or(QDate(2013, 5, 17))
                                               : QDate(2013, 5, 17);
        DayThings things;
        things[0].text = QStringLiteral("fuzz");
        ops.stored.clear();
        check(dayFile.saveDay(day, things).allOnDisk(), "a save failed");
        const QByteArray after = readFile(path);
        // Whatever the save wrote, its journal describes: the bytes it replaced and the ones now
        // there. A finished save leaves its journal marked done.
        check(markedDone(readFile(journalPath)), "a finished save's journal is not marked done");
        if (after != expected) {
            const std::optional<Undo> undo = readUndo(ops.stored);
            check(undo && undo->oldLength == expected.size() && saved(expected, *undo) == after, "a save's journal is wrong");
            for (const Span &s : undo->spans)
                check(s.oldBytes == expected.mid(s.offset, s.oldBytes.size()), "a save journalled the wrong old bytes");
        }
        const qint32 count = table.DayCount();
        const LoadReport again = dayFile.load();
        check(again.ok() && again.recovery == rollbackjournal::Outcome::NoJournal, "a finished save was taken for an unfinished one");
        check(dayFile.table().DayCount() == count && readFile(path) == after, "the saved file loads differently");
    }
    return 0;
}
