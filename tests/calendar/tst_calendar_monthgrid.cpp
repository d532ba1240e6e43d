#include "monthgrid.h"
#include "things.h"

#include <QTest>

using namespace Qt::StringLiterals;

using monthgrid::Line;

class tst_calendar_monthgrid : public QObject
{
    Q_OBJECT

private slots:
    void dayNumbers_data();
    void dayNumbers();
    void thingLine_data();
    void thingLine();
    void duplicatesPrintInTableOrder();
    void thingsStayInTheirOwnDay();
};

void tst_calendar_monthgrid::dayNumbers_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<int>("firstCell");
    QTest::addColumn<int>("days");

    QTest::newRow("February 2010 starts on a Monday") << QDate(2010, 2, 1) << 0 << 28;
    QTest::newRow("May 2011 starts on a Sunday, 31 ends in row 5") << QDate(2011, 5, 1) << 6 << 31;
    QTest::newRow("September 2013 puts 30 in cell 35") << QDate(2013, 9, 1) << 6 << 30;
    QTest::newRow("June 2013 starts on a Saturday") << QDate(2013, 6, 1) << 5 << 30;
    QTest::newRow("February 2012 is a leap month") << QDate(2012, 2, 14) << 2 << 29;
    QTest::newRow("February 2013 is not") << QDate(2013, 2, 14) << 4 << 28;
    QTest::newRow("March 2013 has 31 whatever the day") << QDate(2013, 3, 30) << 4 << 31;
    QTest::newRow("17 May 2013") << QDate(2013, 5, 17) << 2 << 31;
    QTest::newRow("1 May 2013 gives the same grid") << QDate(2013, 5, 1) << 2 << 31;
    QTest::newRow("February 2000 is a leap century") << QDate(2000, 2, 29) << 1 << 29;
    QTest::newRow("February 1900 is not") << QDate(1900, 2, 1) << 3 << 28;
    QTest::newRow("December 9999, the last month") << QDate(9999, 12, 31) << 2 << 31;
}

void tst_calendar_monthgrid::dayNumbers()
{
    QFETCH(QDate, date);
    QFETCH(int, firstCell);
    QFETCH(int, days);

    const monthgrid::Month month = monthgrid::fill(DayTable(), date, QDate(2013, 5, 17));
    for (int i = 0; i < monthgrid::DayCells; ++i) {
        const int expected = i >= firstCell && i < firstCell + days ? i - firstCell + 1 : 0;
        QCOMPARE(month[size_t(i)].day, expected);
        QVERIFY(month[size_t(i)].lines.empty());
    }
}

void tst_calendar_monthgrid::thingLine_data()
{
    QTest::addColumn<int>("thingNo");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("done");
    QTest::addColumn<int>("daysFromToday");
    QTest::addColumn<double>("fraction");
    QTest::addColumn<QString>("line"); // empty: nothing printed
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<int>("top");

    const QColor green(0, 128, 0);
    const QColor red(255, 0, 0);
    QTest::newRow("done is ticked and green") << 2 << u"买菜"_s << true << 3 << 0.0 << u"√买菜"_s << green << 15;
    QTest::newRow("done with no text is a lone tick") << 1 << QString() << true << 0 << 0.0 << u"√"_s << green << 1;
    QTest::newRow("unfinished today is red") << 2 << u"写周报"_s << false << 0 << 0.0 << u"2 写周报"_s << red << 15;
    QTest::newRow("unfinished tomorrow is red") << 3 << u"a"_s << false << 1 << 0.0 << u"3 a"_s << red << 29;
    QTest::newRow("unfinished yesterday is green") << 4 << u"a"_s << false << -1 << 0.0 << u"4 a"_s << green << 43;
    QTest::newRow("position 5 is the lowest line") << 5 << u"z"_s << false << 0 << 0.0 << u"5 z"_s << red << 57;
    QTest::newRow("padding is trimmed") << 1 << u"  a b  "_s << false << 0 << 0.0 << u"1 a b"_s << red << 1;
    QTest::newRow("unfinished with no text prints nothing") << 1 << QString() << false << 0 << 0.0 << QString() << QColor() << 0;
    QTest::newRow("spaces only count as no text") << 2 << u"    "_s << false << 5 << 0.0 << QString() << QColor() << 0;
    QTest::newRow("position 0 is never printed") << 0 << u"a"_s << true << 0 << 0.0 << QString() << QColor() << 0;
    QTest::newRow("position 6 is never printed") << 6 << u"a"_s << false << 0 << 0.0 << QString() << QColor() << 0;
    QTest::newRow("a time of day is never printed") << 1 << u"a"_s << true << 0 << 0.25 << QString() << QColor() << 0;
}

void tst_calendar_monthgrid::thingLine()
{
    QFETCH(int, thingNo);
    QFETCH(QString, text);
    QFETCH(bool, done);
    QFETCH(int, daysFromToday);
    QFETCH(double, fraction);
    QFETCH(QString, line);
    QFETCH(QColor, colour);
    QFETCH(int, top);

    const QDate today(2013, 5, 17);
    const QDate day = today.addDays(daysFromToday);
    DayTable table;
    addThing(table, day, thingNo, text, done, fraction);

    const std::vector<Line> lines = monthgrid::thingLines(table, day, today);
    if (line.isEmpty()) {
        QVERIFY(lines.empty());
        return;
    }
    QCOMPARE(lines.size(), size_t(1));
    QCOMPARE(lines[0].text, line);
    QCOMPARE(lines[0].colour, colour);
    QCOMPARE(lines[0].position, QPoint(48, top));
}

void tst_calendar_monthgrid::duplicatesPrintInTableOrder()
{
    const QDate day(2013, 5, 17);
    DayTable table;
    addThing(table, day, 3, u"first"_s, false);
    addThing(table, day.addDays(1), 3, u"other day"_s, false);
    addThing(table, day, 3, u"second"_s, true);

    const std::vector<Line> lines = monthgrid::thingLines(table, day, day);
    const std::vector<Line> expected{{u"3 first"_s, QColor(255, 0, 0), QPoint(48, 29)},
                                     {u"√second"_s, QColor(0, 128, 0), QPoint(48, 29)}};
    QCOMPARE(lines, expected);
}

// Records just outside the month, or on a day of the next month's first row, land nowhere.
void tst_calendar_monthgrid::thingsStayInTheirOwnDay()
{
    DayTable table;
    addThing(table, QDate(2013, 4, 30), 1, u"april"_s, true);
    addThing(table, QDate(2013, 5, 1), 1, u"first"_s, true);
    addThing(table, QDate(2013, 5, 31), 2, u"last"_s, true);
    addThing(table, QDate(2013, 6, 1), 1, u"june"_s, true);
    addThing(table, QDate(2014, 5, 1), 1, u"next year"_s, true);

    const monthgrid::Month month = monthgrid::fill(table, QDate(2013, 5, 17), QDate(2013, 5, 17));
    for (int i = 0; i < monthgrid::DayCells; ++i) {
        QStringList texts;
        for (const Line &line : month[size_t(i)].lines)
            texts << line.text;
        const QStringList expected = i == 2 ? QStringList{u"√first"_s} : i == 32 ? QStringList{u"√last"_s} : QStringList{};
        QCOMPARE(texts, expected);
    }
}

QTEST_APPLESS_MAIN(tst_calendar_monthgrid)
#include "tst_calendar_monthgrid.moc"
