#include "clockhand.h"
#include "readoutformat.h"

#include <QTest>

class tst_ClockHand : public QObject
{
    Q_OBJECT

private slots:
    void line_data();
    void line();
    void timeFormatWithoutZone_data();
    void timeFormatWithoutZone();
};

void tst_ClockHand::line_data()
{
    QTest::addColumn<char>("hand");
    QTest::addColumn<int>("n");
    QTest::addColumn<QPointF>("tip");
    QTest::addColumn<QPointF>("tail");

    QTest::newRow("second 0 points up") << 's' << 0 << QPointF(402, 78) << QPointF(402, 278);
    QTest::newRow("second 15 points right") << 's' << 15 << QPointF(582, 258) << QPointF(382, 258);
    QTest::newRow("second 30 points down") << 's' << 30 << QPointF(402, 438) << QPointF(402, 238);
    QTest::newRow("second 45 points left") << 's' << 45 << QPointF(222, 258) << QPointF(422, 258);
    QTest::newRow("minute 0 points up") << 'm' << 0 << QPointF(402, 108) << QPointF(402, 268);
    QTest::newRow("minute 20 at four o'clock") << 'm' << 20 << QPointF(531.90381, 333) << QPointF(393.33975, 253);
    QTest::newRow("hour 0 points up") << 'h' << 0 << QPointF(402, 138) << QPointF(402, 268);
    QTest::newRow("hour 3 points right") << 'h' << 3 << QPointF(522, 258) << QPointF(392, 258);
    QTest::newRow("hour 12 points up like 0") << 'h' << 12 << QPointF(402, 138) << QPointF(402, 268);
    QTest::newRow("hour 13 at one o'clock") << 'h' << 13 << QPointF(462, 154.08) << QPointF(397, 266.66);
    QTest::newRow("hour 23 at eleven o'clock") << 'h' << 23 << QPointF(342, 154.08) << QPointF(407, 266.66);
}

void tst_ClockHand::line()
{
    QFETCH(char, hand);
    QFETCH(int, n);
    QFETCH(QPointF, tip);
    QFETCH(QPointF, tail);

    const clockhand::Hand &which = hand == 's' ? clockhand::Second : hand == 'm' ? clockhand::Minute : clockhand::Hour;
    const QLineF placed = clockhand::line(which, n);
    // Worked positions are given to two decimals.
    constexpr double Tolerance = 0.005;
    QVERIFY2(qAbs(placed.x1() - tip.x()) < Tolerance && qAbs(placed.y1() - tip.y()) < Tolerance,
             qPrintable(QStringLiteral("tip (%1, %2)").arg(placed.x1()).arg(placed.y1())));
    QVERIFY2(qAbs(placed.x2() - tail.x()) < Tolerance && qAbs(placed.y2() - tail.y()) < Tolerance,
             qPrintable(QStringLiteral("tail (%1, %2)").arg(placed.x2()).arg(placed.y2())));
}

void tst_ClockHand::timeFormatWithoutZone_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("expected");

    // The long formats of a few locales as Qt gives them.
    QTest::newRow("zone last (C)") << QStringLiteral("HH:mm:ss t") << QStringLiteral("HH:mm:ss");
    QTest::newRow("zone first (zh_CN)") << QStringLiteral("t HH:mm:ss") << QStringLiteral("HH:mm:ss");
    QTest::newRow("zone in brackets (zh_TW)") << QStringLiteral("Bh:mm:ss [t]") << QStringLiteral("Bh:mm:ss");
    QTest::newRow("zone in parentheses (fa_IR)") << QStringLiteral("H:mm:ss (t)") << QStringLiteral("H:mm:ss");
    QTest::newRow("keeps the day half (en_US)") << QStringLiteral("h:mm:ss AP t") << QStringLiteral("h:mm:ss AP");
    QTest::newRow("keeps quoted text (bg_BG)") << QStringLiteral("H:mm:ss 'ч'. t") << QStringLiteral("H:mm:ss 'ч'.");
    QTest::newRow("a quoted t is not the zone") << QStringLiteral("H 'at' mm:ss t") << QStringLiteral("H 'at' mm:ss");
    QTest::newRow("no zone stays as it is") << QStringLiteral("H:mm:ss") << QStringLiteral("H:mm:ss");
}

void tst_ClockHand::timeFormatWithoutZone()
{
    QFETCH(QString, format);
    QFETCH(QString, expected);
    QCOMPARE(::timeFormatWithoutZone(format), expected);
}

QTEST_APPLESS_MAIN(tst_ClockHand)
#include "tst_clockhand.moc"
