#include "dayfile.h"
#include "daybuilders.h"
#include "dayfolder.h"
#include "faultyops.h"
#include "filebytes.h"
#include "fileops.h"
#include "gbk.h"
#include "oledate.h"
#include "slotimage.h"

#include <QFile>
#include <QTest>
#include <cerrno>
#include <fcntl.h>

using namespace slotimage;

namespace {

const QDate May17(2013, 5, 17);
const QDate May18(2013, 5, 18);

} // namespace

class tst_DayFile : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_folder.clear()); }

    void countsWholeRecords_data();
    void countsWholeRecords();
    void createsAMissingFileEmpty();
    void appendsANewDayAfterTheLastRecord();
    void rewritesASavedDayInPlace();
    void duplicateRecordsReadAndWriteTheLast();
    void blankSlotsLoadAndMatchNoDay();
    void readOnlyFileLoadsAndReportsSaves();
    void missingDirectoryFailsVisibly();
    void unfinishedLoadNeverOverwritesUnreadSlots();
    void slotsThatFailedAreWrittenWithTheNextSave();
    void textsWithoutGbkFormChangeNothing();

private:
    DayFolder m_folder;
    const QString &m_path = m_folder.path;
    FileOps m_ops;
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
    DayFile file(m_ops, m_path);
    const DayTable &table = file.table();
    QVERIFY(file.load().ok());
    QCOMPARE(table.DayCount(), records);
}

void tst_DayFile::createsAMissingFileEmpty()
{
    DayFile file(m_ops, m_path);
    const DayTable &table = file.table();
    const LoadReport r = file.load();
    QVERIFY(r.ok());
    QCOMPARE(table.DayCount(), 0);
    QVERIFY(QFile::exists(m_path));
    QCOMPARE(QFileInfo(m_path).size(), 0);
}

void tst_DayFile::appendsANewDayAfterTheLastRecord()
{
    const QByteArray before = days(3, 30000);
    QVERIFY(writeFile(m_path, before));
    DayFile file(m_ops, m_path);
    const DayTable &table = file.table();
    QVERIFY(file.load().ok());

    const SaveReport r = file.saveDay(May17,
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

    DayFile file(m_ops, m_path);
    QVERIFY(file.load().ok());
    QVERIFY(file.saveDay(May17, things({QStringLiteral("  new  "), QStringLiteral("b")}, 0b1))
                .allOnDisk());

    QByteArray expected = days(1, 41000) + slot(99, 1, "new", true, Day41411) + slot(0, 2, "b", false, Day41411);
    for (int no = 3; no <= 5; ++no)
        expected += slot(0, no, "", false, Day41411);
    expected += days(1, 42000);
    QCOMPARE(readFile(m_path).toHex(), expected.toHex());

    // Only the last slot of the run changes: the run is written, not passed over as already there.
    QVERIFY(file.saveDay(May17, things({QStringLiteral("new"), QStringLiteral("b"), {}, {}, QStringLiteral("e")}, 0b1))
                .allOnDisk());
    QCOMPARE(readFile(m_path).mid(1000 + 800, 200).toHex(), slot(0, 5, "e", false, Day41411).toHex());
}

void tst_DayFile::duplicateRecordsReadAndWriteTheLast()
{
    // Another program left thing 1 of 17 May twice: the later record is the one shown, and an
    // edit goes into it; the earlier stays byte for byte (D3).
    const QByteArray first = slot(0, 1, "first1", false, Day41411);
    QByteArray bytes = first + days(1, 41000) + slot(0, 1, "second1", false, Day41411);
    for (int no = 2; no <= 5; ++no)
        bytes += slot(0, no, "", false, Day41411);
    QVERIFY(writeFile(m_path, bytes));
    DayFile file(m_ops, m_path);
    QVERIFY(file.load().ok());
    QCOMPARE(thingsOfDay(file.table(), May17)[0].text, QStringLiteral("second1"));
    QVERIFY(file.saveDay(May17, things({QStringLiteral("EDITED")})).allOnDisk());
    QCOMPARE(thingsOfDay(file.table(), May17)[0].text, QStringLiteral("EDITED"));
    const QByteArray after = readFile(m_path);
    QCOMPARE(after.left(200), first);
    QCOMPARE(after.mid(1200, 200), slot(0, 1, "EDITED", false, Day41411));
    DayFile again(m_ops, m_path);
    QVERIFY(again.load().ok());
    QCOMPARE(thingsOfDay(again.table(), May17)[0].text, QStringLiteral("EDITED"));
}

void tst_DayFile::blankSlotsLoadAndMatchNoDay()
{
    QByteArray bytes = slot(0, 1, "a", false, Day41411) + QByteArray(200, '\0') + slot(0, 2, "b", true, Day41411)
        + QByteArray(400, '\0');
    QVERIFY(writeFile(m_path, bytes));
    DayFile file(m_ops, m_path);
    const DayTable &table = file.table();
    QVERIFY(file.load().ok());
    QCOMPARE(table.DayCount(), 5);
    QCOMPARE(table.recordsOfDay(41411), (std::vector<qint32>{1, 3}));
    // A new day goes after the blank slots, never into them.
    QVERIFY(file.saveDay(May18, things({QStringLiteral("x")})).allOnDisk());
    QCOMPARE(table.find(41412, 1), std::optional<qint32>(6));
    QCOMPARE(readFile(m_path).left(1000), bytes);
}

void tst_DayFile::readOnlyFileLoadsAndReportsSaves()
{
    const QByteArray before = days(2, 30000);
    QVERIFY(writeFile(m_path, before));
    FaultyOps ops;
    ops.readOnly = true;
    DayFile file(ops, m_path);
    const DayTable &table = file.table();
    const LoadReport load = file.load();
    QVERIFY(load.ok());
    QCOMPARE(load.readOnly, LoadReport::ReadOnly::File);
    QCOMPARE(file.state(), DayFile::State::ReadOnly);
    QCOMPARE(table.DayCount(), 10);

    const SaveReport r = file.saveDay(May17, things({QStringLiteral("kept")}));
    QCOMPARE(r.status, SaveReport::Status::NotOnDisk);
    QCOMPARE(r.why, SaveReport::Why::ReadOnly);
    QCOMPARE(r.unwritten, (QList<qint32>{11, 12, 13, 14, 15}));
    QCOMPARE(table.text(11), QByteArrayView("kept")); // the day lives on in memory
    QCOMPARE(readFile(m_path), before);

    ops.readOnly = false; // the user made the file writable again: the next load may write
    QVERIFY(file.load().writable());
    QVERIFY(file.saveDay(May17, things({QStringLiteral("kept")})).allOnDisk());
    QCOMPARE(readFile(m_path).size(), 15 * 200);
}

void tst_DayFile::missingDirectoryFailsVisibly()
{
    const QString path = m_folder.file(QStringLiteral("gone/things.dat"));
    DayFile file(m_ops, path);
    QCOMPARE(file.load().status, LoadReport::Status::CannotOpen);
    QCOMPARE(file.state(), DayFile::State::Blocked);
    const SaveReport r = file.saveDay(May17, things({QStringLiteral("x")}));
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
    DayFile file(ops, m_path);
    const LoadReport load = file.load();
    QCOMPARE(load.status, LoadReport::Status::ReadFailed);
    QVERIFY(load.recordsRead > 0 && load.recordsRead < 5000);

    // A new day would be appended over records that were not read: it stays in memory.
    const SaveReport r = file.saveDay(May17, things({QStringLiteral("new")}));
    QCOMPARE(r.status, SaveReport::Status::NotOnDisk);
    QCOMPARE(readFile(m_path), before);

    // A day that was read may still be rewritten in place.
    const QDate firstDay = *oledate::toDate(30000);
    QVERIFY(file.saveDay(firstDay, things({QStringLiteral("edited")})).status
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
    DayFile file(ops, m_path);
    QVERIFY(file.load().ok());
    ops.failWrites = 1;
    const SaveReport first = file.saveDay(May17, things({QStringLiteral("first")}));
    QCOMPARE(first.status, SaveReport::Status::NotOnDisk);
    QCOMPARE(first.unwritten.size(), 5);
    QCOMPARE(QFileInfo(m_path).size(), 0);

    QVERIFY(file.saveDay(May18, things({QStringLiteral("second")})).allOnDisk());
    const QByteArray bytes = readFile(m_path);
    QCOMPARE(bytes.size(), 2000);
    QCOMPARE(bytes.left(200), slot(0, 1, "first", false, Day41411));
    QCOMPARE(bytes.mid(1000, 200), slot(0, 1, "second", false, Day41412));
    QVERIFY(!file.hasPending());
}

void tst_DayFile::textsWithoutGbkFormChangeNothing()
{
    DayFile file(m_ops, m_path);
    const DayTable &table = file.table();
    QVERIFY(file.load().ok());
    const SaveReport r = file.saveDay(May17, things({QStringLiteral("ok"), QStringLiteral("🎉")}));
    QCOMPARE(r.status, SaveReport::Status::NoGbkForm);
    QCOMPARE(table.DayCount(), 0);
    QCOMPARE(QFileInfo(m_path).size(), 0);
}

QTEST_GUILESS_MAIN(tst_DayFile)
#include "tst_dayfile.moc"
