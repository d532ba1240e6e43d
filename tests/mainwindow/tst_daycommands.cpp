#include "mainwindowfixture.h"

#include <QMenuBar>

using namespace slotimage;

class tst_DayCommands : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }

    void menuBarShowsEditAndAbout();
    void answeringNoChangesNothing_data();
    void answeringNoChangesNothing();
    void copyingYesterdayMovesToTodayWithTextsNotDone();
    void copyingKeepsTheShownDaysEdits();
    void copyingAnEmptyDayEmptiesTheNextDay();
    void clearingANeverSavedDayCreatesFiveEmptyRecords();
    void manualSaveWritesTheShownDay();
    void aboutOpensTheSameHiddenWindowAgain();
    void clockButtonOpensOneClock();
    void plusButtonPopsUpTheEditMenu();

private:
    static void trigger(MainWindowFixture &f, const char *action)
    {
        f.window.findChild<QAction *>(QString::fromLatin1(action))->trigger();
    }
};

void tst_DayCommands::menuBarShowsEditAndAbout()
{
    MainWindowFixture f;
    QStringList shown, all;
    for (QAction *a : f.window.menuBar()->actions()) {
        all << a->text();
        if (a->isVisible())
            shown << a->text();
    }
    QCOMPARE(shown, (QStringList{"编辑", "关于"}));
    QCOMPARE(all, (QStringList{"编辑", "分享", "看看别人", "帮助", "更多功能", "关于"}));
    QStringList items;
    for (QAction *a : f.window.findChild<QMenu *>(QStringLiteral("menu_edit"))->actions())
        items << a->text();
    QCOMPARE(items, (QStringList{"复制到次日", "清空全天", "手动保存（退出时会自动保存）"}));
}

void tst_DayCommands::answeringNoChangesNothing_data()
{
    QTest::addColumn<QByteArray>("action");
    QTest::addColumn<QString>("question");
    QTest::newRow("copy") << QByteArray("menu_copytonextday")
                          << QStringLiteral("本日数据将复制到次日，次日的全部数据将被清空！");
    QTest::newRow("clear") << QByteArray("menu_clearthisday") << QStringLiteral("当天的全部数据将被清空！");
}

void tst_DayCommands::answeringNoChangesNothing()
{
    QFETCH(QByteArray, action);
    QFETCH(QString, question);
    MainWindowFixture f;
    QTest::keyClicks(f.box(0), QStringLiteral("keep"));
    f.clickMark(0);
    f.prompts.answerYes = false;
    trigger(f, action.constData());
    QCOMPARE(f.prompts.asked, QStringList{question});
    QCOMPARE(f.pub.ShownDate, QDate(2013, 5, 17));
    QCOMPARE(f.texts()[0], QStringLiteral("keep"));
    QCOMPARE(f.tags()[0], QStringLiteral("True"));
    QVERIFY(f.window.isDirty());
    QCOMPARE(f.file().size(), 0);
}

void tst_DayCommands::copyingYesterdayMovesToTodayWithTextsNotDone()
{
    MainWindowFixture f;
    f.click("cmd_lastday");
    QTest::keyClicks(f.box(0), QStringLiteral("a"));
    QTest::keyClicks(f.box(2), QStringLiteral("c"));
    f.clickMark(0);
    f.clickMark(1);
    trigger(f, "menu_copytonextday");

    QCOMPARE(f.pub.ShownDate, QDate(2013, 5, 17));
    QCOMPARE(f.caption(), QStringLiteral("今天：2013/5/17"));
    QCOMPARE(f.texts(), (QStringList{"a", "", "c", "", ""}));
    QCOMPARE(f.tags(), QStringList(5, QStringLiteral("False")));
    QVERIFY(!f.window.isDirty());
    const QByteArray bytes = f.file();
    QCOMPARE(bytes.size(), 2000);
    QCOMPARE(bytes.mid(1000, 200).toHex(), slot(0, 1, "a", false, Day41411).toHex());
    QCOMPARE(bytes.mid(1200, 200).toHex(), slot(0, 2, "", false, Day41411).toHex());
    QCOMPARE(bytes.mid(1400, 200).toHex(), slot(0, 3, "c", false, Day41411).toHex());
}

void tst_DayCommands::copyingKeepsTheShownDaysEdits()
{
    MainWindowFixture f;
    QTest::keyClicks(f.box(0), QStringLiteral("today"));
    f.clickMark(0);
    trigger(f, "menu_copytonextday");
    QCOMPARE(f.pub.ShownDate, QDate(2013, 5, 18));
    QCOMPARE(f.caption(), QStringLiteral("日期：2013/5/18"));
    QCOMPARE(f.file().left(200).toHex(), slot(0, 1, "today", true, Day41411).toHex());
    QCOMPARE(f.file().mid(1000, 200).toHex(), slot(0, 1, "today", false, Day41412).toHex());
}

void tst_DayCommands::copyingAnEmptyDayEmptiesTheNextDay()
{
    QByteArray file;
    for (int no = 1; no <= 5; ++no)
        file += slot(0, no, "tomorrow", true, Day41412);
    MainWindowFixture f(QDateTime(QDate(2013, 5, 17), QTime(9, 0)), &file);
    trigger(f, "menu_copytonextday");
    QByteArray expected;
    for (int no = 1; no <= 5; ++no)
        expected += slot(0, no, "", false, Day41412);
    QCOMPARE(f.file().toHex(), expected.toHex()); // 17 May was empty and untouched: no records
}

void tst_DayCommands::clearingANeverSavedDayCreatesFiveEmptyRecords()
{
    MainWindowFixture f;
    QTest::keyClicks(f.box(3), QStringLiteral("gone"));
    trigger(f, "menu_clearthisday");
    QCOMPARE(f.texts(), QStringList(5, QString()));
    QCOMPARE(f.pub.ShownDate, QDate(2013, 5, 17));
    QByteArray expected;
    for (int no = 1; no <= 5; ++no)
        expected += slot(0, no, "", false, Day41411);
    QCOMPARE(f.file().toHex(), expected.toHex());
    f.click("cmd_nextday"); // nothing new to write for the cleared day
    QCOMPARE(f.file().toHex(), expected.toHex());
}

void tst_DayCommands::manualSaveWritesTheShownDay()
{
    MainWindowFixture f;
    QTest::keyClicks(f.box(0), QStringLiteral("saved"));
    trigger(f, "menu_save");
    QVERIFY(!f.window.isDirty());
    QCOMPARE(f.file().left(200).toHex(), slot(0, 1, "saved", false, Day41411).toHex());
}

void tst_DayCommands::aboutOpensTheSameHiddenWindowAgain()
{
    MainWindowFixture f;
    trigger(f, "menu_about");
    auto *about = qobject_cast<QDialog *>(QApplication::activeModalWidget());
    QVERIFY(about);
    QCOMPARE(about->windowTitle(), QStringLiteral("关于Tallyleaf V0.01"));
    QTest::mouseClick(about->findChild<QPushButton *>(QStringLiteral("cmd_close")), Qt::LeftButton);
    QVERIFY(!about->isVisible());
    trigger(f, "menu_about");
    QCOMPARE(QApplication::activeModalWidget(), about);
    about->hide();
}

void tst_DayCommands::clockButtonOpensOneClock()
{
    MainWindowFixture f;
    f.button("Command3")->click();
    f.button("Command3")->click();
    QList<QPointer<QWidget>> clocks;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->windowTitle() == QStringLiteral("Form1") && w->isVisible())
            clocks << w;
    }
    QCOMPARE(clocks.size(), 1);
    f.window.close(); // the clock goes with the main window
    QVERIFY(!clocks[0] || !clocks[0]->isVisible());
}

void tst_DayCommands::plusButtonPopsUpTheEditMenu()
{
    MainWindowFixture f;
    auto *menu = f.window.findChild<QMenu *>(QStringLiteral("menu_edit"));
    QVERIFY(!menu->isVisible());
    f.button("cmd_edit")->click();
    QVERIFY(menu->isVisible());
    menu->hide();
}

QTEST_MAIN(tst_DayCommands)
#include "tst_daycommands.moc"
