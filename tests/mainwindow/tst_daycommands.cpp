#include "mainwindowfixture.h"

#include <QDir>
#include <QMenuBar>

using namespace slotimage;

class tst_DayCommands : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }

    void menuBarShowsEditAndAbout();
    void menuItemsReachTheShownDay();
    void aReplacedFileShowsAtOnceAndItsConflictWaitsInTheMenu();
    void aboutOpensTheSameHiddenWindowAgain();
    void clockButtonOpensOneClock();
    void plusButtonPopsUpTheEditMenu();
    void aReadOnlyDayFileLocksTheView();
    void hiddenClearEmptiesOnlyTheView();
    void hiddenOpenReloadsAndSaysWhatFailed();

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
    // The items the menu always had, in their order, then search, undo, the day file's place and the
    // sync; shortcuts shown.
    f.window.attachSync({}, false); // its items only: nothing is loaded
    QStringList items;
    for (QAction *a : f.window.findChild<QMenu *>(QStringLiteral("menu_edit"))->actions()) {
        if (!a->isSeparator())
            items << a->text() + (a->shortcut().isEmpty() ? QString() : QLatin1Char('\t') + a->shortcut().toString());
    }
    QCOMPARE(items, (QStringList{"复制到次日", "清空全天", "手动保存（退出时会自动保存）\tCtrl+S", "查找\tCtrl+F",
                                 "撤销\tCtrl+Z", "两边都改过的事…", "日程文件位置…", "同步设置…", "立即同步"}));
}

// The menu's day commands are the shown day's; the window shows what comes of them.
void tst_DayCommands::menuItemsReachTheShownDay()
{
    MainWindowFixture f;
    QTest::keyClicks(f.box(0), QStringLiteral("today"));
    f.clickMark(0);
    trigger(f, "menu_save");
    QVERIFY(!f.window.isDirty());
    QCOMPARE(f.file().left(200).toHex(), slot(0, 1, "today", true, Day41411).toHex());
    trigger(f, "menu_copytonextday");
    QCOMPARE(f.caption(), QStringLiteral("日期：2013/5/18"));
    QCOMPARE(f.texts()[0], QStringLiteral("today"));
    QCOMPARE(f.tags()[0], QStringLiteral("False"));
    trigger(f, "menu_clearthisday");
    QCOMPARE(f.texts(), QStringList(5, QString()));
    QCOMPARE(f.file().mid(1000, 200).toHex(), slot(0, 1, "", false, Day41412).toHex());
    QCOMPARE(f.prompts.asked.size(), 2);
    // Ctrl+Z from a box that has nothing of its own to undo takes the clear back.
    auto *undo = f.window.findChild<QAction *>(QStringLiteral("menu_undo"));
    QVERIFY(undo->isEnabled());
    QCOMPARE(undo->text(), QStringLiteral("撤销清空全天"));
    f.window.show();
    QVERIFY(QTest::qWaitForWindowActive(&f.window));
    f.box(0)->setFocus();
    QTest::keyClick(f.box(0), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(f.texts()[0], QStringLiteral("today"));
    QCOMPARE(f.file().mid(1000, 200).toHex(), slot(0, 1, "today", false, Day41412).toHex());
    QVERIFY(!undo->isEnabled());
}

// The other computer's copy renamed over the day file while box 5 is being typed in: Ctrl+S shows
// its thing 2 at once, the caret stays where it was, and the thing both changed waits in the menu.
void tst_DayCommands::aReplacedFileShowsAtOnceAndItsConflictWaitsInTheMenu()
{
    const auto day = [](const char *one, const char *two) {
        QByteArray bytes = slot(0, 1, one, false, Day41411) + slot(0, 2, two, false, Day41411);
        for (int no = 3; no <= 5; ++no)
            bytes += slot(0, no, "", false, Day41411);
        return bytes;
    };
    const QByteArray ours = day("review", "mail");
    MainWindowFixture f(QDateTime(QDate(2013, 5, 17), QTime(9, 0)), &ours);
    f.window.show();
    QVERIFY(QTest::qWaitForWindowActive(&f.window));
    QTest::keyClick(f.box(0), Qt::Key_End);
    QTest::keyClicks(f.box(0), QStringLiteral(" mine"));
    f.box(4)->setFocus();
    QTest::keyClicks(f.box(4), QStringLiteral("call Ann"));
    f.box(4)->setCursorPosition(4);
    const QString beside = f.dir.filePath(QStringLiteral(".things.dat.tmp"));
    QFile other(beside);
    QVERIFY(other.open(QIODevice::WriteOnly) && other.write(day("review theirs", "mail Bob")) == 1000);
    other.close();
    QVERIFY(::rename(QFile::encodeName(beside).constData(), QFile::encodeName(f.path).constData()) == 0);

    f.prompts.choices = {std::nullopt}; // put off
    QTest::keyClick(f.box(4), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(f.texts(), (QStringList{"review mine", "mail Bob", "", "", "call Ann"}));
    QVERIFY(f.box(4)->hasFocus());
    QCOMPARE(f.box(4)->cursorPosition(), 4);
    QCOMPARE(f.file().mid(800, 200).toHex(), slot(0, 5, "call Ann", false, Day41411).toHex());
    auto *waiting = f.window.findChild<QAction *>(QStringLiteral("menu_conflicts"));
    QVERIFY(waiting->isVisible());
    QCOMPARE(waiting->text(), QStringLiteral("两边都改过的事（1）…"));

    f.prompts.choices = {thingdecision::Choice::Theirs};
    f.box(0)->setFocus();
    f.box(0)->setCursorPosition(2);
    waiting->trigger();
    QCOMPARE(f.texts()[0], QStringLiteral("review theirs"));
    QCOMPARE(f.box(0)->cursorPosition(), 2); // changed under the caret, which stays
    QCOMPARE(f.file().left(200).toHex(), slot(0, 1, "review theirs", false, Day41411).toHex());
    QVERIFY(!waiting->isVisible());
}

void tst_DayCommands::aReadOnlyDayFileLocksTheView()
{
    QByteArray file = slot(0, 1, "stored", false, Day41411);
    MainWindowFixture f(QDateTime(QDate(2013, 5, 17), QTime(9, 0)), &file, 0, 0, true);
    QCOMPARE(f.window.windowTitle(), QStringLiteral("Tallyleaf V0.01（只读）"));
    QVERIFY(f.box(0)->isReadOnly());
    f.clickMark(0);
    QCOMPARE(f.tags()[0], QStringLiteral("False"));
    QVERIFY(!f.window.findChild<QAction *>(QStringLiteral("menu_clearthisday"))->isEnabled());
    f.click("cmd_nextday");
    f.click("cmd_lastday");
    QCOMPARE(f.prompts.informed.size(), 1); // the start-up message, and nothing at a move
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

void tst_DayCommands::hiddenClearEmptiesOnlyTheView()
{
    QByteArray file;
    for (int no = 1; no <= 5; ++no)
        file += slot(0, no, "stored", true, Day41411);
    MainWindowFixture f(QDateTime(QDate(2013, 5, 17), QTime(9, 0)), &file);
    f.button("cmd_Clear")->click();
    QCOMPARE(f.texts(), QStringList(5, QString()));
    QCOMPARE(f.file(), file);
    f.button("cmd_Save")->click(); // what is stored follows from the next save
    QCOMPARE(f.file().left(200).toHex(), slot(0, 1, "", false, Day41411).toHex());
}

void tst_DayCommands::hiddenOpenReloadsAndSaysWhatFailed()
{
    QByteArray file = slot(0, 1, "stored", false, Day41411);
    MainWindowFixture f(QDateTime(QDate(2013, 5, 17), QTime(9, 0)), &file);
    QTest::keyClicks(f.box(0), QStringLiteral(" edited"));
    f.button("cmd_Open")->click();
    QCOMPARE(f.texts()[0], QStringLiteral("stored"));
    QVERIFY(!f.window.isDirty());
    QVERIFY(f.prompts.informed.isEmpty());

    QVERIFY(QFile::remove(f.path));
    QVERIFY(QDir().mkdir(f.path)); // a folder where the day file was: nothing can be read
    f.button("cmd_Open")->click();
    QCOMPARE(f.prompts.informed.size(), 1);
    QVERIFY(f.prompts.informed[0].startsWith(QStringLiteral("无法打开日程文件")));
    QCOMPARE(f.texts()[0], QStringLiteral("stored")); // the view keeps what it showed
}

QTEST_MAIN(tst_DayCommands)
#include "tst_daycommands.moc"
