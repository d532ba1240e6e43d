#include "mainwindowfixture.h"

#include "dayfilelocation.h"
#include "filebytes.h"
#include "gbk.h"
#include "rollbackjournal.h"

#include <QSignalSpy>
#include <sys/stat.h>

using namespace slotimage;

// What only the window can show: the boxes, marks and caption on screen, the focus, the calendar
// opened over it, and closing. The rules behind them are the shown day's (tests/shownday).
class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }

    void firstStartCreatesAnEmptyFileAndShowsToday();
    void roadOfOneEdit();
    void enterWalksTheBoxesWithoutInserting();
    void aLongStoredTextShowsItsBeginning();
    void calendarButtonSavesThenPickMovesTheView();
    void refusedSaveKeepsTheCalendarAway_data();
    void refusedSaveKeepsTheCalendarAway();
    void closingOverARefusedDayKeepsTheWindow();
    void movingTheDayFile_data();
    void movingTheDayFile();
};

void tst_MainWindow::firstStartCreatesAnEmptyFileAndShowsToday()
{
    MainWindowFixture f;
    QVERIFY(QFile::exists(f.path));
    QCOMPARE(f.caption(), QStringLiteral("今天：2013/5/17"));
    QCOMPARE(f.texts(), QStringList(5, QString()));
    QCOMPARE(f.tags(), QStringList(5, QStringLiteral("False")));
    QVERIFY(!f.window.isDirty());
    QCOMPARE(f.box(0)->cursorPosition(), 0);
    QVERIFY(!f.box(0)->hasSelectedText());
    f.window.close();
    QCOMPARE(f.file().size(), 0);
}

void tst_MainWindow::roadOfOneEdit()
{
    MainWindowFixture f;
    typeText(f.box(1), QStringLiteral("写报告"));
    QVERIFY(f.window.isDirty());
    f.clickMark(1);
    QCOMPARE(f.mark(1)->tag(), QStringLiteral("True"));
    f.click("cmd_nextday");

    const QByteArray expected = slot(0, 1, "", false, Day41411)
        + slot(0, 2, *gbk::encode(QStringLiteral("写报告")), true, Day41411) + slot(0, 3, "", false, Day41411)
        + slot(0, 4, "", false, Day41411) + slot(0, 5, "", false, Day41411);
    QCOMPARE(f.file().toHex(), expected.toHex());
    QCOMPARE(f.caption(), QStringLiteral("日期：2013/5/18"));
    QCOMPARE(f.texts(), QStringList(5, QString()));
    QVERIFY(!f.window.isDirty());

    f.click("cmd_lastday");
    QCOMPARE(f.caption(), QStringLiteral("今天：2013/5/17"));
    QCOMPARE(f.texts()[1], QStringLiteral("写报告"));
    QCOMPARE(f.tags()[1], QStringLiteral("True"));
    QVERIFY(f.mark(1)->shows(f.window.findChild<QLabel *>(QStringLiteral("img_checkOK"))->pixmap()));
    QCOMPARE(f.file().size(), 1000); // 18 May was empty and untouched
}

void tst_MainWindow::enterWalksTheBoxesWithoutInserting()
{
    MainWindowFixture f;
    f.window.activateWindow();
    for (int i = 0; i < 5; ++i) {
        f.box(i)->setFocus();
        QTest::keyClicks(f.box(i), QString::number(i + 1));
        QTest::keyClick(f.box(i), Qt::Key_Return);
        QVERIFY2(f.box((i + 1) % 5)->hasFocus(), qPrintable(QStringLiteral("after box %1").arg(i + 1)));
    }
    QCOMPARE(f.texts(), (QStringList{"1", "2", "3", "4", "5"}));
}

void tst_MainWindow::calendarButtonSavesThenPickMovesTheView()
{
    QByteArray file;
    for (int no = 1; no <= 5; ++no)
        file += slot(0, no, no == 2 ? QByteArray("on the 18th") : QByteArray(), false, Day41412);
    MainWindowFixture f(QDateTime(QDate(2013, 5, 17), QTime(9, 0)), &file);
    QTest::keyClicks(f.box(0), QStringLiteral("before the calendar"));
    f.click("cmd_select");
    QCOMPARE(f.file().size(), 2000); // the shown day is stored before the calendar opens
    auto *calendar = qobject_cast<QWidget *>(QApplication::activeModalWidget());
    QVERIFY(calendar);
    QCOMPARE(calendar->windowTitle(), QStringLiteral("日期选择"));

    // May 2013 starts on a Wednesday: the 18th sits in cell 19.
    QLabel *day18 = calendar->findChild<QLabel *>(QStringLiteral("lbl_day_19"));
    QCOMPARE(day18->text(), QStringLiteral("18"));
    QPointer<QWidget> guard(calendar);
    QTest::mouseClick(day18, Qt::LeftButton);
    QCOMPARE(f.window.shownDate(), QDate(2013, 5, 18));
    QCOMPARE(f.caption(), QStringLiteral("日期：2013/5/18"));
    QCOMPARE(f.texts()[1], QStringLiteral("on the 18th"));
    QVERIFY(!guard || !guard->isVisible());
    QTRY_VERIFY(!guard);
}

void tst_MainWindow::aLongStoredTextShowsItsBeginning()
{
    QByteArray file = slot(0, 1, QByteArray(150, 'x') + "end", false, Day41411);
    MainWindowFixture f(QDateTime(QDate(2013, 5, 17), QTime(8, 0)), &file);
    QCOMPARE(f.box(0)->cursorPosition(), 0);
    QVERIFY(!f.window.isDirty());
}

void tst_MainWindow::refusedSaveKeepsTheCalendarAway_data()
{
    QTest::addColumn<QByteArray>("move");
    QTest::newRow("calendar button") << QByteArray("calendar button");
    QTest::newRow("calendar pick") << QByteArray("calendar pick");
}

// A day the day book cannot take: the calendar does not open over it, and a pick in an open
// calendar leaves the window as it was.
void tst_MainWindow::refusedSaveKeepsTheCalendarAway()
{
    QFETCH(QByteArray, move);
    MainWindowFixture f;
    QTest::keyClicks(f.box(0), QStringLiteral("kept"));
    QPointer<QWidget> calendar;
    if (move == "calendar pick") {
        f.click("cmd_select");
        calendar = QApplication::activeModalWidget();
        QVERIFY(calendar);
    }
    f.box(1)->setThingText(QStringLiteral("派对🎉"));
    const QStringList texts = f.texts();
    if (move == "calendar button")
        f.click("cmd_select");
    else
        QTest::mouseClick(calendar->findChild<QLabel *>(QStringLiteral("lbl_day_19")), Qt::LeftButton);

    QCOMPARE(f.window.shownDate(), QDate(2013, 5, 17));
    QCOMPARE(f.caption(), QStringLiteral("今天：2013/5/17"));
    QCOMPARE(f.texts(), texts);
    QVERIFY(f.window.isDirty());
    QCOMPARE(f.prompts.informed.size(), 1);
    QVERIFY(f.prompts.informed[0].contains(QStringLiteral("第2件事中的 🎉")));
    QVERIFY(move == "calendar pick" || !QApplication::activeModalWidget()); // the calendar opens only for a kept day
    QTRY_VERIFY(!calendar);
}

void tst_MainWindow::closingOverARefusedDayKeepsTheWindow()
{
    MainWindowFixture refused;
    refused.window.show();
    QTest::keyClicks(refused.box(0), QStringLiteral("x"));
    refused.box(3)->setThingText(QStringLiteral("ok 🎉"));
    refused.prompts.answerYes = false;
    QVERIFY(!refused.window.close());
    QVERIFY(refused.window.isVisible());

    // After a load that failed, the design's hint in the first box is nobody's content.
    MainWindowFixture unread(QDateTime(QDate(2013, 5, 17), QTime(9, 30)), nullptr, 1);
    QVERIFY(!unread.window.lastLoad().ok());
    QCOMPARE(unread.texts()[0], QStringLiteral("写下一件重要的事"));
    unread.window.close();
    QVERIFY(unread.prompts.retryTexts.isEmpty());
}

void tst_MainWindow::movingTheDayFile_data()
{
    QTest::addColumn<bool>("targetTaken");
    QTest::newRow("into an empty folder: moved, and the program starts again there") << false;
    QTest::newRow("into a folder with a day file: refused, the window goes on as before") << true;
}

void tst_MainWindow::movingTheDayFile()
{
    QFETCH(bool, targetTaken);
    MainWindowFixture f;
    QTemporaryDir synced, config;
    const QString newPath = synced.filePath(QStringLiteral("things.dat"));
    if (targetTaken)
        QVERIFY(writeFile(newPath, "theirs"));
    DayFileSetting setting(config.filePath(QStringLiteral("Tallyleaf.conf")));
    QStringList restarts;
    f.window.setDayFileHome({&setting, [&](const QString &) { return synced.path(); },
                             [&](const QString &path) { restarts << path; return true; }});
    QSignalSpy moved(&f.window, &frm_main::dayFileMoved);
    typeText(f.box(0), QStringLiteral("买菜")); // not saved yet

    f.window.findChild<QAction *>(QStringLiteral("menu_dayfilelocation"))->trigger();
    QVERIFY(f.prompts.asked.value(0).contains(f.path)); // shows where the diary is
    const QByteArray edit = *gbk::encode(QStringLiteral("买菜"));
    QVERIFY(readFile(targetTaken ? f.path : newPath).contains(edit)); // the shown day went first
    if (targetTaken) {
        QVERIFY(f.prompts.informed.value(0).contains(QStringLiteral("已经有一个同名的文件")));
        QCOMPARE(readFile(newPath), QByteArray("theirs"));
        QVERIFY(restarts.isEmpty() && moved.isEmpty());
        QCOMPARE(setting.read().folder, QString());
        QVERIFY(setting.read().movingTo.isEmpty());
        QVERIFY(f.window.isVisible());
        return;
    }
    QCOMPARE(restarts, QStringList{newPath});
    QCOMPARE(moved.value(0), (QVariantList{f.path, newPath}));
    QCOMPARE(setting.read().folder, synced.path());
    QVERIFY(setting.read().movingTo.isEmpty());
    QVERIFY(QFile::exists(rollbackjournal::pathFor(newPath)));
    QVERIFY(!f.window.isVisible());
    // Nothing is written at the old place any more, however the program ends.
    f.window.close();
    f.window.endSession();
    QVERIFY(!QFile::exists(f.path));
    QVERIFY(!QFile::exists(rollbackjournal::pathFor(f.path)));
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
