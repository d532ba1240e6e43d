#include "besidewindow.h"

#include <QTest>

// Where the search window opens: beside the main window, never over it where the screen has room.
class tst_BesideWindow : public QObject
{
    Q_OBJECT

private slots:
    void placeSideBySide_data();
    void placeSideBySide();
};

void tst_BesideWindow::placeSideBySide_data()
{
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QRect>("main");
    QTest::addColumn<bool>("covers");
    QTest::addColumn<bool>("mainMoves");
    // The main window as it starts, centred, with its frame; the search window is 600 x 480.
    const QSize mainSize(815, 460);
    const auto centred = [&](const QRect &screen) { return QRect(screen.center() - QPoint(407, 230), mainSize); };
    const QRect wide(0, 0, 1920, 1080), small(0, 0, 1280, 800), tiny(0, 0, 1024, 600);
    QTest::newRow("1920 x 1080: to its right") << wide << centred(wide) << false << false;
    QTest::newRow("1280 x 800: the main window steps aside") << small << centred(small) << false << true;
    QTest::newRow("1280 x 800, main window at the left: to its right") << small << QRect(QPoint(0, 100), mainSize) << false
                                                                      << false;
    QTest::newRow("1280 x 800, main window at the right: to its left")
        << small << QRect(QPoint(1280 - 815, 100), mainSize) << false << false;
    QTest::newRow("1024 x 768: the main window steps up") << QRect(0, 0, 1024, 768) << centred(QRect(0, 0, 1024, 768)) << false << true;
    QTest::newRow("1280 x 800, main window at the top: below it") << small << QRect(QPoint(230, 0), mainSize) << false
                                                                  << false;
    QTest::newRow("1024 x 600: no room for both, as little over it as can be") << tiny << centred(tiny) << true << false;
}

void tst_BesideWindow::placeSideBySide()
{
    QFETCH(QRect, screen);
    QFETCH(QRect, main);
    QFETCH(bool, covers);
    QFETCH(bool, mainMoves);
    const SideBySide both = ::placeSideBySide(main, QSize(600, 480), QSize(400, 300), screen);
    const QRect placed = both.beside;
    QVERIFY2(screen.contains(placed), qPrintable(QStringLiteral("%1,%2").arg(placed.x()).arg(placed.y())));
    QCOMPARE(both.frame != main, mainMoves);
    QCOMPARE(both.frame.size(), main.size());
    QVERIFY(screen.contains(both.frame));
    main = both.frame;
    QCOMPARE(placed.intersects(main), covers);
    if (covers) { // the least it can cover: along the side with the most room
        const QRect overlap = placed.intersected(main);
        QVERIFY(qint64(overlap.width()) * overlap.height() <= qint64(main.width() - (screen.right() - main.right())) * main.height());
    }
}

QTEST_APPLESS_MAIN(tst_BesideWindow)
#include "tst_besidewindow.moc"
