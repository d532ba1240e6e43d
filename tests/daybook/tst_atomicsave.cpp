#include "filebytes.h"
#include "dayfile.h"
#include "fileops.h"
#include "faultyops.h"
#include "slotimage.h"
#include "oledate.h"
#include "rollbackjournal.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <fcntl.h>

using slotimage::days;

namespace {

DayThings thingsOf(const QString &tag)
{
    DayThings t;
    for (int i = 0; i < 5; ++i) {
        t[size_t(i)].text = tag + QString::number(i + 1);
        t[size_t(i)].done = i % 2;
    }
    return t;
}

QDate dayOf(double n) { return *oledate::toDate(n); }

} // namespace

Q_DECLARE_METATYPE(FaultyOps::Fault)

class tst_AtomicSave : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("things.dat"));
        m_journal = rollbackjournal::pathFor(m_path);
        QFile::remove(m_path);
        QFile::remove(m_journal);
    }

    void aFailedSaveIsUndoneAsAWhole_data();
    void aFailedSaveIsUndoneAsAWhole();
    void journalsThatWereNeverCompleteAreDropped_data();
    void journalsThatWereNeverCompleteAreDropped();
    void journalThatCannotBeAppliedStillShowsTheOldDay();
    void journalFormatIsStable();

private:
    QTemporaryDir m_dir;
    QString m_path;
    QString m_journal;
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
    const auto save = [&](DayFile &file, DayTable &table) {
        if (alsoDay == 0)
            return file.saveDay(m_path, table, dayOf(day), thingsOf(QStringLiteral("new ")));
        return file.saveDays(m_path, table, {{dayOf(day), thingsOf(QStringLiteral("new "))},
                                             {dayOf(alsoDay), thingsOf(QStringLiteral("also "))}});
    };

    // The file as it must be after a save without faults.
    QByteArray after;
    {
        QVERIFY(writeFile(m_path, before));
        DayTable table;
        DayFile file(FileOps::system());
        QVERIFY(file.load(m_path, table).ok());
        if (earlierDay != 0)
            QVERIFY(file.saveDay(m_path, table, dayOf(earlierDay), thingsOf(QStringLiteral("earlier "))).allOnDisk());
        QVERIFY(save(file, table).allOnDisk());
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
        DayTable table;
        DayFile file(ops);
        QVERIFY(file.load(m_path, table).ok());
        if (earlierDay != 0) {
            ops.failAt = 1;
            ops.persistent = true;
            QCOMPARE(file.saveDay(m_path, table, dayOf(earlierDay), thingsOf(QStringLiteral("earlier "))).status,
                     SaveReport::Status::NotOnDisk);
            ops.persistent = persistent;
        }
        ops.reset(n);
        const SaveReport report = save(file, table);
        completed = !ops.triggered();
        ops.reset(0);

        if (report.allOnDisk()) {
            QVERIFY2(report.unwritten.isEmpty(), qPrintable(QString::number(n)));
            QVERIFY2(!QFile::exists(m_journal), "a finished save leaves no journal behind");
        } else {
            QVERIFY2(!completed, "a save that met no fault must succeed");
            QVERIFY(!report.unwritten.isEmpty());
            QVERIFY(!report.detail.isEmpty());
        }

        // Start-up recovery, as a fresh program would do it.
        DayTable recovered;
        DayFile fresh(FileOps::system());
        const LoadReport load = fresh.load(m_path, recovered);
        QVERIFY(load.ok());
        const QByteArray onDisk = readFile(m_path);
        if (report.allOnDisk())
            QVERIFY2(onDisk == after, qPrintable(QStringLiteral("call %1: a save reported done was lost").arg(n)));
        else
            QVERIFY2(onDisk == before || onDisk == after,
                     qPrintable(QStringLiteral("call %1: the file mixes old and new slots").arg(n)));
        QVERIFY(!QFile::exists(m_journal));

        // The program that saw the failure still owes the day, and its next save delivers it.
        QCOMPARE(file.flushPending(m_path, table).status, SaveReport::Status::OnDisk);
        QVERIFY2(readFile(m_path) == after, qPrintable(QStringLiteral("call %1: the retry is incomplete").arg(n)));
    }
    QVERIFY(completed);
}

void tst_AtomicSave::journalsThatWereNeverCompleteAreDropped_data()
{
    QTest::addColumn<int>("cut");    // bytes cut from the end; -1: a bit flipped instead
    QTest::addColumn<bool>("valid"); // rolled back rather than dropped
    QTest::newRow("whole") << 0 << true;
    QTest::newRow("last byte missing") << 1 << false;
    QTest::newRow("checksum missing") << 32 << false;
    QTest::newRow("only the magic") << -2 << false;
    QTest::newRow("empty") << -3 << false;
    QTest::newRow("one bit flipped") << -1 << false;
}

// The save that wrote a torn journal never touched the day file, so dropping it is right;
// a whole journal is applied even though it looks just as old.
void tst_AtomicSave::journalsThatWereNeverCompleteAreDropped()
{
    QFETCH(int, cut);
    QFETCH(bool, valid);
    const QByteArray before = days(3, 40000, 7) + "tail";
    const QByteArray torn = before.left(1000) + days(1, 50000, 7) + before.mid(2000) + days(1, 50001, 7);
    QVERIFY(writeFile(m_path, torn));

    rollbackjournal::Journal j;
    j.oldLength = before.size();
    j.ranges.push_back({1000, before.mid(1000, 1000)});
    j.ranges.push_back({3000, before.mid(3000)});
    QByteArray bytes = rollbackjournal::encode(j);
    if (cut > 0)
        bytes.chop(cut);
    else if (cut == -1)
        bytes[40] = char(bytes[40] ^ 0x10);
    else if (cut == -2)
        bytes = bytes.left(8);
    else if (cut == -3)
        bytes.clear();
    QVERIFY(writeFile(m_journal, bytes));

    DayTable table;
    DayFile file(FileOps::system());
    const LoadReport load = file.load(m_path, table);
    QVERIFY(load.ok());
    QCOMPARE(load.recovery, valid ? rollbackjournal::Outcome::RolledBack : rollbackjournal::Outcome::Discarded);
    QVERIFY(!QFile::exists(m_journal));
    QCOMPARE(readFile(m_path), valid ? before : torn);
}

void tst_AtomicSave::journalThatCannotBeAppliedStillShowsTheOldDay()
{
    // A save cut short after its slots were written: the journal stays, the file is torn.
    const QByteArray before = days(2, 40000, 7);
    QVERIFY(writeFile(m_path, before));
    QByteArray torn;
    for (int n = 1; n < 20 && torn.isEmpty(); ++n) {
        QVERIFY(writeFile(m_path, before));
        FaultyOps ops;
        ops.fault = FaultyOps::Fault::ShortWrite;
        ops.persistent = true;
        DayTable table;
        DayFile file(ops);
        QVERIFY(file.load(m_path, table).ok());
        ops.reset(n);
        QVERIFY(!file.saveDay(m_path, table, dayOf(40000), thingsOf(QStringLiteral("new "))).allOnDisk());
        if (QFile::exists(m_journal) && readFile(m_path) != before)
            torn = readFile(m_path);
    }
    QVERIFY(!torn.isEmpty());

    // Now the file cannot be written: the journal cannot be applied, but the table shows the
    // day as it was, and saves refuse to write over the unfinished one.
    FaultyOps readOnly;
    readOnly.readOnly = true;
    readOnly.readOnlySuffix = QStringLiteral("things.dat"); // the journal beside it can still be written
    DayTable shown;
    DayFile later(readOnly);
    const LoadReport load = later.load(m_path, shown);
    QVERIFY(load.ok());
    QCOMPARE(load.recovery, rollbackjournal::Outcome::RollbackPending);
    QCOMPARE(shown.DayCount(), 10);
    QCOMPARE(shown.text(1), QByteArrayView("day 0-1"));
    QCOMPARE(later.saveDay(m_path, shown, dayOf(40001), thingsOf(QStringLiteral("x"))).status,
             SaveReport::Status::NotOnDisk);
    QCOMPARE(readFile(m_path), torn);

    readOnly.readOnly = false; // the file is writable again: the next save repairs, then writes
    QVERIFY(later.flushPending(m_path, shown).allOnDisk());
    const QByteArray bytes = readFile(m_path);
    QCOMPARE(bytes.left(1000), before.left(1000));
    QCOMPARE(bytes.mid(1000, 200), recordimage::encode({7, 1, "x1", 0, 40001}));
    QVERIFY(!QFile::exists(m_journal));
}

// Journals written by one version must be read by the next: the layout built by hand.
void tst_AtomicSave::journalFormatIsStable()
{
    rollbackjournal::Journal j;
    j.oldLength = 0x0302;
    j.ranges.push_back({200, "ab"});
    j.ranges.push_back({400, {}});
    QByteArray expected = "TLJRNL01";
    expected += QByteArray::fromHex("0203000000000000" "02000000");
    expected += QByteArray::fromHex("c800000000000000" "02000000") + "ab";
    expected += QByteArray::fromHex("9001000000000000" "00000000");
    expected += QCryptographicHash::hash(expected, QCryptographicHash::Sha256);
    QCOMPARE(rollbackjournal::encode(j).toHex(), expected.toHex());
    const auto decoded = rollbackjournal::decode(expected);
    QVERIFY(decoded);
    QCOMPARE(decoded->ranges.at(0).bytes, QByteArray("ab"));
    QCOMPARE(decoded->ranges.at(1).offset, 400);
}

QTEST_GUILESS_MAIN(tst_AtomicSave)
#include "tst_atomicsave.moc"
