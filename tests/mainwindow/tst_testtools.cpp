#include "mainwindowfixture.h"

#include "bulkfile.h"
#include "oledate.h"

using namespace slotimage;

namespace {

// A clock that moves on by a millisecond every time it is read.
class TickingClock final : public TimeSource
{
public:
    explicit TickingClock(QDateTime start) : m_next(std::move(start)) {}
    QDateTime now() const override
    {
        const QDateTime t = m_next;
        m_next = m_next.addMSecs(1);
        return t;
    }

private:
    mutable QDateTime m_next;
};

} // namespace

class tst_TestTools : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }

    void bulkSaveAndLoadRoundTrip();
    void bulkSaveAcrossMidnightStoresTwoDates();
    void shortBulkFileLoadsWhatItHolds();
    void unusableBulkFileSaysSo();
    void clearAloneTouchesNothingStored();
    void reloadReplacesUnsavedEdits();
};

void tst_TestTools::bulkSaveAndLoadRoundTrip()
{
    MainWindowFixture f;
    const QString bulk = f.dir.filePath(QStringLiteral("things10w.dat"));
    f.window.setBulkFilePath(bulk);
    f.button("Command2")->click();
    QCOMPARE(f.prompts.informed, QStringList{"OK,10W saved!!!"});
    QCOMPARE(QFileInfo(bulk).size(), qint64(BulkTable::BulkCapacity) * 200);

    FileOps ops;
    BulkTable fresh;
    QVERIFY(bulkfile::load(ops, bulk, fresh).ok);
    for (qint32 i : {1, 2, 50'000, BulkTable::BulkCapacity}) {
        const DayRecord r = fresh.at(i);
        QCOMPARE(r.ThingText, QByteArray("test"));
        QCOMPARE(r.ThingNo, 1);
        QVERIFY(r.isDone());
        QCOMPARE(r.ThingDate, 41411.0);
    }
    f.button("Command1")->click();
    QCOMPARE(f.prompts.informed.last(), QStringLiteral("10W loaded!!!"));
    QCOMPARE(f.pub.dayFile.table().DayCount(), 0); // the day book is not involved
    QCOMPARE(f.file().size(), 0);
}

void tst_TestTools::bulkSaveAcrossMidnightStoresTwoDates()
{
    BulkTable bulk;
    TickingClock clock(QDateTime(QDate(2013, 5, 17), QTime(23, 59, 59, 950)));
    bulkfile::fillForTest(bulk, clock);
    QCOMPARE(bulk.at(1).ThingDate, 41411.0);
    QCOMPARE(bulk.at(BulkTable::BulkCapacity).ThingDate, 41412.0);
}

void tst_TestTools::shortBulkFileLoadsWhatItHolds()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("short.dat"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(slot(0, 1, "one", true, Day41411) + slot(0, 2, "two", false, Day41412).left(178));
    out.close();

    FileOps ops;
    BulkTable bulk;
    bulk.set(3, DayRecord{0, 5, "stale", -1, 41000}); // left by an earlier load
    const bulkfile::Result r = bulkfile::load(ops, path, bulk);
    QVERIFY(r.ok);
    QCOMPARE(r.records, 2);
    QCOMPARE(bulk.at(2).ThingText, QByteArray("two"));
    QCOMPARE(bulk.at(3), DayRecord{});
}

void tst_TestTools::unusableBulkFileSaysSo()
{
    MainWindowFixture f;
    f.window.setBulkFilePath(f.dir.filePath(QStringLiteral("no/such/folder/things10w.dat")));
    f.button("Command2")->click();
    f.button("Command1")->click();
    QCOMPARE(f.prompts.informed.size(), 2);
    QVERIFY(f.prompts.informed[0].startsWith(QStringLiteral("Bulk save failed")));
    QVERIFY(f.prompts.informed[1].startsWith(QStringLiteral("Bulk load failed")));
}

void tst_TestTools::clearAloneTouchesNothingStored()
{
    QByteArray file;
    for (int no = 1; no <= 5; ++no)
        file += slot(0, no, "stored", true, Day41411);
    MainWindowFixture f(QDateTime(QDate(2013, 5, 17), QTime(9, 0)), &file);
    f.button("cmd_Clear")->click();
    QCOMPARE(f.texts(), QStringList(5, QString()));
    QCOMPARE(f.pub.dayFile.table().record(1).ThingText, QByteArray("stored"));
    QCOMPARE(f.file(), file);
    f.button("cmd_Save")->click(); // what is stored follows from the next save
    QCOMPARE(f.file().left(200).toHex(), slot(0, 1, "", false, Day41411).toHex());
}

void tst_TestTools::reloadReplacesUnsavedEdits()
{
    QByteArray file = slot(0, 1, "stored", false, Day41411);
    MainWindowFixture f(QDateTime(QDate(2013, 5, 17), QTime(9, 0)), &file);
    QTest::keyClicks(f.box(0), QStringLiteral(" edited"));
    f.button("cmd_Open")->click();
    QCOMPARE(f.texts()[0], QStringLiteral("stored"));
    QVERIFY(!f.window.isDirty());
}

QTEST_MAIN(tst_TestTools)
#include "tst_testtools.moc"
