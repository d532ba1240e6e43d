#include "clockhand.h"
#include "fakeclock.h"
#include "frm_clock.h"

#include <QFrame>
#include <QLabel>
#include <QLocale>
#include <QTest>

#include <functional>

namespace {

QDateTime at(int h, int m, int s)
{
    return QDateTime(QDate(2013, 5, 17), QTime(h, m, s));
}

QString readout(const frm_clock &clock)
{
    return clock.findChild<QLabel *>(QStringLiteral("lbl_time"))->text();
}

// Gives one time for the first reading and another for every later one.
class TurningClock final : public TimeSource
{
public:
    TurningClock(QDateTime first, QDateTime later) : m_first(std::move(first)), m_later(std::move(later)) {}
    QDateTime now() const override { return m_readings++ == 0 ? m_first : m_later; }

private:
    QDateTime m_first;
    QDateTime m_later;
    mutable int m_readings = 0;
};

} // namespace

class tst_frm_clock : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void opensOnTheCurrentTime_data();
    void opensOnTheCurrentTime();
    void tickMovesOnlyChangedHands_data();
    void tickMovesOnlyChangedHands();
    void secondTurningDuringLoad();
    void timerDrivesTheTicks();
    void secondHandIsRedOnTop();
    void readoutFitsThePanel_data();
    void readoutFitsThePanel();
};

void tst_frm_clock::init()
{
    QLocale::setDefault(QLocale::c());
}

void tst_frm_clock::opensOnTheCurrentTime_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("text");

    QTest::newRow("midnight, all hands up") << at(0, 0, 0) << QStringLiteral("00:00:00");
    QTest::newRow("noon, all hands up") << at(12, 0, 0) << QStringLiteral("12:00:00");
    QTest::newRow("23:59:59, hour hand still at eleven") << at(23, 59, 59) << QStringLiteral("23:59:59");
    QTest::newRow("13:07:42") << at(13, 7, 42) << QStringLiteral("13:07:42");
}

void tst_frm_clock::opensOnTheCurrentTime()
{
    QFETCH(QDateTime, now);
    QFETCH(QString, text);

    const FakeClock time(now);
    frm_clock clock(time);

    QCOMPARE(readout(clock), text);
    QCOMPARE(clock.secondHand(), clockhand::line(clockhand::Second, now.time().second()));
    QCOMPARE(clock.minuteHand(), clockhand::line(clockhand::Minute, now.time().minute()));
    QCOMPARE(clock.hourHand(), clockhand::line(clockhand::Hour, now.time().hour()));
}

void tst_frm_clock::tickMovesOnlyChangedHands_data()
{
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<QDateTime>("next");
    QTest::addColumn<QString>("text");

    QTest::newRow("within a minute") << at(9, 30, 10) << at(9, 30, 11) << QStringLiteral("09:30:11");
    QTest::newRow("late tick skips a second") << at(9, 30, 10) << at(9, 30, 12) << QStringLiteral("09:30:12");
    QTest::newRow("late tick across a minute") << at(9, 30, 59) << at(9, 31, 2) << QStringLiteral("09:31:02");
    QTest::newRow("hour change") << at(9, 59, 59) << at(10, 0, 0) << QStringLiteral("10:00:00");
    QTest::newRow("midnight turns the hour hand to twelve")
        << at(23, 59, 59) << QDateTime(QDate(2013, 5, 18), QTime(0, 0, 0)) << QStringLiteral("00:00:00");
    QTest::newRow("time set back, same second") << at(9, 30, 10) << at(7, 12, 10) << QStringLiteral("07:12:10");
    QTest::newRow("time set forward, same minute") << at(9, 30, 10) << at(15, 30, 40) << QStringLiteral("15:30:40");
}

void tst_frm_clock::tickMovesOnlyChangedHands()
{
    QFETCH(QDateTime, start);
    QFETCH(QDateTime, next);
    QFETCH(QString, text);

    FakeClock time(start);
    frm_clock clock(time);
    const QLineF second = clock.secondHand();
    const QLineF minute = clock.minuteHand();
    const QLineF hour = clock.hourHand();

    time.set(next);
    clock.Timer1_Timer();

    QCOMPARE(readout(clock), text);
    const QTime t = next.time();
    QCOMPARE(clock.secondHand(), clockhand::line(clockhand::Second, t.second()));
    QCOMPARE(clock.minuteHand(), clockhand::line(clockhand::Minute, t.minute()));
    QCOMPARE(clock.hourHand(), clockhand::line(clockhand::Hour, t.hour()));
    QCOMPARE(clock.secondHand() == second, t.second() == start.time().second());
    QCOMPARE(clock.minuteHand() == minute, t.minute() == start.time().minute());
    QCOMPARE(clock.hourHand() == hour, t.hour() % 12 == start.time().hour() % 12);
}

void tst_frm_clock::secondTurningDuringLoad()
{
    // The load remembers second 0 but every later reading is second 1: the hand must not stay
    // behind, and the readout shows the same second.
    const TurningClock time(at(9, 30, 0), at(9, 30, 1));
    frm_clock clock(time);

    QCOMPARE(clock.secondHand(), clockhand::line(clockhand::Second, 1));
    QCOMPARE(readout(clock), QStringLiteral("09:30:01"));
}

void tst_frm_clock::timerDrivesTheTicks()
{
    FakeClock time(at(9, 30, 10));
    frm_clock clock(time);

    time.set(at(9, 31, 25));
    QTRY_COMPARE_WITH_TIMEOUT(readout(clock), QStringLiteral("09:31:25"), 3000);
    QCOMPARE(clock.secondHand(), clockhand::line(clockhand::Second, 25));
    QCOMPARE(clock.minuteHand(), clockhand::line(clockhand::Minute, 31));
}

void tst_frm_clock::secondHandIsRedOnTop()
{
    // At 3:15:15 all three hands point right and overlap; the second hand is drawn last.
    const FakeClock time(at(3, 15, 15));
    frm_clock clock(time);
    const QImage image = clock.grab().toImage();

    const QPoint overlap(qRound(450 * 4.0 / 3), qRound(258 * 4.0 / 3)); // (450, 258) points
    QCOMPARE(image.pixelColor(overlap), QColor(Qt::red));
    const QPoint pastTheOthers(qRound(570 * 4.0 / 3), qRound(258 * 4.0 / 3));
    QCOMPARE(image.pixelColor(pastTheOthers), QColor(Qt::red));
    const QPoint above(qRound(450 * 4.0 / 3), qRound(240 * 4.0 / 3));
    QCOMPARE(image.pixelColor(above), QColor(Qt::white));
}

void tst_frm_clock::readoutFitsThePanel_data()
{
    QTest::addColumn<QLocale>("locale");

    QTest::newRow("C") << QLocale::c();
    QTest::newRow("zh_CN") << QLocale(QLocale::Chinese, QLocale::China);
    QTest::newRow("en_US, with AM/PM") << QLocale(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("ko_KR, with words") << QLocale(QLocale::Korean, QLocale::SouthKorea);
}

void tst_frm_clock::readoutFitsThePanel()
{
    QFETCH(QLocale, locale);
    QLocale::setDefault(locale);

    const FakeClock time(at(23, 58, 58));
    frm_clock clock(time);
    const auto *label = clock.findChild<QLabel *>(QStringLiteral("lbl_time"));
    const auto *panel = clock.findChild<QFrame *>(QStringLiteral("Picture1"));

    QVERIFY(readout(clock).contains(locale.toString(58)));
    QVERIFY(!readout(clock).contains(QLatin1String("UTC")));
    QVERIFY(panel->contentsRect().contains(label->geometry()));
    QVERIFY2(label->fontMetrics().horizontalAdvance(readout(clock)) <= label->width(), qPrintable(readout(clock)));
    QVERIFY(label->fontMetrics().height() <= label->height());
}

QTEST_MAIN(tst_frm_clock)
#include "tst_frm_clock.moc"
