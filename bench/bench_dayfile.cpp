// The day file on disk: loading it whole, saving one day durably, and the developer tools' bulk file.
#include "benchsupport.h"
#include "bulkfile.h"
#include "dayfile.h"
#include "fileops.h"
#include "oledate.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

using namespace bench;

namespace {

// Counts the syncs (of files and of folders), the bytes written that a save asks of the disk and
// the bytes a load reads; everything goes on to the system.
class CountingOps : public FileOps
{
public:
    int syncs = 0;
    qint64 bytesWritten = 0;
    qint64 bytesRead = 0;
    ssize_t pread(int fd, void *buffer, size_t count, off_t offset) override
    {
        const ssize_t n = FileOps::pread(fd, buffer, count, offset);
        bytesRead += std::max<ssize_t>(n, 0);
        return n;
    }
    int fsync(int fd) override
    {
        ++syncs;
        return FileOps::fsync(fd);
    }
    int syncDirectory(const QString &directory) override
    {
        ++syncs;
        return FileOps::syncDirectory(directory);
    }
    ssize_t pwrite(int fd, const void *buffer, size_t count, off_t offset) override
    {
        const ssize_t n = FileOps::pwrite(fd, buffer, count, offset);
        bytesWritten += std::max<ssize_t>(n, 0);
        return n;
    }
};

bool syncFile(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// A copy that is already on the disk, so that a save's sync does not also flush the copying.
QString durableCopy(const QString &from, const QString &name)
{
    const QString to = dataDir() + QLatin1Char('/') + name;
    QFile::remove(to);
    if (!QFile::copy(from, to) || !QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner) || !syncFile(to))
        return QString();
    return to;
}

// --- Loading the day file ------------------------------------------------------------------------

// Start-up loads the file in a process that has touched little memory yet, so each load and each
// reference read runs in a fresh process: every page either of them fills is a new page.
void BM_LoadDayFile(benchmark::State &state)
{
    const QString path = dayFile(state.range(0));
    plainRead(path); // into the page cache
    std::vector<double> reads, rereads, loads;
    QString error;
    for (auto _ : state) {
        const auto read = runProbe({QStringLiteral("read"), path}, &error);
        const auto load = runProbe({QStringLiteral("load"), path}, &error);
        if (!read || !load || read->size() != 2 || load->size() != 2 || (*load)[1] != double(state.range(0))) {
            state.SkipWithError(error.isEmpty() ? "unexpected output from bench-probe" : qPrintable(error));
            return;
        }
        reads.push_back((*read)[0]);
        rereads.push_back((*read)[1]);
        loads.push_back((*load)[0]);
        state.SetIterationTime((*load)[0] / 1000);
    }
    const double read = median(reads);
    state.counters["plain_read_ms"] = read;
    // The same read into a buffer already faulted in: the copying alone, without the new pages.
    state.counters["reread_ms"] = median(rereads);
    reportAgainst(state, median(loads), 1.5 * read, "ms",
                  QStringLiteral("1.5 x one plain read of the file into a new buffer"));
}
BENCHMARK(BM_LoadDayFile)->Arg(32'767)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);
BENCHMARK(BM_LoadDayFile)->Arg(1'000'000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(7);

// --- Saving one day --------------------------------------------------------------------------------

// The last day of a full book (1,000,000 records, so no day can be added), loaded from a copy.
struct FullBook
{
    QString path = durableCopy(dayFile(1'000'000), QStringLiteral("save-things.dat"));
    CountingOps ops;
    DayFile file{ops, path};
    QDate lastDay;
    QString error;

    FullBook()
    {
        if (path.isEmpty())
            error = QStringLiteral("cannot copy the day file");
        else if (!file.load().ok())
            error = QStringLiteral("cannot load the day file");
        else
            lastDay = *oledate::toDate(file.table().thingDate(file.table().DayCount()));
    }
    ~FullBook()
    {
        file.close();
        QFile::remove(path);
        QFile::remove(path + QStringLiteral(".journal"));
    }
};

const DayThings Texts[2] = {
    {ThingInput{QStringLiteral("买菜"), true}, {QStringLiteral("开会 10:30"), false}, {QStringLiteral("给Tom打电话"), false},
     {}, {QStringLiteral("写周报"), true}},
    {ThingInput{QStringLiteral("买菜和水果"), false}, {QStringLiteral("开会"), true}, {}, {QStringLiteral("跑步"), true},
     {QStringLiteral("写周报"), false}},
};

// A changed day: its five slots are rewritten in place, each save alternating between two days'
// worth of things, against one fsync of a 1-byte write in the same folder.
void BM_SaveDay(benchmark::State &state)
{
    FullBook book;
    if (!book.error.isEmpty()) {
        state.SkipWithError(qPrintable(book.error));
        return;
    }
    const QString probePath = dataDir() + QStringLiteral("/save-probe");
    const int probe = ::open(QFile::encodeName(probePath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (probe < 0 || ::pwrite(probe, "x", 1, 0) != 1 || ::fsync(probe) != 0) {
        state.SkipWithError("cannot write the probe file");
        return;
    }

    std::vector<double> syncs, saves;
    int round = 0;
    const int syncsBefore = book.ops.syncs;
    for (auto _ : state) {
        auto start = Clock::now();
        if (::pwrite(probe, round % 2 ? "y" : "x", 1, 0) != 1 || ::fsync(probe) != 0) {
            state.SkipWithError("the probe write failed");
            break;
        }
        syncs.push_back(msSince(start));

        start = Clock::now();
        const SaveReport report = book.file.saveDay(book.lastDay, Texts[round % 2]);
        const double ms = msSince(start);
        if (!report.allOnDisk()) {
            state.SkipWithError(qPrintable(report.describe(book.path)));
            break;
        }
        saves.push_back(ms);
        state.SetIterationTime(ms / 1000);
        ++round;
    }
    ::close(probe);
    QFile::remove(probePath);
    if (round == 0)
        return;
    const double sync = median(syncs);
    state.counters["fsync_1byte_ms"] = sync;
    state.counters["syncs_per_save"] = double(book.ops.syncs - syncsBefore) / round;
    QString against = QStringLiteral("2.5 x fsync of a 1-byte write in the same directory");
    if (onTmpfs(book.path))
        against += QStringLiteral(" (tmpfs: not a disk!)");
    reportAgainst(state, median(saves), 2.5 * sync, "ms", against);
}
BENCHMARK(BM_SaveDay)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);

// A day saved again as it is, as the main window does when the user moves away from a day he did
// not change: counted through the file system seam, with 0 as the limit. Arg 0 reports the syncs
// per save, arg 1 the bytes written per save.
void BM_SaveUnchangedDay(benchmark::State &state)
{
    FullBook book;
    if (!book.error.isEmpty() || !book.file.saveDay(book.lastDay, Texts[0]).allOnDisk()) {
        state.SkipWithError(book.error.isEmpty() ? "the first save failed" : qPrintable(book.error));
        return;
    }
    book.ops.syncs = 0;
    book.ops.bytesWritten = 0;
    std::vector<double> saves;
    for (auto _ : state) {
        const auto start = Clock::now();
        const SaveReport report = book.file.saveDay(book.lastDay, Texts[0]);
        const double ms = msSince(start);
        if (!report.allOnDisk()) {
            state.SkipWithError(qPrintable(report.describe(book.path)));
            return;
        }
        saves.push_back(ms);
        state.SetIterationTime(ms / 1000);
    }
    const double rounds = double(saves.size());
    state.counters["save_ms"] = median(saves);
    if (state.range(0) == 0) {
        state.counters["bytes_per_save"] = double(book.ops.bytesWritten) / rounds;
        reportAgainst(state, book.ops.syncs / rounds, 0, "syncs", QStringLiteral("no sync for a day that did not change"));
    } else {
        state.counters["syncs_per_save"] = book.ops.syncs / rounds;
        reportAgainst(state, double(book.ops.bytesWritten) / rounds, 0, "bytes",
                      QStringLiteral("nothing written for a day that did not change"));
    }
}
BENCHMARK(BM_SaveUnchangedDay)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);

// --- Loading after a whole-file write ---------------------------------------------------------------

// A day file written back whole (a deleted file, a large import) leaves a journal as large as the
// file; the next save's journal is small, and the journal file shrinks with it. Prepared once: the
// 1,000,000-record file remade whole, then one day saved.
QString afterWholeFileWrite()
{
    static QString path;
    if (!path.isEmpty())
        return path;
    const QString copy = durableCopy(dayFile(1'000'000), QStringLiteral("remade-things.dat"));
    FileOps ops;
    DayFile file(ops, copy);
    if (copy.isEmpty() || !file.load().ok())
        return QString();
    QFile::remove(copy); // deleted behind the program's back: the next save writes everything back
    const SaveReport remade = file.flushPending();
    const QDate lastDay = *oledate::toDate(file.table().thingDate(file.table().DayCount()));
    if (!remade.remade || !remade.allOnDisk() || !file.saveDay(lastDay, Texts[0]).allOnDisk())
        return QString();
    path = copy;
    return path;
}

// Arg 0: the bytes the next load reads, against the file's size; arg 1: its time in a fresh
// process, against the load limit of BM_LoadDayFile.
void BM_LoadAfterWholeFileWrite(benchmark::State &state)
{
    const QString path = afterWholeFileWrite();
    if (path.isEmpty()) {
        state.SkipWithError("cannot prepare the day file");
        return;
    }
    const double size = double(QFileInfo(path).size());
    std::vector<double> figures, reads;
    QString error;
    for (auto _ : state) {
        if (state.range(0) == 0) {
            CountingOps counting;
            DayFile file(counting, path);
            if (!file.load().ok()) {
                state.SkipWithError("the load failed");
                return;
            }
            figures.push_back(double(counting.bytesRead));
            state.SetIterationTime(0.001);
            continue;
        }
        const auto read = runProbe({QStringLiteral("read"), path}, &error);
        const auto load = runProbe({QStringLiteral("load"), path}, &error);
        if (!read || !load || read->size() != 2 || load->size() != 2) {
            state.SkipWithError(error.isEmpty() ? "unexpected output from bench-probe" : qPrintable(error));
            return;
        }
        reads.push_back((*read)[0]);
        figures.push_back((*load)[0]);
        state.SetIterationTime((*load)[0] / 1000);
    }
    state.counters["journal_bytes"] = double(QFileInfo(path + QStringLiteral(".journal")).size());
    if (state.range(0) == 0)
        reportAgainst(state, median(figures), 1.05 * size, "bytes", QStringLiteral("1.05 x the day file"));
    else
        reportAgainst(state, median(figures), 1.5 * median(reads), "ms",
                      QStringLiteral("1.5 x one plain read of the file into a new buffer"));
}
BENCHMARK(BM_LoadAfterWholeFileWrite)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// --- The developer tools' bulk file ----------------------------------------------------------------

constexpr qint32 BulkRecords = BulkTable::BulkCapacity;

// What the bulk save puts in every entry.
void fillBulkTable(BulkTable &table)
{
    const double today = oledate::fromDate(QDate::currentDate());
    for (qint32 i = 1; i <= BulkRecords; ++i)
        table.set(i, DayRecord{0, 1, QByteArrayLiteral("test"), -1, today});
}

FileOps systemOps;

QString bulkPath()
{
    return dataDir() + QStringLiteral("/things10w.dat");
}

void BM_BulkSave(benchmark::State &state)
{
    BulkTable table;
    fillBulkTable(table);
    const QString path = bulkPath();
    const QString plainPath = dataDir() + QStringLiteral("/plain-20mb.dat");
    const size_t length = size_t(BulkRecords) * 200;
    std::unique_ptr<char[]> bytes(new char[length]);
    std::memset(bytes.get(), 'x', length);
    const int plain = ::open(QFile::encodeName(plainPath).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (plain < 0) {
        state.SkipWithError("cannot open the plain file");
        return;
    }
    std::vector<double> writes, saves;
    for (auto _ : state) {
        auto start = Clock::now();
        if (::pwrite(plain, bytes.get(), length, 0) != ssize_t(length)) {
            state.SkipWithError("the plain write failed");
            break;
        }
        writes.push_back(msSince(start));

        start = Clock::now();
        const auto result = bulkfile::save(systemOps, path, table);
        const double ms = msSince(start);
        if (!result.ok || result.records != BulkRecords) {
            state.SkipWithError(qPrintable(result.error));
            break;
        }
        saves.push_back(ms);
        state.SetIterationTime(ms / 1000);
    }
    ::close(plain);
    QFile::remove(plainPath);
    if (saves.empty())
        return;
    const double write = median(writes);
    state.counters["plain_write_ms"] = write;
    reportAgainst(state, median(saves), 2 * write, "ms", QStringLiteral("2 x one write of 20 MB"));
}
BENCHMARK(BM_BulkSave)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

void BM_BulkLoad(benchmark::State &state)
{
    const QString path = bulkPath();
    {
        BulkTable table;
        fillBulkTable(table);
        if (!bulkfile::save(systemOps, path, table).ok) {
            state.SkipWithError("cannot write the bulk file");
            return;
        }
    }
    plainRead(path);
    std::vector<double> reads, loads;
    for (auto _ : state) {
        auto start = Clock::now();
        if (plainRead(path) < 0) {
            state.SkipWithError("the plain read failed");
            return;
        }
        reads.push_back(msSince(start));

        BulkTable table;
        start = Clock::now();
        const auto result = bulkfile::load(systemOps, path, table);
        const double ms = msSince(start);
        if (!result.ok || result.records != BulkRecords) {
            state.SkipWithError("the bulk load failed");
            return;
        }
        loads.push_back(ms);
        state.SetIterationTime(ms / 1000);
    }
    const double read = median(reads);
    state.counters["plain_read_ms"] = read;
    reportAgainst(state, median(loads), 2 * read, "ms", QStringLiteral("2 x one read of 20 MB"));
}
BENCHMARK(BM_BulkLoad)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

} // namespace

int main(int argc, char *argv[])
{
    return bench::runBenchmarks(argc, argv);
}
