// The hidden developer tools: the bulk file beside the day book, never in it.
#include "bulkfile.h"
#include "devtools.h"
#include "fakeclock.h"
#include "fileops.h"
#include "oledate.h"
#include "slotimage.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

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

class tst_DevTools : public QObject
{
    Q_OBJECT

private slots:
    void bulkSaveAndLoadRoundTrip();
    void bulkSaveAcrossMidnightStoresTwoDates();
    void shortBulkFileLoadsWhatItHolds();
    void unusableBulkFileSaysSo();
};

void tst_DevTools::bulkSaveAndLoadRoundTrip()
{
    QTemporaryDir dir;
    FileOps ops;
    FakeClock clock;
    DevTools tools(ops, clock);
    const QString bulk = dir.filePath(QStringLiteral("things10w.dat"));
    tools.setBulkFilePath(bulk);
    QCOMPARE(tools.saveBulk(), QStringLiteral("OK,10W saved!!!"));
    QCOMPARE(QFileInfo(bulk).size(), qint64(BulkTable::BulkCapacity) * 200);

    BulkTable fresh;
    QVERIFY(bulkfile::load(ops, bulk, fresh).ok);
    for (qint32 i : {1, 2, 50'000, BulkTable::BulkCapacity}) {
        const DayRecord r = fresh.at(i);
        QCOMPARE(r.ThingText, QByteArray("test"));
        QCOMPARE(r.ThingNo, 1);
        QVERIFY(r.isDone());
        QCOMPARE(r.ThingDate, 41411.0);
    }
    QCOMPARE(tools.loadBulk(), QStringLiteral("10W loaded!!!"));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("things.dat")))); // the day book is not involved
}

void tst_DevTools::bulkSaveAcrossMidnightStoresTwoDates()
{
    BulkTable bulk;
    TickingClock clock(QDateTime(QDate(2013, 5, 17), QTime(23, 59, 59, 950)));
    bulkfile::fillForTest(bulk, clock);
    QCOMPARE(bulk.at(1).ThingDate, 41411.0);
    QCOMPARE(bulk.at(BulkTable::BulkCapacity).ThingDate, 41412.0);
}

void tst_DevTools::shortBulkFileLoadsWhatItHolds()
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

void tst_DevTools::unusableBulkFileSaysSo()
{
    QTemporaryDir dir;
    FileOps ops;
    FakeClock clock;
    DevTools tools(ops, clock);
    tools.setBulkFilePath(dir.filePath(QStringLiteral("no/such/folder/things10w.dat")));
    QVERIFY(tools.saveBulk().startsWith(QStringLiteral("Bulk save failed")));
    QVERIFY(tools.loadBulk().startsWith(QStringLiteral("Bulk load failed")));
}

QTEST_GUILESS_MAIN(tst_DevTools)
#include "tst_devtools.moc"
