// The day file among odd neighbours: FIFOs, links and folders at its names, the modes of the
// files it makes, and a day file changed by another program between two saves.
#include "dayfile.h"
#include "daybuilders.h"
#include "dayfolder.h"
#include "filebytes.h"
#include "fileops.h"
#include "oledate.h"
#include "rollbackjournal.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray daysImage(double firstDay, int count, const QByteArray &tag = "old")
{
    return slotimage::taggedDays(count, firstDay, tag);
}

DayThings things(const QString &tag) { return thingsOf(tag, false); }

mode_t modeOf(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
}

} // namespace

class tst_DayFileNeighbours : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_folder.clear()); }

    void oddThingsAtItsNames_data();
    void oddThingsAtItsNames();
    void newFilesArePrivate();
    void changedBetweenTwoSaves_data();
    void changedBetweenTwoSaves();

private:
    DayFolder m_folder;
    const QString &m_path = m_folder.path;
    const QString &m_journal = m_folder.journal;
    const QString m_elsewhere = m_folder.file(QStringLiteral("elsewhere"));
    FileOps m_ops;
};

void tst_DayFileNeighbours::oddThingsAtItsNames_data()
{
    QTest::addColumn<bool>("atJournal");
    QTest::addColumn<QByteArray>("kind");
    QTest::addColumn<LoadReport::Status>("status");
    using S = LoadReport::Status;
    QTest::newRow("day file: FIFO") << false << QByteArray("fifo") << S::CannotOpen;
    QTest::newRow("day file: dangling link") << false << QByteArray("dangling link") << S::CannotOpen;
    QTest::newRow("day file: folder") << false << QByteArray("folder") << S::CannotOpen;
    QTest::newRow("day file: the user's link is followed") << false << QByteArray("live link") << S::Loaded;
    QTest::newRow("journal: FIFO") << true << QByteArray("fifo") << S::JournalUnreadable;
    QTest::newRow("journal: dangling link") << true << QByteArray("dangling link") << S::JournalUnreadable;
    QTest::newRow("journal: live link") << true << QByteArray("live link") << S::JournalUnreadable;
}

// Nothing hangs, nothing is created or written through a link, and the load says which file.
void tst_DayFileNeighbours::oddThingsAtItsNames()
{
    QFETCH(bool, atJournal);
    QFETCH(QByteArray, kind);
    QFETCH(LoadReport::Status, status);
    const QByteArray days = daysImage(40000, 2);
    const QString odd = atJournal ? m_journal : m_path;
    if (atJournal)
        QVERIFY(writeFile(m_path, days));
    if (kind == "fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(odd).constData(), 0600), 0);
    else if (kind == "folder")
        QVERIFY(QDir().mkdir(odd));
    else {
        if (kind == "live link")
            QVERIFY(writeFile(m_elsewhere, days));
        QVERIFY(QFile::link(m_elsewhere, odd));
    }

    DayFile file(m_ops, m_path);
    ::alarm(10); // a FIFO that blocks an open ends the test instead of hanging it
    QCOMPARE(file.lock(), DayFileLock::Status::Locked);
    const LoadReport load = file.load();
    const SaveReport save = file.saveDay(*oledate::toDate(40001), things(QStringLiteral("new")));
    ::alarm(0);

    QCOMPARE(load.status, status);
    if (!load.ok())
        QCOMPARE(load.problem.path, odd);
    const bool followed = !atJournal && kind == "live link";
    QCOMPARE(save.allOnDisk(), followed);
    if (followed) {
        // D7: the journal and the lock lie beside the file itself, where every path to it, the
        // file's own name or another link, finds them.
        QVERIFY(QFile::exists(rollbackjournal::pathFor(m_elsewhere)) && QFile::exists(DayFileLock::pathFor(m_elsewhere)));
        QVERIFY(!QFile::exists(m_journal) && !QFile::exists(DayFileLock::pathFor(m_path)));
        const QString secondLink = m_folder.file(QStringLiteral("second link"));
        QVERIFY(QFile::link(m_elsewhere, secondLink));
        for (const QString &other : {m_elsewhere, secondLink}) {
            DayFile rival(m_ops, other);
            QCOMPARE(rival.lock(), DayFileLock::Status::HeldByOther);
        }
        DayFile again(m_ops, m_elsewhere);
        QVERIFY(again.load().ok());
        QCOMPARE(again.table().text(6), QByteArrayView("new1"));
    } else {
        QCOMPARE(readFile(m_elsewhere), kind == "live link" ? days : QByteArray("<missing>"));
    }
    if (atJournal)
        QCOMPARE(readFile(m_path), days);
    QVERIFY(QFile::remove(odd) || QDir().rmdir(odd));
}

void tst_DayFileNeighbours::newFilesArePrivate()
{
    const mode_t oldMask = ::umask(022);
    DayFile file(m_ops, m_path);
    QVERIFY(file.load().ok());
    QCOMPARE(modeOf(m_path) & 0777, mode_t(0600));
    QVERIFY(file.saveDay(*oledate::toDate(40000), things(QStringLiteral("a"))).allOnDisk());
    QCOMPARE(modeOf(m_journal) & 0777, mode_t(0600)); // the journal, kept beside it

    // A day file the user made keeps the mode the user gave it.
    QVERIFY(QFile::remove(m_path));
    QVERIFY(writeFile(m_path, daysImage(40000, 1)));
    QCOMPARE(::chmod(QFile::encodeName(m_path).constData(), 0640), 0);
    DayFile second(m_ops, m_path);
    QVERIFY(second.load().ok());
    QVERIFY(second.saveDay(*oledate::toDate(40001), things(QStringLiteral("b"))).allOnDisk());
    QCOMPARE(modeOf(m_path) & 0777, mode_t(0640));
    ::umask(oldMask);
}

void tst_DayFileNeighbours::changedBetweenTwoSaves_data()
{
    QTest::addColumn<QByteArray>("change");
    QTest::newRow("untouched") << QByteArray("none");
    QTest::newRow("replaced by another file") << QByteArray("replace");
    QTest::newRow("truncated") << QByteArray("truncate");
    QTest::newRow("extended") << QByteArray("extend");
    QTest::newRow("other days in place, same length") << QByteArray("rewrite");
    QTest::newRow("deleted") << QByteArray("delete");
}

// The first save is the program's own; then another program changes the file; the second
// save must not write at stale slot numbers.
void tst_DayFileNeighbours::changedBetweenTwoSaves()
{
    QFETCH(QByteArray, change);
    QVERIFY(writeFile(m_path, daysImage(40000, 2)));
    DayFile file(m_ops, m_path);
    const DayTable &table = file.table();
    QVERIFY(file.load().ok());
    QVERIFY(file.saveDay(*oledate::toDate(40001), things(QStringLiteral("mine"))).allOnDisk());
    const QByteArray saved = readFile(m_path);

    QByteArray theirs;
    if (change == "replace") {
        theirs = daysImage(50000, 3, "theirs");
        const QString other = m_folder.file(QStringLiteral("other"));
        QVERIFY(writeFile(other, theirs));
        QCOMPARE(::rename(QFile::encodeName(other).constData(), QFile::encodeName(m_path).constData()), 0);
    } else if (change == "truncate") {
        theirs = saved.left(5 * recordimage::SlotLength);
    } else if (change == "extend") {
        theirs = saved + daysImage(50000, 1, "theirs");
    } else if (change == "rewrite") {
        theirs = daysImage(50000, 2, "theirs");
    }
    if (change == "truncate" || change == "extend" || change == "rewrite") {
        QFile f(m_path); // the same file, changed in place
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.resize(0));
        QCOMPARE(f.write(theirs), theirs.size());
    }
    if (change == "delete")
        QVERIFY(QFile::remove(m_path));

    const SaveReport report = file.saveDay(*oledate::toDate(40001), things(QStringLiteral("again")));
    if (change == "none" || change == "delete") {
        QVERIFY(report.allOnDisk());
        QCOMPARE(report.remade, change == "delete");
        // Everything held, and nothing else: a whole file without blank slots.
        QByteArray expected = daysImage(40000, 1);
        for (int no = 1; no <= 5; ++no)
            expected += recordimage::encode({0, no, "again" + QByteArray::number(no), 0, 40001});
        QCOMPARE(readFile(m_path), expected);
        return;
    }
    QCOMPARE(report.status, SaveReport::Status::Replaced);
    QCOMPARE(report.why, change == "replace" ? SaveReport::Why::OtherFile
                 : change == "rewrite"       ? SaveReport::Why::OtherDays
                                             : SaveReport::Why::OtherLength);
    QCOMPARE(readFile(m_path), theirs); // not a byte written into their file
    QCOMPARE(table.text(6), QByteArrayView("again1")); // the day is kept in memory

    // What the table still owes the disk, with what the file held before, for a merge.
    const std::vector<DayFile::OwedThing> owed = file.owedThings();
    QCOMPARE(owed.size(), size_t(5));
    QCOMPARE(owed[0].mine.text, QStringLiteral("again1"));
    QVERIFY(owed[0].base);
    QCOMPARE(owed[0].base->text, QStringLiteral("mine1")); // as the first save wrote it
    QVERIFY(!file.fileOnDiskIsOurs());
}

QTEST_GUILESS_MAIN(tst_DayFileNeighbours)
#include "tst_dayfileneighbours.moc"
