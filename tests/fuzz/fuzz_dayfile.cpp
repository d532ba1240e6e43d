// Feeds arbitrary day files, and arbitrary journals of unfinished saves, to the loader.
//
// Input: one flag byte, then (with a journal) a 2-byte length and that many bytes describing
// the journal, then the day file.
//   bit 0: a journal lies beside the day file
//   bit 1: the journal bytes are taken as they are (else they describe one with a valid
//          checksum: 2 bytes old length, then ranges of 2 bytes offset, 1 byte length, bytes)
//   bit 2: after loading, save a day and load again
#include "dayfile.h"
#include "fileops.h"
#include "oledate.h"
#include "rollbackjournal.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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
    QFile::remove(journalPath);

    QByteArray journalBytes;
    std::optional<rollbackjournal::Journal> journal;
    if (flags & 1) {
        QByteArrayView recipe = in.first(std::min<qsizetype>(take(in, 2), in.size()));
        in = in.sliced(recipe.size());
        if (flags & 2) {
            journalBytes = recipe.toByteArray();
        } else {
            rollbackjournal::Journal j;
            j.oldLength = take(recipe, 2);
            while (!recipe.isEmpty()) {
                const qint64 offset = take(recipe, 2);
                const qsizetype length = std::min<qsizetype>(take(recipe, 1), recipe.size());
                j.ranges.push_back({offset, recipe.first(length).toByteArray()});
                recipe = recipe.sliced(length);
            }
            journalBytes = rollbackjournal::encode(j);
        }
        journal = rollbackjournal::decode(journalBytes);
        writeFile(journalPath, journalBytes);
    }
    const QByteArray before = in.toByteArray();
    writeFile(path, before);

    // What the file must be after start-up: the journal applied, or left alone.
    QByteArray expected = before;
    if (journal) {
        for (const auto &range : journal->ranges) {
            if (range.bytes.isEmpty())
                continue;
            if (expected.size() < range.offset + range.bytes.size())
                expected.resize(range.offset + range.bytes.size(), '\0');
            expected.replace(range.offset, range.bytes.size(), range.bytes);
        }
        if (expected.size() > journal->oldLength)
            expected.truncate(journal->oldLength);
    }

    DayTable table;
    DayFile file(FileOps::system());
    const LoadReport load = file.load(path, table);
    check(load.ok(), "a load failed");
    check(load.recovery == (!(flags & 1)  ? rollbackjournal::Outcome::NoJournal
                            : journal     ? rollbackjournal::Outcome::RolledBack
                                          : rollbackjournal::Outcome::Discarded),
          "unexpected recovery");
    check(!QFile::exists(journalPath), "the journal outlived start-up");
    check(readFile(path) == expected, "the file is not what start-up should leave");
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
        check(file.saveDay(path, table, day, things).allOnDisk(), "a save failed");
        const QByteArray after = readFile(path);
        check(after.size() >= expected.size() - (expected.size() % 200 < recordimage::ImageLength ? expected.size() % 200 : 0),
              "a save shortened the file");
        DayTable reloaded;
        check(file.load(path, reloaded).ok() && reloaded.DayCount() == table.DayCount(), "the saved file loads differently");
    }
    return 0;
}
