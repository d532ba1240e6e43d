#include "dayfile.h"
#include "daybuilders.h"
#include "dayfolder.h"
#include "faultyops.h"
#include "filebytes.h"
#include "fileops.h"
#include "rollbackjournal.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTest>
#include <QtEndian>
#include <fcntl.h>
#include <map>

namespace {

// Counts the bytes read from each file, to hold readers to what they need.
class CountingOps : public FileOps
{
public:
    std::map<QString, qint64> bytesRead;

    int open(const QString &path, int flags, int mode) override
    {
        const int fd = FileOps::open(path, flags, mode);
        if (fd >= 0)
            m_paths[fd] = path;
        return fd;
    }
    ssize_t pread(int fd, void *buffer, size_t count, off_t offset) override
    {
        const ssize_t n = FileOps::pread(fd, buffer, count, offset);
        if (n > 0)
            bytesRead[m_paths[fd]] += n;
        return n;
    }

private:
    std::map<int, QString> m_paths;
};

} // namespace

Q_DECLARE_METATYPE(FaultyOps::Fault)
Q_DECLARE_METATYPE(rollbackjournal::Outcome)

class tst_AtomicSave : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_folder.clear()); }

    void aFailedSaveIsUndoneAsAWhole_data();
    void aFailedSaveIsUndoneAsAWhole();
    void aJournalIsAppliedOnlyToItsOwnFile_data();
    void aJournalIsAppliedOnlyToItsOwnFile();
    void aFinishedSaveStaysFinished_data();
    void aFinishedSaveStaysFinished();
    void journalThatCannotBeAppliedStillShowsTheOldDay();
    void theJournalIsReadAndKeptOnlyAsLongAsItsHeaderSays();
    void journalFormatIsStable();

private:
    DayFolder m_folder;
    const QString &m_path = m_folder.path;
    const QString &m_journal = m_folder.journal;
    FileOps m_ops;
};

void tst_AtomicSave::aFailedSaveIsUndoneAsAWhole_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<double>("earlierDay");
    QTest::addColumn<double>("day");
    QTest::addColumn<double>("alsoDay");
    QTest::addColumn<bool>("persistent");
    QTest::addColumn<FaultyOps::Fault>("fault");

    const QByteArray fourDays = days(4, 40000, 7);
    const QByteArray twentyDays = days(20, 40000, 7);
    const struct
    {
        const char *name;
        QByteArray before;
        double earlier;
        double day;
        double also = 0; // a second day saved together with day
    } scenarios[] = {
        {"rewrite in place", fourDays, 0, 40001},
        {"append", fourDays, 0, 41000},
        {"append over a trailing fragment", fourDays + QByteArray(150, 'f'), 0, 41000},
        {"rewrite across 4 KiB", twentyDays, 0, 40004},
        {"rewrite a day whose last slot is cut short", fourDays.left(3990), 0, 40003},
        {"append with an earlier day still owed", fourDays, 41001, 41000},
        {"two days in one save, one rewritten, one appended", twentyDays, 0, 40002, 41000},
    };
    const struct
    {
        const char *name;
        bool persistent;
        FaultyOps::Fault fault;
    } modes[] = {
        {"fails once", false, FaultyOps::Fault::Error},
        {"fails from then on", true, FaultyOps::Fault::Error},
        {"short write once", false, FaultyOps::Fault::ShortWrite},
        {"short write, then failures", true, FaultyOps::Fault::ShortWrite},
    };
    for (const auto &s : scenarios) {
        for (const auto &m : modes)
            QTest::addRow("%s, %s", s.name, m.name) << s.before << s.earlier << s.day << s.also << m.persistent << m.fault;
    }
}

// Whatever call fails, the file after recovery is the file before the save or the file after
// it, never a mixture; a save reported as done is never undone; and a save that failed once is
// completed by the next one.
void tst_AtomicSave::aFailedSaveIsUndoneAsAWhole()
{
    QFETCH(QByteArray, before);
    QFETCH(double, earlierDay);
    QFETCH(double, day);
    QFETCH(double, alsoDay);
    QFETCH(bool, persistent);
    QFETCH(FaultyOps::Fault, fault);
    const auto save = [&](DayFile &file) {
        if (alsoDay == 0)
            return file.saveDay(dayOf(day), thingsOf(QStringLiteral("new ")));
        return file.saveDays({{dayOf(day), thingsOf(QStringLiteral("new "))},
                              {dayOf(alsoDay), thingsOf(QStringLiteral("also "))}});
    };

    // The file as it must be after a save without faults.
    QByteArray after;
    {
        QVERIFY(writeFile(m_path, before));
        DayFile file(m_ops, m_path);
        QVERIFY(file.load().ok());
        if (earlierDay != 0)
            QVERIFY(file.saveDay(dayOf(earlierDay), thingsOf(QStringLiteral("earlier "))).allOnDisk());
        QVERIFY(save(file).allOnDisk());
        after = readFile(m_path);
        QVERIFY(after != before);
    }
    bool completed = false;
    for (int n = 1; n < 200 && !completed; ++n) {
        FaultyOps ops;
        ops.persistent = persistent;
        ops.fault = fault;
        QVERIFY(writeFile(m_path, before));
        QFile::remove(m_journal);
        DayFile file(ops, m_path);
        QVERIFY(file.load().ok());
        if (earlierDay != 0) {
            ops.failAt = 1;
            ops.persistent = true;
            QCOMPARE(file.saveDay(dayOf(earlierDay), thingsOf(QStringLiteral("earlier "))).status,
                     SaveReport::Status::NotOnDisk);
            ops.persistent = persistent;
        }
        ops.reset(n);
        const SaveReport report = save(file);
        completed = !ops.triggered();
        ops.reset(0);

        if (report.allOnDisk()) {
            QVERIFY2(report.unwritten.isEmpty(), qPrintable(QString::number(n)));
        } else {
            QVERIFY2(!completed, "a save that met no fault must succeed");
            QVERIFY(!report.unwritten.isEmpty());
            QCOMPARE(report.why, SaveReport::Why::Disk);
            QVERIFY(!report.problem.ok());
        }

        // Start-up recovery, as a fresh program would do it.
        DayFile fresh(m_ops, m_path);
        const LoadReport load = fresh.load();
        QVERIFY(load.ok());
        const QByteArray onDisk = readFile(m_path);
        if (report.allOnDisk()) {
            QVERIFY2(onDisk == after, qPrintable(QStringLiteral("call %1: a save reported done was lost").arg(n)));
            QCOMPARE(load.recovery, rollbackjournal::Outcome::NoJournal); // the journal of a finished save
        } else {
            QVERIFY2(onDisk == before || onDisk == after,
                     qPrintable(QStringLiteral("call %1: the file mixes old and new slots").arg(n)));
        }

        // The program that saw the failure still owes the day, and its next save delivers it.
        QCOMPARE(file.flushPending().status, SaveReport::Status::OnDisk);
        QVERIFY2(readFile(m_path) == after, qPrintable(QStringLiteral("call %1: the retry is incomplete").arg(n)));
    }
    QVERIFY(completed);
}

void tst_AtomicSave::aJournalIsAppliedOnlyToItsOwnFile_data()
{
    QTest::addColumn<int>("cut");     // bytes cut from the journal's end; -1: a bit flipped
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<rollbackjournal::Outcome>("outcome");

    // Before the save: three days and a tail; the save rewrote day 1 and appended a day over the tail.
    const QByteArray before = days(3, 40000) + "tail";
    const QByteArray finished = before.left(1000) + days(1, 50000) + before.mid(2000, 1000) + days(1, 50001);
    const QByteArray halfDone = before.left(1000) + days(1, 50000) + before.mid(2000);
    const QByteArray appendCut = before.left(3000) + days(1, 50001).left(700);
    using O = rollbackjournal::Outcome;
    QTest::newRow("save cut short") << 0 << halfDone << O::RolledBack;
    QTest::newRow("append cut short") << 0 << appendCut << O::RolledBack;
    QTest::newRow("save finished") << 0 << finished << O::NoJournal;
    QTest::newRow("save never began") << 0 << before << O::NoJournal;
    QTest::newRow("torn: last byte missing") << 1 << halfDone << O::Discarded;
    QTest::newRow("torn: checksum missing") << 32 << halfDone << O::Discarded;
    QTest::newRow("torn: only the magic") << -2 << halfDone << O::Discarded;
    QTest::newRow("torn: one bit flipped") << -1 << halfDone << O::Discarded;
    // R3: a finished save is known by its content, whatever length another writer left.
    QTest::newRow("save finished, then days appended") << 0 << finished + days(300, 60000) << O::NoJournal;
    QTest::newRow("save finished, then the last slot's padding dropped") << 0 << finished.chopped(22) << O::NoJournal;
    QTest::newRow("another file: longer") << 0 << halfDone + days(300, 60000) << O::SetAside;
    QTest::newRow("another file: shorter") << 0 << before.left(1000) << O::SetAside;
    QTest::newRow("another file: same length") << 0 << days(3, 70000) + "tail" << O::SetAside;
    QTest::newRow("another file: longer than the old, shorter than the new")
        << 0 << before.left(3000) + days(1, 60000).left(500) << O::SetAside;
    QTest::newRow("another file: one byte differs") << 0 << QByteArray(halfDone).replace(1010, 1, "#") << O::SetAside;
    QTest::newRow("no day file: deleted or moved away") << 0 << QByteArray() << O::SetAside;
}

// A whole journal undoes a save cut short, and only where the file holds that save's old or new
// bytes at a length between the two; a torn one is ignored. Neither touches any other file:
// a foreign file's journal is renamed aside instead.
void tst_AtomicSave::aJournalIsAppliedOnlyToItsOwnFile()
{
    QFETCH(int, cut);
    QFETCH(QByteArray, file);
    QFETCH(rollbackjournal::Outcome, outcome);
    const QByteArray before = days(3, 40000) + "tail";
    QFile::remove(m_path);
    QVERIFY(file.isNull() || writeFile(m_path, file));
    QFile::remove(m_journal + QStringLiteral(".kept"));

    rollbackjournal::Journal j;
    j.oldLength = before.size();
    j.newLength = 4000;
    j.ranges.push_back({1000, before.mid(1000, 1000), days(1, 50000)});
    j.ranges.push_back({3000, before.mid(3000), days(1, 50001)});
    QByteArray bytes = rollbackjournal::encode(j);
    if (cut > 0)
        bytes.chop(cut);
    else if (cut == -1)
        bytes[60] = char(bytes[60] ^ 0x10);
    else if (cut == -2)
        bytes = bytes.left(8);
    QVERIFY(writeFile(m_journal, bytes));

    rollbackjournal::Recovery predicted;
    const auto computed = rollbackjournal::preview(m_ops, m_path, &predicted);
    QVERIFY(computed);
    QCOMPARE(predicted.outcome, outcome);
    QCOMPARE(readFile(m_journal), bytes); // nothing was written

    DayFile dayFile(m_ops, m_path);
    const LoadReport load = dayFile.load();
    QVERIFY(load.ok());
    QCOMPARE(load.recovery, outcome);
    const QByteArray expected = outcome == rollbackjournal::Outcome::RolledBack ? before : file;
    QCOMPARE(readFile(m_path), expected);
    QCOMPARE(*computed, expected);
    QCOMPARE(load.keptAsideWithoutDayFile, file.isNull());
    if (outcome == rollbackjournal::Outcome::SetAside) {
        QCOMPARE(load.keptAsideJournal, m_journal + QStringLiteral(".kept"));
        QCOMPARE(readFile(load.keptAsideJournal), bytes);
        // The next save makes a journal of its own and leaves the one kept aside alone.
        QVERIFY(dayFile.saveDay(dayOf(40000), thingsOf(QStringLiteral("x"))).allOnDisk());
        QCOMPARE(readFile(load.keptAsideJournal), bytes);
        // R4: another foreign journal takes the next free name; the one kept earlier stays.
        QFile::remove(m_path);
        QVERIFY(file.isNull() || writeFile(m_path, file));
        QVERIFY(writeFile(m_journal, bytes));
        DayFile again(m_ops, m_path);
        const LoadReport second = again.load();
        QCOMPARE(second.recovery, outcome);
        QCOMPARE(second.keptAsideJournal, m_journal + QStringLiteral(".kept-2"));
        QCOMPARE(readFile(load.keptAsideJournal), bytes);
    } else if (outcome != rollbackjournal::Outcome::Discarded) {
        // R3: a journal that was held against its file is marked done (F2).
        QCOMPARE(readFile(m_journal).left(rollbackjournal::HeaderLength), QByteArray(rollbackjournal::HeaderLength, 0));
    }
    if (outcome != rollbackjournal::Outcome::SetAside)
        QVERIFY(load.keptAsideJournal.isEmpty());
}

void tst_AtomicSave::aFinishedSaveStaysFinished_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<double>("day");
    QTest::addColumn<int>("cut");       // bytes cut from the file's end after the save
    QTest::addColumn<bool>("restored"); // the file before the save put back instead
    QTest::addColumn<bool>("markLost"); // a power cut took the done mark back (P5, R3)

    const QByteArray threeDays = days(3, 40000);
    for (const bool lost : {false, true}) {
        const char *mark = lost ? "mark lost" : "mark kept";
        QTest::addRow("%s: first save of a new day book, 22 bytes cut", mark) << QByteArray() << 40010.0 << 22 << false << lost;
        QTest::addRow("%s: an append, 22 bytes cut", mark) << threeDays << 40010.0 << 22 << false << lost;
        QTest::addRow("%s: a rewrite, 22 bytes cut", mark) << threeDays << 40001.0 << 22 << false << lost;
        QTest::addRow("%s: a rewrite of a last slot left short, cut again", mark)
            << threeDays.chopped(22) << 40002.0 << 22 << false << lost;
        QTest::addRow("%s: an append, a whole day cut", mark) << threeDays << 40010.0 << 1000 << false << lost;
        QTest::addRow("%s: restored from the copy before the save", mark) << threeDays << 40001.0 << 0 << true << lost;
    }
}

// Once a save is done, nothing later undoes it: a file shortened or restored afterwards (the
// shape older writers leave, a backup put back) is read exactly as it is, even where a power cut
// took the journal's done mark back.
void tst_AtomicSave::aFinishedSaveStaysFinished()
{
    QFETCH(QByteArray, before);
    QFETCH(double, day);
    QFETCH(int, cut);
    QFETCH(bool, restored);
    QFETCH(bool, markLost);
    QVERIFY(writeFile(m_path, before));
    {
        DayFile file(m_ops, m_path);
        QVERIFY(file.load().ok());
        QVERIFY(file.saveDay(dayOf(day), thingsOf(QStringLiteral("saved "))).allOnDisk());
    }
    if (markLost) { // the header as the save wrote it, before the mark zeroed it (F1)
        QByteArray journal = readFile(m_journal);
        QVERIFY(journal.startsWith(QByteArray(rollbackjournal::HeaderLength, 0)));
        journal.replace(0, 8, "TLJRNL02");
        qToLittleEndian<qint64>(journal.size(), journal.data() + 8);
        QVERIFY(rollbackjournal::decode(journal));
        QVERIFY(writeFile(m_journal, journal));
    }
    const QByteArray changed = restored ? before : readFile(m_path).chopped(cut);
    QVERIFY(writeFile(m_path, changed));

    DayFile later(m_ops, m_path);
    const LoadReport load = later.load();
    QVERIFY(load.ok());
    QCOMPARE(load.recovery, rollbackjournal::Outcome::NoJournal);
    QCOMPARE(readFile(m_path), changed);
    QCOMPARE(later.table().DayCount(), qint32((changed.size() + 22) / 200));
}

void tst_AtomicSave::journalThatCannotBeAppliedStillShowsTheOldDay()
{
    // A save cut short half way through its day: the journal stays, the file is torn. (Built by
    // hand: a failing write that stores some bytes may well store every byte that differs.)
    const QByteArray before = days(2, 40000, 7);
    const QByteArray newDay = slotimage::daySlots(40000, "new", 7);
    rollbackjournal::Journal j;
    j.oldLength = j.newLength = before.size();
    j.ranges.push_back({0, before.left(1000), newDay});
    const QByteArray torn = newDay.left(500) + before.mid(500);
    QVERIFY(writeFile(m_path, torn));
    QVERIFY(writeFile(m_journal, rollbackjournal::encode(j)));

    // Now the file cannot be written: the journal cannot be applied, but the table shows the
    // day as it was, and saves refuse to write over the unfinished one.
    FaultyOps readOnly;
    readOnly.readOnly = true;
    readOnly.readOnlySuffix = QStringLiteral("things.dat"); // the journal beside it can still be written
    DayFile later(readOnly, m_path);
    const DayTable &shown = later.table();
    const LoadReport load = later.load();
    QVERIFY(load.ok());
    QCOMPARE(load.recovery, rollbackjournal::Outcome::RollbackPending);
    QCOMPARE(shown.DayCount(), 10);
    QCOMPARE(shown.text(1), QByteArrayView("day 0-1"));
    QCOMPARE(later.saveDay(dayOf(40001), thingsOf(QStringLiteral("x"))).status,
             SaveReport::Status::NotOnDisk);
    QCOMPARE(readFile(m_path), torn);

    readOnly.readOnly = false; // the file is writable again: the next load repairs, then saves write
    const LoadReport reload = later.load();
    QCOMPARE(reload.recovery, rollbackjournal::Outcome::RolledBack);
    QVERIFY(later.saveDay(dayOf(40001), thingsOf(QStringLiteral("x"))).allOnDisk());
    const QByteArray bytes = readFile(m_path);
    QCOMPARE(bytes.left(1000), before.left(1000));
    QCOMPARE(bytes.mid(1000, 200), recordimage::encode({7, 1, "x1", 0, 40001}));
}

void tst_AtomicSave::theJournalIsReadAndKeptOnlyAsLongAsItsHeaderSays()
{
    // R5: a journal followed by what a longer one left behind is read to its own length.
    const QByteArray before = days(3, 40000);
    rollbackjournal::Journal j;
    j.oldLength = j.newLength = before.size();
    j.ranges.push_back({1000, before.mid(1000, 1000), days(1, 50000)});
    const QByteArray journal = rollbackjournal::encode(j);
    QVERIFY(writeFile(m_path, before.left(1000) + days(1, 50000) + before.mid(2000)));
    QVERIFY(writeFile(m_journal, journal + QByteArray(200'000, 'x')));
    {
        CountingOps counting;
        DayFile file(counting, m_path);
        QVERIFY(file.load().ok());
        QCOMPARE(counting.bytesRead[m_journal], qint64(journal.size()));
    }

    // P6: a journal grown by a large save shrinks with the next small one; P5: a finished save
    // leaves a journal marked done, of which a load reads only the header.
    QVERIFY(writeFile(m_path, days(400, 40000)));
    QFile::remove(m_journal);
    DayFile file(m_ops, m_path);
    QVERIFY(file.load().ok());
    std::vector<std::pair<QDate, DayThings>> all;
    for (int d = 0; d < 400; ++d)
        all.emplace_back(dayOf(40000 + d), thingsOf(QStringLiteral("rewritten ")));
    QVERIFY(file.saveDays(all).allOnDisk());
    QVERIFY(QFileInfo(m_journal).size() > 2 * 400 * 1000);
    QVERIFY(file.saveDay(dayOf(40000), thingsOf(QStringLiteral("small "))).allOnDisk());
    QVERIFY(QFileInfo(m_journal).size() <= 64 * 1024);
    QCOMPARE(readFile(m_journal).left(rollbackjournal::HeaderLength), QByteArray(rollbackjournal::HeaderLength, 0));
    CountingOps counting;
    DayFile later(counting, m_path);
    QVERIFY(later.load().ok());
    QCOMPARE(counting.bytesRead[m_journal], qint64(rollbackjournal::HeaderLength));
}

// Journals written by one version must be read by the next: the layout built by hand.
void tst_AtomicSave::journalFormatIsStable()
{
    rollbackjournal::Journal j;
    j.oldLength = 0x0302;
    j.newLength = 0x0400;
    j.ranges.push_back({200, "ab", "AB"});
    j.ranges.push_back({0x0301, "z", "XYZ"});
    QByteArray expected = "TLJRNL02";
    expected += QByteArray::fromHex("6c00000000000000" "0203000000000000" "0004000000000000" "02000000");
    expected += QByteArray::fromHex("c800000000000000" "02000000" "02000000") + "abAB";
    expected += QByteArray::fromHex("0103000000000000" "03000000" "01000000") + "zXYZ";
    expected += QCryptographicHash::hash(expected, QCryptographicHash::Sha256);
    QCOMPARE(rollbackjournal::encode(j).toHex(), expected.toHex());
    const auto decoded = rollbackjournal::decode(expected + "left over from a longer journal");
    QVERIFY(decoded);
    QCOMPARE(decoded->newLength, 0x0400);
    QCOMPARE(decoded->ranges.at(1).oldBytes, QByteArray("z"));
    QCOMPARE(decoded->ranges.at(1).newBytes, QByteArray("XYZ"));
}

QTEST_GUILESS_MAIN(tst_AtomicSave)
#include "tst_atomicsave.moc"
