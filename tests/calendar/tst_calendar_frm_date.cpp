#include "calendarcell.h"
#include "dayviewhost.h"
#include "fakeclock.h"
#include "frm_date.h"
#include "daytable.h"
#include "things.h"

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QScopeGuard>
#include <QAccessible>
#include <QTest>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

// The main window as the calendar sees it: every call is noted with its day and whether the
// calendar was still on screen.
class FakeHost final : public DayViewHost
{
public:
    explicit FakeHost(const QDate &shown) : m_shown(shown) {}

    QPointer<QWidget> calendar;
    QStringList calls;

    bool goToDay(QDate day) override
    {
        note(u"goToDay "_s + day.toString(Qt::ISODate));
        return true;
    }
    QDate shownDate() const override { return m_shown; }
    DayThings shownThings() const override { return {}; }
    void selectInThing(int, qsizetype, qsizetype) override {}
    void showMainWindow() override { note(u"showMainWindow"_s); }

private:
    const QDate &m_shown;
    void note(const QString &call) { calls << call + (calendar && calendar->isVisible() ? u" shown"_s : u" hidden"_s); }
};

template<typename T>
T *child(QWidget &window, const QString &name)
{
    T *found = window.findChild<T *>(name);
    if (!found)
        qFatal("no child %s", qPrintable(name));
    return found;
}

CalendarCell *cell(QWidget &w, int i) { return child<CalendarCell>(w, u"pic_calendar_%1"_s.arg(i)); }
QLabel *dayLabel(QWidget &w, int i) { return child<QLabel>(w, u"lbl_day_%1"_s.arg(i)); }
QComboBox *list(QWidget &w, const QString &name) { return child<QComboBox>(w, name); }
QString caption(QWidget &w, const QString &name) { return child<QLabel>(w, name)->text(); }

void choose(QWidget &w, const QString &listName, const QString &item)
{
    QComboBox *box = list(w, listName);
    const int index = box->findText(item);
    QVERIFY2(index >= 0, qPrintable(item));
    box->setCurrentIndex(index);
}

// The day numbers of the grid as one string, empty cells as dots: easy to read in a failure.
QString dayNumbers(QWidget &w)
{
    QStringList days;
    for (int i = 0; i < frm_date::DayCells; ++i)
        days << (dayLabel(w, i)->text().isEmpty() ? u"."_s : dayLabel(w, i)->text());
    return days.join(u' ');
}

QString monthGrid(int firstCell, int days)
{
    QStringList cells;
    for (int i = 0; i < frm_date::DayCells; ++i)
        cells << (i >= firstCell && i < firstCell + days ? QString::number(i - firstCell + 1) : u"."_s);
    return cells.join(u' ');
}

QList<int> sunkenCells(QWidget &w)
{
    QList<int> sunken;
    for (int i = 0; i < frm_date::GridCells; ++i) {
        if (cell(w, i)->isSunken())
            sunken << i;
    }
    return sunken;
}

QPoint freeSpot(QWidget *cellWidget) { return QPoint(cellWidget->width() - 6, cellWidget->height() - 6); }

int pixelsWhere(const QImage &image, QRect band, const std::function<bool(QColor)> &test)
{
    int count = 0;
    band &= image.rect();
    for (int y = band.top(); y <= band.bottom(); ++y)
        for (int x = band.left(); x <= band.right(); ++x)
            count += test(image.pixelColor(x, y)) ? 1 : 0;
    return count;
}

bool isRed(QColor c) { return c.red() > 180 && c.green() < 110 && c.blue() < 110; }
bool isGreen(QColor c) { return c.green() - c.red() > 50 && c.green() - c.blue() > 50; }

} // namespace

class tst_calendar_frm_date : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void opensOnTheShownMonth();
    void yearListHoldsShownAndCurrentYear_data();
    void yearListHoldsShownAndCurrentYear();
    void listsRedrawTheGrid();
    void resizeRedrawsTheThings();
    void printedLinesReachThePixels();
    void pickMovesTheMainWindow_data();
    void pickMovesTheMainWindow();
    void browsingAndClosingChangesNothing();
    void clickWithoutADayDoesNothing_data();
    void clickWithoutADayDoesNothing();
    void returnToThisMonth_data();
    void returnToThisMonth();
    void resizeKeepsTheMinimum_data();
    void resizeKeepsTheMinimum();
    void hoverBorderFollowsThePointer();
    void monthHeadingFitsEveryMonth();

private:
    DayTable table;
    QDate shown;
    FakeClock clock{QDateTime(QDate(2013, 5, 17), QTime(9, 30))};
};

void tst_calendar_frm_date::init()
{
    table.clear();
    shown = QDate(2013, 5, 17);
    clock.set(QDateTime(QDate(2013, 5, 17), QTime(9, 30)));
}

void tst_calendar_frm_date::opensOnTheShownMonth()
{
    addThing(table, QDate(2013, 5, 17), 2, u"写周报"_s, false);
    FakeHost host(shown);
    frm_date w(table, clock, host);

    QCOMPARE(list(w, u"cbo_Year"_s)->count(), 41);
    QCOMPARE(list(w, u"cbo_Year"_s)->itemText(0), u"2010年"_s);
    QCOMPARE(list(w, u"cbo_Year"_s)->itemText(40), u"2050年"_s);
    QCOMPARE(list(w, u"cbo_Year"_s)->currentText(), u"2013年"_s);
    QCOMPARE(list(w, u"cbo_Month"_s)->currentText(), u"5月"_s);
    QCOMPARE(caption(w, u"lbl_year"_s), u"2013年"_s);
    QCOMPARE(caption(w, u"lbl_month"_s), u"5月"_s);
    QCOMPARE(dayNumbers(w), monthGrid(2, 31));
    QCOMPARE(cell(w, 18)->lines().size(), size_t(1));
    QCOMPARE(cell(w, 18)->lines()[0].text, u"2 写周报"_s);
    QVERIFY(host.calls.isEmpty());

    // A screen reader hears the date and the day's things; empty cells say nothing.
    QAccessibleInterface *day17 = QAccessible::queryAccessibleInterface(cell(w, 18));
    QCOMPARE(day17->text(QAccessible::Name), QLocale().toString(QDate(2013, 5, 17), QLocale::LongFormat));
    QCOMPARE(day17->text(QAccessible::Description), u"2 写周报"_s);
    QCOMPARE(QAccessible::queryAccessibleInterface(cell(w, 0))->text(QAccessible::Name), QString());
}

void tst_calendar_frm_date::yearListHoldsShownAndCurrentYear_data()
{
    QTest::addColumn<QDate>("shown");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QString>("firstItem");
    QTest::addColumn<QString>("lastItem");
    QTest::addColumn<int>("items");
    QTest::addColumn<int>("firstCell");

    QTest::newRow("1999 joins the run of years") << QDate(1999, 3, 5) << QDate(2013, 5, 17) << u"1999年"_s << u"2050年"_s << 52 << 0;
    QTest::newRow("9999 is added alone") << QDate(9999, 12, 31) << QDate(2013, 5, 17) << u"2010年"_s << u"9999年"_s << 42 << 2;
    QTest::newRow("year 100 is added alone") << QDate(100, 1, 1) << QDate(2013, 5, 17) << u"100年"_s << u"2050年"_s << 42 << 4;
    QTest::newRow("a current year after 2050 joins") << QDate(2013, 5, 17) << QDate(2061, 1, 1) << u"2010年"_s << u"2061年"_s << 52 << 2;
}

void tst_calendar_frm_date::yearListHoldsShownAndCurrentYear()
{
    QFETCH(QDate, shown);
    QFETCH(QDate, today);
    QFETCH(QString, firstItem);
    QFETCH(QString, lastItem);
    QFETCH(int, items);
    QFETCH(int, firstCell);

    shown = shown;
    clock.set(QDateTime(today, QTime(12, 0)));
    FakeHost host(shown);
    frm_date w(table, clock, host);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    QComboBox *years = list(w, u"cbo_Year"_s);
    QCOMPARE(years->count(), items);
    QCOMPARE(years->itemText(0), firstItem);
    QCOMPARE(years->itemText(items - 1), lastItem);
    for (int i = 1; i < items; ++i)
        QVERIFY(years->itemText(i - 1).chopped(1).toInt() < years->itemText(i).chopped(1).toInt());
    QVERIFY(years->findText(QString::number(today.year()) + u'年') >= 0);
    QCOMPARE(years->currentText(), QString::number(shown.year()) + u'年');
    QCOMPARE(caption(w, u"lbl_year"_s), years->currentText());
    QCOMPARE(dayLabel(w, firstCell)->text(), u"1"_s);

    QTest::mouseClick(cell(w, firstCell), Qt::LeftButton, {}, freeSpot(cell(w, firstCell)));
    QCOMPARE(host.calls.value(0), u"goToDay "_s + QDate(shown.year(), shown.month(), 1).toString(Qt::ISODate) + u" hidden"_s);
}

// 2012 stays selected while the month changes, then the year changes under February.
void tst_calendar_frm_date::listsRedrawTheGrid()
{
    shown = QDate(2012, 7, 4);
    FakeHost host(shown);
    frm_date w(table, clock, host);

    choose(w, u"cbo_Month"_s, u"2月"_s);
    QCOMPARE(dayNumbers(w), monthGrid(2, 29));
    QCOMPARE(caption(w, u"lbl_month"_s), u"2月"_s);
    QCOMPARE(caption(w, u"lbl_year"_s), u"2012年"_s);

    choose(w, u"cbo_Year"_s, u"2013年"_s);
    QCOMPARE(dayNumbers(w), monthGrid(4, 28));
    QCOMPARE(caption(w, u"lbl_month"_s), u"2月"_s);
    QCOMPARE(caption(w, u"lbl_year"_s), u"2013年"_s);

    QCOMPARE(shown, QDate(2012, 7, 4));
    QVERIFY(host.calls.isEmpty());
}

// Lines come from the table at every redraw, with the colours of the day it is drawn on.
void tst_calendar_frm_date::resizeRedrawsTheThings()
{
    addThing(table, QDate(2013, 5, 17), 1, u"old"_s, false);
    FakeHost host(shown);
    frm_date w(table, clock, host);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    addThing(table, QDate(2013, 5, 17), 4, u"new"_s, false);
    clock.set(QDateTime(QDate(2013, 5, 18), QTime(0, 0, 1)));
    w.resize(w.width() + 40, w.height() + 20);
    QTRY_COMPARE(cell(w, 18)->lines().size(), size_t(2));
    QCOMPARE(cell(w, 18)->lines()[1].text, u"4 new"_s);
    QCOMPARE(cell(w, 18)->lines()[0].colour, QColor(0, 128, 0)); // yesterday's now
}

void tst_calendar_frm_date::printedLinesReachThePixels()
{
    addThing(table, QDate(2013, 5, 17), 1, u"买菜买菜"_s, true);
    addThing(table, QDate(2013, 5, 17), 2, u"写周报写周报"_s, false);
    FakeHost host(shown);
    frm_date w(table, clock, host);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    // The middle of each line's glyphs; the font's ascent lets a line reach into the next band.
    const QRect firstLine(48, 6, 60, 8);
    const QRect secondLine(48, 20, 60, 8);
    for (const bool sunken : {false, true}) {
        w.pic_calendar_MouseMove(sunken ? 18 : -1);
        QCOMPARE(cell(w, 18)->isSunken(), sunken);
        const QImage image = cell(w, 18)->grab().toImage();
        QVERIFY2(pixelsWhere(image, firstLine, isGreen) > 5, sunken ? "sunken" : "flat");
        QCOMPARE(pixelsWhere(image, firstLine, isRed), 0);
        QVERIFY(pixelsWhere(image, secondLine, isRed) > 5);
        QCOMPARE(pixelsWhere(image, secondLine, isGreen), 0);
    }
    const QImage emptyDay = cell(w, 19)->grab().toImage();
    QCOMPARE(pixelsWhere(emptyDay, emptyDay.rect(), [](QColor c) { return isRed(c) || isGreen(c); }), 0);
}

void tst_calendar_frm_date::pickMovesTheMainWindow_data()
{
    QTest::addColumn<QString>("year");  // browsed to first, when not empty
    QTest::addColumn<QString>("month");
    QTest::addColumn<QString>("target"); // the child clicked
    QTest::addColumn<QDate>("picked");

    QTest::newRow("today's cell") << QString() << QString() << u"pic_calendar_18"_s << QDate(2013, 5, 17);
    QTest::newRow("another day's cell") << QString() << QString() << u"pic_calendar_22"_s << QDate(2013, 5, 21);
    QTest::newRow("a day number counts as its cell") << QString() << QString() << u"lbl_day_22"_s << QDate(2013, 5, 21);
    QTest::newRow("a day of a browsed month") << u"2011年"_s << u"5月"_s << u"pic_calendar_36"_s << QDate(2011, 5, 31);
    QTest::newRow("today after browsing away and back") << u"2012年"_s << u"5月"_s << u"pic_calendar_17"_s << QDate(2012, 5, 17);
}

void tst_calendar_frm_date::pickMovesTheMainWindow()
{
    QFETCH(QString, year);
    QFETCH(QString, month);
    QFETCH(QString, target);
    QFETCH(QDate, picked);

    shown = QDate(2013, 5, 3);
    FakeHost host(shown);
    QPointer<frm_date> w = frm_date::open(table, clock, host);
    const auto cleanup = qScopeGuard([&] { delete w.data(); });
    host.calendar = w;
    QVERIFY(QTest::qWaitForWindowExposed(w));
    if (!year.isEmpty()) {
        choose(*w, u"cbo_Year"_s, year);
        choose(*w, u"cbo_Month"_s, month);
    }

    QWidget *clicked = child<QWidget>(*w, target);
    QTest::mouseClick(clicked, Qt::LeftButton, {}, target.startsWith(u"lbl"_s) ? clicked->rect().center() : freeSpot(clicked));

    const QStringList expected{u"goToDay "_s + picked.toString(Qt::ISODate) + u" hidden"_s, u"showMainWindow hidden"_s};
    QCOMPARE(host.calls, expected);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(w.isNull());
}

void tst_calendar_frm_date::browsingAndClosingChangesNothing()
{
    addThing(table, QDate(2011, 2, 3), 1, u"a"_s, false);
    FakeHost host(shown);
    QPointer<frm_date> w = frm_date::open(table, clock, host);
    const auto cleanup = qScopeGuard([&] { delete w.data(); });
    QCOMPARE(w->windowModality(), Qt::ApplicationModal);
    QVERIFY(QTest::qWaitForWindowExposed(w));

    choose(*w, u"cbo_Year"_s, u"2011年"_s);
    choose(*w, u"cbo_Month"_s, u"2月"_s);
    QVERIFY(w->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QVERIFY(w.isNull());
    QVERIFY(host.calls.isEmpty());
    QCOMPARE(shown, QDate(2013, 5, 17));
    QCOMPARE(table.DayCount(), 1);
}

void tst_calendar_frm_date::clickWithoutADayDoesNothing_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("cell before the 1st") << u"pic_calendar_1"_s;
    QTest::newRow("its empty day number") << u"lbl_day_1"_s;
    QTest::newRow("cell after the 31st") << u"pic_calendar_33"_s;
    QTest::newRow("last row") << u"pic_calendar_41"_s;
    QTest::newRow("header cell of 星期三") << u"pic_calendar_44"_s;
    QTest::newRow("caption 星期三") << u"lbl_week_44"_s;
}

void tst_calendar_frm_date::clickWithoutADayDoesNothing()
{
    QFETCH(QString, target);
    FakeHost host(shown);
    frm_date w(table, clock, host);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    QWidget *clicked = child<QWidget>(w, target);
    QTest::mouseClick(clicked, Qt::LeftButton, {}, QPoint(2, 2));
    QVERIFY(host.calls.isEmpty());
    QVERIFY(w.isVisible());
    QCOMPARE(shown, QDate(2013, 5, 17));
}

void tst_calendar_frm_date::returnToThisMonth_data()
{
    QTest::addColumn<QDate>("shown");
    QTest::addColumn<QString>("browsedYear");
    QTest::addColumn<QString>("browsedMonth");

    QTest::newRow("from another month") << QDate(2012, 12, 25) << u"2011年"_s << u"2月"_s;
    QTest::newRow("from another month, same number") << QDate(2012, 5, 1) << u"2012年"_s << u"5月"_s;
    QTest::newRow("while already on it") << QDate(2013, 5, 3) << u"2013年"_s << u"5月"_s;
}

void tst_calendar_frm_date::returnToThisMonth()
{
    QFETCH(QDate, shown);
    QFETCH(QString, browsedYear);
    QFETCH(QString, browsedMonth);

    shown = shown;
    addThing(table, QDate(2013, 5, 17), 1, u"今天"_s, false);
    FakeHost host(shown);
    frm_date w(table, clock, host);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    choose(w, u"cbo_Year"_s, browsedYear);
    choose(w, u"cbo_Month"_s, browsedMonth);

    QTest::mouseClick(child<QWidget>(w, u"lbl_returnThisMonth"_s), Qt::LeftButton);
    QCOMPARE(list(w, u"cbo_Year"_s)->currentText(), u"2013年"_s);
    QCOMPARE(list(w, u"cbo_Month"_s)->currentText(), u"5月"_s);
    QCOMPARE(caption(w, u"lbl_year"_s), u"2013年"_s);
    QCOMPARE(caption(w, u"lbl_month"_s), u"5月"_s);
    QCOMPARE(dayNumbers(w), monthGrid(2, 31));
    QCOMPARE(cell(w, 18)->lines().size(), size_t(1));
    QCOMPARE(shown, shown);
    QVERIFY(host.calls.isEmpty());
}

void tst_calendar_frm_date::resizeKeepsTheMinimum_data()
{
    QTest::addColumn<QSize>("asked");
    QTest::addColumn<QSize>("kept");

    QTest::newRow("too narrow") << QSize(300, 600) << QSize(560, 600);
    QTest::newRow("too low") << QSize(900, 200) << QSize(900, 447);
    QTest::newRow("both") << QSize(100, 100) << QSize(560, 447);
    QTest::newRow("exactly the minimum") << QSize(560, 447) << QSize(560, 447);
    QTest::newRow("large") << QSize(1201, 777) << QSize(1201, 777);
}

// The window manager may ignore the minimum size hint; the window snaps back by itself then.
void tst_calendar_frm_date::resizeKeepsTheMinimum()
{
    QFETCH(QSize, asked);
    QFETCH(QSize, kept);

    FakeHost host(shown);
    frm_date w(table, clock, host);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    // The rule is on the outer size; the offscreen platform draws a frame too.
    const QSize frame = w.frameGeometry().size() - w.size();
    w.setMinimumSize(0, 0);
    w.resize(asked - frame);
    QTRY_COMPARE(w.frameGeometry().size(), kept);

    // The grid keeps its margins: 7 px right of the last column, 6 px below the last row.
    const QRect last = cell(w, 41)->geometry();
    QVERIFY2(qAbs(last.right() + 1 - (w.width() - 7)) <= 1, qPrintable(QString::number(last.right())));
    QVERIFY2(qAbs(last.bottom() + 1 - (w.height() - 6)) <= 1, qPrintable(QString::number(last.bottom())));
    QCOMPARE(cell(w, 48)->geometry().left(), cell(w, 41)->geometry().left());
    QCOMPARE(dayNumbers(w), monthGrid(2, 31));
}

void tst_calendar_frm_date::hoverBorderFollowsThePointer()
{
    FakeHost host(shown);
    frm_date w(table, clock, host);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.size(), QSize(867, 477));
    // The design's grid: 74 px rows on a 73 px step, columns about 107.6 px on a 105.6 px step.
    QCOMPARE(cell(w, 0)->geometry(), QRect(120, 32, 108, 74));
    QCOMPARE(cell(w, 8)->geometry().topLeft(), QPoint(226, 105));
    QCOMPARE(cell(w, 42)->geometry(), QRect(120, 8, 108, 25));

    const auto moveTo = [&](QWidget *target, QPoint at) {
        QTest::mouseMove(target, at);
        QCoreApplication::processEvents();
    };
    moveTo(cell(w, 10), freeSpot(cell(w, 10)));
    QCOMPARE(sunkenCells(w), QList<int>{10});
    moveTo(cell(w, 11), freeSpot(cell(w, 11)));
    QCOMPARE(sunkenCells(w), QList<int>{11});
    moveTo(dayLabel(w, 12), QPoint(2, 2)); // a day number raises nothing
    QCOMPARE(sunkenCells(w), QList<int>{11});
    moveTo(cell(w, 45), QPoint(3, 3)); // headers never sink, and take it away from the days
    QCOMPARE(sunkenCells(w), QList<int>{});

    moveTo(cell(w, 30), freeSpot(cell(w, 30)));
    QCOMPARE(sunkenCells(w), QList<int>{30});
    moveTo(&w, QPoint(60, 300)); // the free space of the left panel
    QCOMPARE(sunkenCells(w), QList<int>{});
    moveTo(cell(w, 30), freeSpot(cell(w, 30)));
    moveTo(&w, QPoint(w.width() - 2, w.height() - 2)); // the margin
    QCOMPARE(sunkenCells(w), QList<int>{});
}

// The large month heading stays in its column left of the grid, whole, for every month, at the
// smallest size the window takes.
void tst_calendar_frm_date::monthHeadingFitsEveryMonth()
{
    FakeHost host(shown);
    frm_date w(table, clock, host);
    w.show();
    w.resize(1, 1); // the window keeps its minimum
    QCoreApplication::processEvents();
    auto *heading = child<QLabel>(w, u"lbl_month"_s);
    const int gridLeft = cell(w, 0)->geometry().left();
    for (int month = 1; month <= 12; ++month) {
        choose(w, u"cbo_Month"_s, u"%1月"_s.arg(month));
        QCOMPARE(heading->text(), u"%1月"_s.arg(month));
        const int textWidth = heading->fontMetrics().horizontalAdvance(heading->text());
        QVERIFY2(textWidth <= heading->width(), qPrintable(heading->text()));
        QVERIFY(heading->geometry().right() < gridLeft);
    }
}

QTEST_MAIN(tst_calendar_frm_date)
#include "tst_calendar_frm_date.moc"
