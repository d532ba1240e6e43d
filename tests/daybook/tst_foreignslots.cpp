#include "filebytes.h"
#include "dayfile.h"
#include "fileops.h"
#include "slotimage.h"
#include "oledate.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <cmath>
#include <limits>

namespace {

QByteArray withDate(QByteArray slot, double date)
{
    qToLittleEndian<double>(date, slot.data() + 170);
    return slot;
}

} // namespace

// Day files written by other programs, damaged, or edited by hand: every slot loads, the slots
// that name no valid day or position match nothing, and the days around them keep working.
class tst_ForeignSlots : public QObject
{
    Q_OBJECT

private slots:
    void strangeSlotsHarmNoOtherDay_data();
    void strangeSlotsHarmNoOtherDay();
};

void tst_ForeignSlots::strangeSlotsHarmNoOtherDay_data()
{
    QTest::addColumn<QByteArray>("strange");
    const double day = 40001;
    QTest::newRow("ThingNo 0") << slotimage::slot(0, 0, "x", false, day);
    QTest::newRow("ThingNo 6") << slotimage::slot(0, 6, "x", false, day);
    QTest::newRow("ThingNo -1") << slotimage::slot(0, -1, "x", false, day);
    QTest::newRow("NaN date") << withDate(slotimage::slot(0, 2, "x", false, day), std::numeric_limits<double>::quiet_NaN());
    QTest::newRow("infinite date") << withDate(slotimage::slot(0, 2, "x", false, day), std::numeric_limits<double>::infinity());
    QTest::newRow("date past 9999") << withDate(slotimage::slot(0, 2, "x", false, day), 1e300);
    QTest::newRow("date before year 100") << withDate(slotimage::slot(0, 2, "x", false, day), -1e300);
    QTest::newRow("fractional date") << withDate(slotimage::slot(0, 2, "x", false, day), day + 0.5);
    QTest::newRow("text with no GBK reading") << slotimage::slot(0, 2, QByteArray("\x80\xff\xfe", 3), false, day);
    QTest::newRow("every byte 0xFF") << QByteArray(200, char(0xFF));
}

void tst_ForeignSlots::strangeSlotsHarmNoOtherDay()
{
    QFETCH(QByteArray, strange);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("things.dat"));
    QByteArray middle = slotimage::daySlots(40001, "thing");
    middle.replace(200, 200, strange);
    const QByteArray before = slotimage::daySlots(40000, "thing") + middle + slotimage::daySlots(40002, "thing");
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(before);
    }

    FileOps ops;
    DayFile file(ops, path);
    const DayTable &table = file.table();
    QVERIFY(file.load().ok());
    QCOMPARE(table.DayCount(), 15);
    QCOMPARE(table.recordsOfDay(40000), (std::vector<qint32>{1, 2, 3, 4, 5}));
    QCOMPARE(table.recordsOfDay(40002), (std::vector<qint32>{11, 12, 13, 14, 15}));

    // Saving the damaged day gives it five sound things and leaves every other day as it was.
    DayThings things;
    for (int i = 0; i < 5; ++i)
        things[size_t(i)].text = QStringLiteral("new %1").arg(i + 1);
    QVERIFY(file.saveDay(*oledate::toDate(40001), things).allOnDisk());
    const QByteArray after = readFile(path);
    QCOMPARE(after.left(1000), before.left(1000));
    QCOMPARE(after.mid(2000, 1000), before.mid(2000, 1000));
    // A slot that is not thing 2 of the day stays as it was, and thing 2 is appended.
    if (after.size() == 3200)
        QCOMPARE(after.mid(1200, 200), strange);
    else
        QCOMPARE(after.size(), 3000);

    QVERIFY(file.load().ok());
    const DayTable &reloaded = file.table();
    for (qint32 no = 1; no <= 5; ++no) {
        const auto index = reloaded.find(40001, no);
        QVERIFY(index);
        QCOMPARE(reloaded.text(*index), QByteArrayView("new " + QByteArray::number(no)));
    }
}

QTEST_GUILESS_MAIN(tst_ForeignSlots)
#include "tst_foreignslots.moc"
