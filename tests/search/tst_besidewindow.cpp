#include "besidewindow.h"

#include <QTest>

// Where the search window opens: beside the main window, never over it where the screen has room.
class tst_BesideWindow : public QObject
{
    Q_OBJECT

private slots:
    void placeBeside_data();
    void placeBeside();
};

void tst_BesideWindow::placeBeside_data()
{
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QRect>("main");
    QTest::addColumn<bool>("covers");
    // The main window as it starts, centred, with its frame; the search window is 600 x 480.
    const QSize mainSize(815, 460);
    const auto centred = [&](const QRect &screen) { return QRect(screen.center() - QPoint(407, 230), mainSize); };
    const QRect wide(0, 0, 1920, 1080), small(0, 0, 1280, 800);
    QTest::newRow("1920 x 1080: to its right, a little narrower") << wide << centred(wide) << false;
    QTest::newRow("1280 x 800: no room anywhere, as little over it as can be") << small << centred(small) << true;
    QTest::newRow("1280 x 800, main window at the left: to its right") << small << QRect(QPoint(0, 100), mainSize) << false;
    QTest::newRow("1280 x 800, main window at the right: to its left") << small << QRect(QPoint(1280 - 815, 100), mainSize)
                                                                       << false;
    QTest::newRow("1280 x 800, main window at the top: below it") << small << QRect(QPoint(230, 0), mainSize) << false;
}

void tst_BesideWindow::placeBeside()
{
    QFETCH(QRect, screen);
    QFETCH(QRect, main);
    QFETCH(bool, covers);
    const QRect placed = ::placeBeside(main, QSize(600, 480), QSize(400, 300), screen);
    QVERIFY2(screen.contains(placed), qPrintable(QStringLiteral("%1,%2").arg(placed.x()).arg(placed.y())));
    QCOMPARE(placed.intersects(main), covers);
    if (covers) { // the least it can cover: along the side with the most room
        const QRect overlap = placed.intersected(main);
        QVERIFY(qint64(overlap.width()) * overlap.height() <= qint64(main.width() - (screen.right() - main.right())) * main.height());
        QVERIFY(overlap.width() < main.width() / 2);
    }
}

QTEST_APPLESS_MAIN(tst_BesideWindow)
#include "tst_besidewindow.moc"
