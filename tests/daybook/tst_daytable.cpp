#include "daytable.h"

#include <QRandomGenerator>
#include <QTest>

// The table answers through an index; every answer must be what a plain ascending scan gives.
class tst_DayTable : public QObject
{
    Q_OBJECT

private slots:
    void emptyTableAppendsTheFirstDay();
    void findOrAppendTakesTheLastMatch();
    void daysListEveryRecordInTableOrder();
    void fractionalAndBlankRecordsMatchNoDay();
    void indexAgreesWithAScan();
    void refusesAppendsPastCapacity();
};

static DayRecord rec(qint32 no, double date, QByteArray text = {})
{
    DayRecord r;
    r.ThingNo = no;
    r.ThingDate = date;
    r.ThingText = std::move(text);
    return r;
}

void tst_DayTable::emptyTableAppendsTheFirstDay()
{
    DayTable t;
    QVERIFY(!t.find(41411, 1));
    for (qint32 no = 1; no <= 5; ++no)
        QCOMPARE(t.findOrAppend(41411, no), std::optional<qint32>(no));
    QCOMPARE(t.DayCount(), 5);
    for (qint32 no = 1; no <= 5; ++no) {
        QCOMPARE(t.thingNo(no), no);
        QCOMPARE(t.thingDate(no), 41411.0);
        QCOMPARE(t.findOrAppend(41411, no), std::optional<qint32>(no)); // found, not appended again
    }
    QCOMPARE(t.DayCount(), 5);
}

// D3: of several records of one thing, the last is the one shown, and so the one written.
void tst_DayTable::findOrAppendTakesTheLastMatch()
{
    DayTable t;
    t.append(rec(1, 41411, "first"));
    t.append(rec(1, 41412, "other day"));
    t.append(rec(1, 41411, "duplicate"));
    QCOMPARE(t.find(41411, 1), std::optional<qint32>(3));
    QVERIFY(!t.isCurrent(1) && t.isCurrent(2) && t.isCurrent(3));
    t.setThing(*t.findOrAppend(41411, 1), "changed", true);
    QCOMPARE(t.text(1), QByteArrayView("first"));
    QCOMPARE(t.text(3), QByteArrayView("changed"));
    QVERIFY(t.isDone(3) && !t.isDone(1));
}

void tst_DayTable::daysListEveryRecordInTableOrder()
{
    DayTable t;
    t.append(rec(2, 41411, "a"));
    t.append(rec(2, 41412, "b"));
    t.append(rec(2, 41411, "c"));
    (void)t.recordsOfDay(41411); // builds the index; later appends must join it
    t.append(rec(4, 41411, "d"));
    QCOMPARE(t.recordsOfDay(41411), (std::vector<qint32>{1, 3, 4}));
    QCOMPARE(t.recordsOfDay(41412), (std::vector<qint32>{2}));
    QVERIFY(t.recordsOfDay(41413).empty());
}

void tst_DayTable::fractionalAndBlankRecordsMatchNoDay()
{
    DayTable t;
    t.append(rec(1, 41411.25));
    t.append(DayRecord{});
    t.append(rec(1, std::numeric_limits<double>::quiet_NaN()));
    QVERIFY(t.recordsOfDay(41411).empty());
    QVERIFY(!t.find(41411, 1));
    QCOMPARE(t.recordsOfDay(0), (std::vector<qint32>{2})); // a blank record is dated day 0 ...
    QVERIFY(!t.find(0, 1));                                  // ... but has no position
    QCOMPARE(t.findOrAppend(41411, 1), std::optional<qint32>(4));
}

void tst_DayTable::indexAgreesWithAScan()
{
    QRandomGenerator rng(20131);
    DayTable t;
    for (int i = 0; i < 3000; ++i) {
        const double day = 41400 + rng.bounded(40) + (rng.bounded(20) == 0 ? 0.5 : 0.0);
        t.append(rec(qint32(rng.bounded(7)), day)); // positions 0..6, duplicates on purpose
    }
    for (double day = 41395; day < 41445; day += 1) { // the program only asks for whole days
        std::vector<qint32> scanned;
        for (qint32 i = 1; i <= t.DayCount(); ++i) {
            if (t.thingDate(i) == day)
                scanned.push_back(i);
        }
        QCOMPARE(t.recordsOfDay(day), scanned);
        for (qint32 no = 0; no <= 6; ++no) {
            std::optional<qint32> last;
            for (qint32 i : scanned) {
                if (t.thingNo(i) == no)
                    last = i;
            }
            QCOMPARE(t.find(day, no), last);
            if (last)
                QVERIFY(t.isCurrent(*last));
        }
    }
}

void tst_DayTable::refusesAppendsPastCapacity()
{
    DayTable t;
    t.reserve(DayTable::DayCapacity, 0);
    for (qint32 i = 0; i < DayTable::DayCapacity; ++i)
        QVERIFY(t.append(rec(1, 1)));
    QVERIFY(t.isFull());
    QVERIFY(!t.append(rec(1, 2)));
    QVERIFY(!t.findOrAppend(2, 1));
    QCOMPARE(t.findOrAppend(1, 1), std::optional<qint32>(DayTable::DayCapacity));
    QCOMPARE(t.DayCount(), DayTable::DayCapacity);
}

QTEST_GUILESS_MAIN(tst_DayTable)
#include "tst_daytable.moc"
