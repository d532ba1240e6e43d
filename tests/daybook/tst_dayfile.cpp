#include "filebytes.h"
#include "dayfile.h"
#include "faultyops.h"
#include "rollbackjournal.h"
#include "fileops.h"
#include "gbk.h"
#include "oledate.h"
#include "slotimage.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <fcntl.h>

using namespace slotimage;

namespace {

DayThings things(std::initializer_list<QString> texts, int doneMask = 0)
{
    DayThings t;
    int i = 0;
    for (const QString &s : texts) {
        t[size_t(i)].text = s;
        t[size_t(i)].done = doneMask & (1 << i);
        ++i;
    }
    return t;
}

const QDate May17(2013, 5, 17);
const QDate May18(2013, 5, 18);

} // namespace

class tst_DayFile : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("things.dat"));
        QFile::remove(m_path);
        QFile::remove(rollbackjournal::pathFor(m_path));
    }

    void countsWholeRecords_data();
    void countsWholeRecords();
    void createsAMissingFileEmpty();
    void appendsANewDayAfterTheLastRecord();
    void rewritesASavedDayInPlace();
    void blankSlotsLoadAndMatchNoDay();
    void readOnlyFileLoadsAndReportsSaves();
    void missingDirectoryFailsVisibly();
    void unfinishedLoadNeverOverwritesUnreadSlots();
    void slotsThatFailedAreWrittenWithTheNextSave();
    void textsWithoutGbkFormChangeNothing();

private:
    QTemporaryDir m_dir;
    QString m_path;
};

void tst_DayFile::countsWholeRecords_data()
{
    QTest::addColumn<int>("bytes");
    QTest::addColumn<int>("records");
    QTest::newRow("empty") << 0 << 0;
    QTest::newRow("177: one byte short of a record") << 177 << 0;
    QTest::newRow("178: the image is there") << 178 << 1;
    QTest::newRow("199") << 199 << 1;
    QTest::newRow("201") << 201 << 1;
    QTest::newRow("1001") << 1001 << 5;
}

void tst_DayFile::countsWholeRecords()
{
    QFETCH(int, bytes);
    QFETCH(int, records);
    QVERIFY(writeFile(m_path, days(2, 30000).left(bytes)));
    DayTable table;
    DayFile file(FileOps::system());
    QVERIFY(file.load(m_path, table).ok());
    QCOMPARE(table.DayCount(), records);
}

void tst_DayFile::createsAMissingFileEmpty()
{
    DayTable table;
    DayFile file(FileOps::system());
    const LoadReport r = file.load(m_path, table);
    QVERIFY(r.ok());
    QCOMPARE(table.DayCount(), 0);
    QVERIFY(QFile::exists(m_path));
    QCOMPARE(QFileInfo(m_path).size(), 0);
}

void tst_DayFile::appendsANewDayAfterTheLastRecord()
{
    const QByteArray before = days(3, 30000);
    QVERIFY(writeFile(m_path, before));
    DayTable table;
    DayFile file(FileOps::system());
    QVERIFY(file.load(m_path, table).ok());

    const SaveReport r = file.saveDay(m_path, table, May17,
                                      things({QStringLiteral("buy milk"), QStringLiteral("中文"), {}, {}, {}}, 0b10));
    QVERIFY(r.allOnDisk());
    QCOMPARE(table.DayCount(), 20);
    const QByteArray expected = before + slot(0, 1, "buy milk", false, Day41411)
        + slot(0, 2, QByteArray::fromHex("d6d0cec4"), true, Day41411) + slot(0, 3, "", false, Day41411)
        + slot(0, 4, "", false, Day41411) + slot(0, 5, "", false, Day41411);
    QCOMPARE(readFile(m_path).toHex(), expected.toHex());
}

void tst_DayFile::rewritesASavedDayInPlace()
{
    // The day of 17 May sits between two other days; its first record keeps a reserved value
    // and a Done of 1 that only this program's writer normalises.
    QByteArray bytes = days(1, 41000);
    QByteArray may17 = slot(99, 1, "  old  ", false, Day41411);
    may17[168] = 1;
    for (int no = 2; no <= 5; ++no)
        may17 += slot(0, no, "old", false, Day41411);
    bytes += may17 + days(1, 42000);
    QVERIFY(writeFile(m_path, bytes));

    DayTable table;
    DayFile file(FileOps::system());
    QVERIFY(file.load(m_path, table).ok());
    QVERIFY(file.saveDay(m_path, table, May17, things({QStringLiteral("  new  "), QStringLiteral("b")}, 0b1))
                .allOnDisk());

    QByteArray expected = days(1, 41000) + slot(99, 1, "new", true, Day41411) + slot(0, 2, "b", false, Day41411);
    for (int no = 3; no <= 5; ++no)
        expected += slot(0, no, "", false, Day41411);
    expected += days(1, 42000);
    QCOMPARE(readFile(m_path).toHex(), expected.toHex());
}

void tst_DayFile::blankSlotsLoadAndMatchNoDay()
{
    QByteArray bytes = slot(0, 1, "a", false, Day41411) + QByteArray(200, '\0') + slot(0, 2, "b", true, Day41411)
        + QByteArray(400, '\0');
    QVERIFY(writeFile(m_path, bytes));
    DayTable table;
    DayFile file(FileOps::system());
    QVERIFY(file.load(m_path, table).ok());
    QCOMPARE(table.DayCount(), 5);
    QCOMPARE(table.recordsOfDay(41411), (std::vector<qint32>{1, 3}));
    // A new day goes after the blank slots, never into them.
    QVERIFY(file.saveDay(m_path, table, May18, things({QStringLiteral("x")})).allOnDisk());
    QCOMPARE(table.find(41412, 1), std::optional<qint32>(6));
    QCOMPARE(readFile(m_path).left(1000), bytes);
}

void tst_DayFile::readOnlyFileLoadsAndReportsSaves()
{
    const QByteArray before = days(2, 30000);
    QVERIFY(writeFile(m_path, before));
    FaultyOps ops;
    ops.readOnly = true;
    DayTable table;
    DayFile file(ops);
    QVERIFY(file.load(m_path, table).ok());
    QCOMPARE(table.DayCount(), 10);

    const SaveReport r = file.saveDay(m_path, table, May17, things({QStringLiteral("kept")}));
    QCOMPARE(r.status, SaveReport::Status::NotOnDisk);
    QCOMPARE(r.unwritten, (QList<qint32>{11, 12, 13, 14, 15}));
    QVERIFY(!r.detail.isEmpty());
    QCOMPARE(table.text(11), QByteArrayView("kept")); // the day lives on in memory
    QCOMPARE(readFile(m_path), before);

    ops.readOnly = false; // e.g. the user made the file writable again
    QVERIFY(file.flushPending(m_path, table).allOnDisk());
    QCOMPARE(readFile(m_path).size(), 15 * 200);
}

void tst_DayFile::missingDirectoryFailsVisibly()
{
    const QString path = m_dir.filePath(QStringLiteral("gone/things.dat"));
    DayTable table;
    DayFile file(FileOps::system());
    QCOMPARE(file.load(path, table).status, LoadReport::Status::CannotOpen);
    const SaveReport r = file.saveDay(path, table, May17, things({QStringLiteral("x")}));
    QCOMPARE(r.status, SaveReport::Status::NotOnDisk);
    QCOMPARE(r.unwritten.size(), 5);
    QVERIFY(!QFile::exists(path));
}

void tst_DayFile::unfinishedLoadNeverOverwritesUnreadSlots()
{
    const QByteArray before = days(1000, 30000); // 5000 records: more than one read
    QVERIFY(writeFile(m_path, before));
    FaultyOps ops;
    ops.failReadAt = 2;
    DayTable table;
    DayFile file(ops);
    const LoadReport load = file.load(m_path, table);
    QCOMPARE(load.status, LoadReport::Status::ReadFailed);
    QVERIFY(load.recordsRead > 0 && load.recordsRead < 5000);

    // A new day would be appended over records that were not read: it stays in memory.
    const SaveReport r = file.saveDay(m_path, table, May17, things({QStringLiteral("new")}));
    QCOMPARE(r.status, SaveReport::Status::NotOnDisk);
    QCOMPARE(readFile(m_path), before);

    // A day that was read may still be rewritten in place.
    const QDate firstDay = *oledate::toDate(30000);
    QVERIFY(file.saveDay(m_path, table, firstDay, things({QStringLiteral("edited")})).status
            == SaveReport::Status::NotOnDisk); // the new day is still owed
    const QByteArray after = readFile(m_path);
    QCOMPARE(after.size(), before.size());
    QCOMPARE(after.mid(0, 200), slot(0, 1, "edited", false, "00000000004cdd40"));
    QCOMPARE(after.mid(1000), before.mid(1000));
}

void tst_DayFile::slotsThatFailedAreWrittenWithTheNextSave()
{
    FaultyOps ops;
    ops.error = ENOSPC;
    DayTable table;
    DayFile file(ops);
    QVERIFY(file.load(m_path, table).ok());
    ops.failWrites = 1;
    const SaveReport first = file.saveDay(m_path, table, May17, things({QStringLiteral("first")}));
    QCOMPARE(first.status, SaveReport::Status::NotOnDisk);
    QCOMPARE(first.unwritten.size(), 5);
    QCOMPARE(QFileInfo(m_path).size(), 0);

    QVERIFY(file.saveDay(m_path, table, May18, things({QStringLiteral("second")})).allOnDisk());
    const QByteArray bytes = readFile(m_path);
    QCOMPARE(bytes.size(), 2000);
    QCOMPARE(bytes.left(200), slot(0, 1, "first", false, Day41411));
    QCOMPARE(bytes.mid(1000, 200), slot(0, 1, "second", false, Day41412));
    QVERIFY(!file.hasPending());
}

void tst_DayFile::textsWithoutGbkFormChangeNothing()
{
    DayTable table;
    DayFile file(FileOps::system());
    QVERIFY(file.load(m_path, table).ok());
    const SaveReport r = file.saveDay(m_path, table, May17, things({QStringLiteral("ok"), QStringLiteral("🎉")}));
    QCOMPARE(r.status, SaveReport::Status::NoGbkForm);
    QCOMPARE(table.DayCount(), 0);
    QCOMPARE(QFileInfo(m_path).size(), 0);
}

QTEST_GUILESS_MAIN(tst_DayFile)
#include "tst_dayfile.moc"
