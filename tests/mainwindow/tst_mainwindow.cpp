#include "mainwindowfixture.h"

#include "filebytes.h"
#include "dayfilenotices.h"
#include "gbk.h"
#include "rollbackjournal.h"

#include <sys/stat.h>

using namespace slotimage;

Q_DECLARE_METATYPE(LoadReport)

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }

    void firstStartCreatesAnEmptyFileAndShowsToday();
    void roadOfOneEdit();
    void untouchedEmptyDayWritesNothing();
    void typingAndDeletingWritesFiveEmptyRecords();
    void tickingAnEmptyBoxStoresDone();
    void enterWalksTheBoxesWithoutInserting();
    void showingADayFillsTheViewAndLeavesItClean();
    void navigationFollowsTheCalendar_data();
    void navigationFollowsTheCalendar();
    void captionKeepsTodayUntilTheNextMoveAfterMidnight();
    void returnToTodayRewritesAndTrims();
    void stepsPastTheDateRangeAreRefused();
    void captionFollowsTheShortDateFormat_data();
    void captionFollowsTheShortDateFormat();
    void closingSavesAndOffersRetryWhenTheDiskRefuses();
    void calendarButtonSavesThenPickMovesTheView();
    void refusedSaveKeepsTheWindowAsItWas_data();
    void refusedSaveKeepsTheWindowAsItWas();
    void diskFailureDuringAMoveIsToldOnce();
    void foreignBytesSurviveAnEditOfTheirDay();
    void startUpNamesTheFileAtFault_data();
    void startUpNamesTheFileAtFault();
    void startUpSaysWhatStillWorks_data();
    void startUpSaysWhatStillWorks();
    void aFileChangedBehindTheWindow_data();
    void aFileChangedBehindTheWindow();
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

void tst_MainWindow::untouchedEmptyDayWritesNothing()
{
    MainWindowFixture f;
    f.click("cmd_nextday");
    f.click("cmd_nextday");
    f.click("cmd_lastday");
    QCOMPARE(f.file().size(), 0);
    QCOMPARE(f.pub.dayFile.table().DayCount(), 0);
}

void tst_MainWindow::typingAndDeletingWritesFiveEmptyRecords()
{
    MainWindowFixture f;
    QTest::keyClicks(f.box(2), QStringLiteral("x"));
    QTest::keyClick(f.box(2), Qt::Key_Backspace);
    f.click("cmd_nextday");
    QByteArray expected;
    for (int no = 1; no <= 5; ++no)
        expected += slot(0, no, "", false, Day41411);
    QCOMPARE(f.file().toHex(), expected.toHex());
}

void tst_MainWindow::tickingAnEmptyBoxStoresDone()
{
    MainWindowFixture f;
    f.clickMark(4);
    f.clickMark(3);
    f.clickMark(3); // back again: still a change
    QCOMPARE(f.tags(), (QStringList{"False", "False", "False", "False", "True"}));
    f.click("cmd_nextday");
    QCOMPARE(f.file().mid(800, 200).toHex(), slot(0, 5, "", true, Day41411).toHex());
    QCOMPARE(f.file().mid(600, 200).toHex(), slot(0, 4, "", false, Day41411).toHex());
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

void tst_MainWindow::showingADayFillsTheViewAndLeavesItClean()
{
    // 17 May: "  spaced  " (done as 1), a record with no box, and a second record for
    // position 3 further on, which wins.
    QByteArray file = slot(0, 1, "  spaced  out  ", false, Day41411) + slot(0, 7, "nowhere", false, Day41411)
        + slot(0, 3, "older", false, Day41411) + slot(0, 3, "newer", true, Day41411)
        + slot(0, 2, "other day", true, Day41412) + slot(0, 0, "", false, DayZero);
    file[168] = 1;
    MainWindowFixture f(QDateTime(QDate(2013, 5, 17), QTime(8, 0)), &file);
    QCOMPARE(f.texts(), (QStringList{"spaced  out", "", "newer", "", ""}));
    QCOMPARE(f.box(2)->cursorPosition(), 0); // a long text shows its beginning
    QCOMPARE(f.tags(), (QStringList{"True", "False", "True", "False", "False"}));
    QVERIFY(!f.window.isDirty());
    // Leaving writes the day through find-or-append: the record shown for each position (the
    // last of several) is rewritten in place, the missing positions are appended, everything
    // else stays, the earlier record of position 3 among it.
    f.click("cmd_nextday");
    QByteArray expected = file;
    expected.replace(0, 200, slot(0, 1, "spaced  out", true, Day41411));
    expected += slot(0, 2, "", false, Day41411) + slot(0, 4, "", false, Day41411) + slot(0, 5, "", false, Day41411);
    QCOMPARE(f.file().toHex(), expected.toHex());
}

void tst_MainWindow::navigationFollowsTheCalendar_data()
{
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::newRow("new year") << QDate(2013, 12, 31) << QDate(2014, 1, 1);
    QTest::newRow("leap day") << QDate(2012, 2, 28) << QDate(2012, 2, 29);
    QTest::newRow("no leap day") << QDate(2013, 2, 28) << QDate(2013, 3, 1);
    QTest::newRow("end of March") << QDate(2013, 3, 31) << QDate(2013, 4, 1);
}

void tst_MainWindow::navigationFollowsTheCalendar()
{
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    MainWindowFixture f(QDateTime(from, QTime(12, 0)));
    f.click("cmd_nextday");
    QCOMPARE(f.pub.ShownDate, to);
    QCOMPARE(f.caption(), QStringLiteral("日期：") + MainWindowFixture::shortDate(to));
    f.click("cmd_lastday");
    QCOMPARE(f.pub.ShownDate, from);
    QCOMPARE(f.caption(), QStringLiteral("今天：") + MainWindowFixture::shortDate(from));
}

void tst_MainWindow::captionKeepsTodayUntilTheNextMoveAfterMidnight()
{
    MainWindowFixture f(QDateTime(QDate(2013, 5, 17), QTime(23, 59, 50)));
    f.clock.advanceSecs(20); // now 18 May
    QCOMPARE(f.caption(), QStringLiteral("今天：2013/5/17"));
    f.click("cmd_nextday");
    QCOMPARE(f.caption(), QStringLiteral("今天：2013/5/18"));
    f.click("cmd_lastday");
    QCOMPARE(f.caption(), QStringLiteral("日期：2013/5/17"));
    QTest::mouseClick(f.label("lbl_returntoday"), Qt::LeftButton);
    QCOMPARE(f.pub.ShownDate, QDate(2013, 5, 18));
    QCOMPARE(f.caption(), QStringLiteral("今天：2013/5/18"));
}

void tst_MainWindow::returnToTodayRewritesAndTrims()
{
    MainWindowFixture f;
    QTest::keyClicks(f.box(0), QStringLiteral("  padded  "));
    QTest::mouseClick(f.label("lbl_returntoday"), Qt::LeftButton);
    QCOMPARE(f.texts()[0], QStringLiteral("padded"));
    QCOMPARE(f.caption(), QStringLiteral("今天：2013/5/17"));
    QCOMPARE(f.file().left(200).toHex(), slot(0, 1, "padded", false, Day41411).toHex());
}

void tst_MainWindow::stepsPastTheDateRangeAreRefused()
{
    MainWindowFixture f(QDateTime(QDate(9999, 12, 31), QTime(12, 0)));
    QTest::keyClicks(f.box(0), QStringLiteral("last"));
    f.click("cmd_nextday");
    QCOMPARE(f.pub.ShownDate, QDate(9999, 12, 31));
    QCOMPARE(f.texts()[0], QStringLiteral("last")); // the view still belongs to the shown day
    QCOMPARE(f.caption(), QStringLiteral("今天：") + MainWindowFixture::shortDate(QDate(9999, 12, 31)));

    MainWindowFixture first(QDateTime(QDate(100, 1, 1), QTime(12, 0)));
    first.click("cmd_lastday");
    QCOMPARE(first.pub.ShownDate, QDate(100, 1, 1));
    first.click("cmd_nextday");
    QCOMPARE(first.pub.ShownDate, QDate(100, 1, 2));
}

void tst_MainWindow::captionFollowsTheShortDateFormat_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::newRow("zh_CN, slashes") << QLocale(QLocale::Chinese, QLocale::China);
    QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("de_DE, dots") << QLocale(QLocale::German, QLocale::Germany);
    QTest::newRow("sv_SE, hyphens") << QLocale(QLocale::Swedish, QLocale::Sweden);
}

void tst_MainWindow::captionFollowsTheShortDateFormat()
{
    QFETCH(QLocale, locale);
    QLocale::setDefault(locale);
    MainWindowFixture f(QDateTime(QDate(2013, 5, 7), QTime(12, 0)));
    QCOMPARE(f.caption(), QStringLiteral("今天：") + locale.toString(QDate(2013, 5, 7), QLocale::ShortFormat));
    f.click("cmd_nextday");
    QCOMPARE(f.caption(), QStringLiteral("日期：") + locale.toString(QDate(2013, 5, 8), QLocale::ShortFormat));
}

void tst_MainWindow::closingSavesAndOffersRetryWhenTheDiskRefuses()
{
    MainWindowFixture f;
    QTest::keyClicks(f.box(0), QStringLiteral("important"));
    f.failDisk(1); // the save must not pass for a success
    f.prompts.answerRetry = false;
    f.window.close();
    QCOMPARE(f.prompts.retryTexts.size(), 1);
    QVERIFY(f.prompts.retryTexts[0].contains(QDir::toNativeSeparators(f.path)));
    QVERIFY(f.prompts.retryTexts[0].contains(QStringLiteral("磁盘空间")));

    MainWindowFixture ok;
    QTest::keyClicks(ok.box(0), QStringLiteral("important"));
    ok.window.close();
    QVERIFY(ok.prompts.retryTexts.isEmpty());
    QCOMPARE(ok.file().left(200).toHex(), slot(0, 1, "important", false, Day41411).toHex());

    // A day that cannot be encoded: no disk advice, no retry; the message names the thing and
    // the character, and No keeps the window open.
    MainWindowFixture refused;
    QTest::keyClicks(refused.box(0), QStringLiteral("x"));
    refused.box(3)->setThingText(QStringLiteral("ok 🎉"));
    refused.prompts.answerYes = false;
    QVERIFY(!refused.window.close());
    QVERIFY(refused.prompts.retryTexts.isEmpty());
    QCOMPARE(refused.prompts.asked.size(), 1);
    QVERIFY(refused.prompts.asked[0].contains(QStringLiteral("第4件事中的 🎉")));
    QVERIFY(!refused.prompts.asked[0].contains(QStringLiteral("磁盘")));
    QVERIFY(refused.window.isVisible());

    // After a load that failed, the design's hint in the first box is nobody's content.
    MainWindowFixture unread(QDateTime(QDate(2013, 5, 17), QTime(9, 30)), nullptr, 1);
    QVERIFY(!unread.window.lastLoad().ok());
    QCOMPARE(unread.texts()[0], QStringLiteral("写下一件重要的事"));
    unread.window.close();
    QVERIFY(unread.prompts.retryTexts.isEmpty());
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
    QCOMPARE(f.pub.ShownDate, QDate(2013, 5, 18));
    QCOMPARE(f.caption(), QStringLiteral("日期：2013/5/18"));
    QCOMPARE(f.texts()[1], QStringLiteral("on the 18th"));
    QVERIFY(!guard || !guard->isVisible());
    QTRY_VERIFY(!guard);
}

void tst_MainWindow::refusedSaveKeepsTheWindowAsItWas_data()
{
    QTest::addColumn<QByteArray>("move");
    QTest::addColumn<bool>("bookFull"); // else a text without a GBK form
    for (const char *move : {"previous day", "next day", "back to today", "calendar button", "calendar pick",
                             "copy to the next day"})
        QTest::newRow(move) << QByteArray(move) << false;
    QTest::newRow("next day, the day book full") << QByteArray("next day") << true;
}

// A day the day book cannot take: no move may leave it behind.
void tst_MainWindow::refusedSaveKeepsTheWindowAsItWas()
{
    QFETCH(QByteArray, move);
    QFETCH(bool, bookFull);
    // A full day book has no room for a new day's five records.
    MainWindowFixture f(QDateTime(QDate(2013, 5, 17), QTime(9, 30)), nullptr, 0,
                        bookFull ? DayTable::DayCapacity - 4 : 0);
    QTest::keyClicks(f.box(0), QStringLiteral("kept"));
    QPointer<QWidget> calendar;
    if (move == "calendar pick") {
        f.click("cmd_select");
        calendar = QApplication::activeModalWidget();
        QVERIFY(calendar);
    }
    if (!bookFull)
        f.box(1)->setThingText(QStringLiteral("派对🎉"));
    const QStringList texts = f.texts();
    const QByteArray before = f.file();

    if (move == "previous day")
        f.click("cmd_lastday");
    else if (move == "next day")
        f.click("cmd_nextday");
    else if (move == "back to today")
        QTest::mouseClick(f.label("lbl_returntoday"), Qt::LeftButton);
    else if (move == "calendar button")
        f.click("cmd_select");
    else if (move == "calendar pick")
        QTest::mouseClick(calendar->findChild<QLabel *>(QStringLiteral("lbl_day_19")), Qt::LeftButton);
    else
        f.window.findChild<QAction *>(QStringLiteral("menu_copytonextday"))->trigger();

    QCOMPARE(f.pub.ShownDate, QDate(2013, 5, 17));
    QCOMPARE(f.caption(), QStringLiteral("今天：2013/5/17"));
    QCOMPARE(f.texts(), texts);
    QVERIFY(f.window.isDirty());
    QCOMPARE(f.file(), before);
    QCOMPARE(f.prompts.informed.size(), 1);
    QVERIFY(f.prompts.informed[0].contains(bookFull ? QStringLiteral("日记本已满") : QStringLiteral("第2件事中的 🎉")));
    QVERIFY(move == "calendar pick" || !QApplication::activeModalWidget()); // the calendar opens only for a kept day
    QTRY_VERIFY(!calendar);

    if (bookFull) { // emptied again, the day holds nothing to keep: leaving it loses nothing
        f.box(0)->selectAll();
        QTest::keyClick(f.box(0), Qt::Key_Delete);
        QVERIFY(f.window.isDirty());
        f.click("cmd_nextday");
        QCOMPARE(f.pub.ShownDate, QDate(2013, 5, 18));
        QCOMPARE(f.prompts.informed.size(), 1);
    }
}

void tst_MainWindow::diskFailureDuringAMoveIsToldOnce()
{
    MainWindowFixture f;
    QTest::keyClicks(f.box(0), QStringLiteral("first"));
    f.failDisk(1);
    f.click("cmd_nextday");
    QCOMPARE(f.pub.ShownDate, QDate(2013, 5, 18)); // the day book holds the day, so the move goes on
    QCOMPARE(f.prompts.informed.size(), 1);
    QVERIFY(f.prompts.informed[0].contains(QDir::toNativeSeparators(f.path)));
    QTest::keyClicks(f.box(0), QStringLiteral("second"));
    f.click("cmd_nextday");
    f.click("cmd_lastday");
    QCOMPARE(f.prompts.informed.size(), 1);
    QCOMPARE(f.texts()[0], QStringLiteral("second"));
    QCOMPARE(f.file().size(), 0);

    f.failDisk(0);
    f.click("cmd_lastday"); // nothing new to write: the kept slots go out alone
    QCOMPARE(f.texts()[0], QStringLiteral("first"));
    const QByteArray bytes = f.file();
    QCOMPARE(bytes.size(), 2000);
    QCOMPARE(bytes.left(200).toHex(), slot(0, 1, "first", false, Day41411).toHex());
    QCOMPARE(bytes.mid(1000, 200).toHex(), slot(0, 1, "second", false, Day41412).toHex());
    QCOMPARE(f.prompts.informed.size(), 1);
}

void tst_MainWindow::foreignBytesSurviveAnEditOfTheirDay()
{
    // Another program left bytes that are no GBK character (81 7f) between real ones.
    const QByteArray foreign = "x" + QByteArray::fromHex("817f") + *gbk::encode(QStringLiteral("中"));
    QByteArray file = slot(0, 1, foreign, true, Day41411);
    for (int no = 2; no <= 5; ++no)
        file += slot(0, no, "", false, Day41411);
    MainWindowFixture f(QDateTime(QDate(2013, 5, 17), QTime(9, 30)), &file);
    QTest::keyClicks(f.box(2), QStringLiteral("edit"));
    f.click("cmd_nextday");
    f.click("cmd_lastday");
    QCOMPARE(f.texts()[2], QStringLiteral("edit"));
    QVERIFY(f.prompts.informed.isEmpty());
    QByteArray expected = file;
    expected.replace(400, 200, slot(0, 3, "edit", false, Day41411));
    QCOMPARE(f.file().toHex(), expected.toHex());
}

void tst_MainWindow::startUpNamesTheFileAtFault_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("kind");
    QTest::addColumn<QString>("saying");
    QTest::newRow("day file is a folder") << "things.dat" << QByteArray("folder") << "无法打开日程文件";
    QTest::newRow("day file is a dangling link") << "things.dat" << QByteArray("link") << "无法打开日程文件";
    QTest::newRow("journal is a FIFO") << "things.dat.journal" << QByteArray("fifo") << "无法读取上次未完成的保存留下的日志";
    QTest::newRow("all is well") << "" << QByteArray() << "";
}

// One plain message at start-up, naming the file at fault and saying that nothing is saved.
void tst_MainWindow::startUpNamesTheFileAtFault()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, kind);
    QFETCH(QString, saying);
    QTemporaryDir dir;
    const QString odd = dir.filePath(name);
    if (kind == "folder")
        QVERIFY(QDir().mkdir(odd));
    else if (kind == "link")
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), odd));
    else if (kind == "fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(odd).constData(), 0600), 0);
    FileOps ops;
    Module_pub pub(ops, dir.filePath(QStringLiteral("things.dat")));
    FakeClock clock(QDateTime(QDate(2013, 5, 17), QTime(9, 30)));
    FakePrompts prompts;
    frm_main window(pub, clock, prompts, [](const QUrl &) { return true; });
    window.Form_Load();
    if (saying.isEmpty()) {
        QVERIFY(prompts.informed.isEmpty());
        return;
    }
    QCOMPARE(prompts.informed.size(), 1);
    QVERIFY2(prompts.informed[0].startsWith(saying), qPrintable(prompts.informed[0]));
    QVERIFY(prompts.informed[0].contains(QDir::toNativeSeparators(odd) + QLatin1Char('\n')));
    QVERIFY(prompts.informed[0].contains(QStringLiteral("不会保存任何内容")));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("gone"))));
}

// Failures that real files make only slowly (a read error, a million records) or not at all.
void tst_MainWindow::startUpSaysWhatStillWorks_data()
{
    QTest::addColumn<LoadReport>("load");
    QTest::addColumn<QString>("saying");
    LoadReport readFailed;
    readFailed.status = LoadReport::Status::ReadFailed;
    readFailed.recordsRead = 35;
    LoadReport tooMany = readFailed;
    tooMany.status = LoadReport::Status::TooManyRecords;
    LoadReport notUndone;
    notUndone.recovery = rollbackjournal::Outcome::RollbackPending;
    LoadReport undone;
    undone.recovery = rollbackjournal::Outcome::RolledBack;
    QTest::newRow("read error") << readFailed << "已读出的 35 条记录照常显示";
    QTest::newRow("more records than the table holds") << tooMany << "已读出的 35 条记录照常显示";
    QTest::newRow("journal not applied") << notUndone << "在撤销成功之前，不会保存任何内容";
    LoadReport readOnly;
    readOnly.readOnly = LoadReport::ReadOnly::File;
    QTest::newRow("read-only day file") << readOnly << "不会保存任何修改";
    QTest::newRow("journal applied: nothing to say") << undone << "";
    LoadReport setAside;
    setAside.recovery = rollbackjournal::Outcome::SetAside;
    setAside.keptAsideJournal = QStringLiteral("/somewhere/things.dat.journal.kept-2");
    QTest::newRow("another file's journal kept aside") << setAside << QDir::toNativeSeparators(setAside.keptAsideJournal);
    LoadReport noDayFile = setAside;
    noDayFile.keptAsideWithoutDayFile = true;
    QTest::newRow("a journal without its day file kept aside") << noDayFile << "没有找到日程文件";
    setAside.keptAsideJournal.clear();
    QTest::newRow("another file's journal that cannot be moved") << setAside << "在它移开之前，不会保存任何内容";
}

void tst_MainWindow::startUpSaysWhatStillWorks()
{
    QFETCH(LoadReport, load);
    QFETCH(QString, saying);
    const QString text = dayfilenotices::startupText(QStringLiteral("/somewhere/things.dat"), load);
    QCOMPARE(text.isEmpty(), saying.isEmpty());
    QVERIFY2(text.contains(saying), qPrintable(text));
    if (!saying.isEmpty())
        QVERIFY(text.contains(QDir::toNativeSeparators(QStringLiteral("/somewhere/things.dat\n"))));
}

void tst_MainWindow::aFileChangedBehindTheWindow_data()
{
    QTest::addColumn<bool>("deleted");
    QTest::addColumn<bool>("loadTheirs");
    QTest::addColumn<bool>("closing");
    QTest::newRow("replaced, their file loaded") << false << true << false;
    QTest::newRow("replaced, kept as it is") << false << false << false;
    QTest::newRow("replaced, then closing is refused") << false << false << true;
    QTest::newRow("deleted") << true << false << false;
}

void tst_MainWindow::aFileChangedBehindTheWindow()
{
    QFETCH(bool, deleted);
    QFETCH(bool, loadTheirs);
    QFETCH(bool, closing);
    MainWindowFixture f;
    QTest::keyClicks(f.box(0), QStringLiteral("mine"));
    QVERIFY(f.window.td_save().allOnDisk());
    const QByteArray theirs = slot(0, 1, "theirs", false, Day41412);
    const QString other = f.dir.filePath(QStringLiteral("other"));
    QVERIFY(QFile::remove(f.path));
    if (!deleted) {
        QVERIFY(writeFile(other, theirs));
        QVERIFY(QFile::rename(other, f.path));
    }
    f.prompts.answerYes = loadTheirs;
    QTest::keyClicks(f.box(1), QStringLiteral("more"));
    if (closing) { // the offer is declined, and so is closing without the day
        f.window.show();
        QVERIFY(!f.window.close());
        QVERIFY(f.window.isVisible());
        QCOMPARE(f.prompts.asked.size(), 2);
        QVERIFY(f.prompts.asked[1].contains(QStringLiteral("仍要关闭吗")));
        QCOMPARE(f.file(), theirs);
        return;
    }
    [[maybe_unused]] const SaveReport second = f.window.td_save(); // what the user was told is checked below

    QCOMPARE(f.texts().mid(0, 2), (QStringList{"mine", "more"})); // the view keeps the day either way
    QByteArray mine;
    for (int no = 1; no <= 5; ++no)
        mine += slot(0, no, no == 1 ? "mine" : no == 2 ? "more" : "", false, Day41411);
    if (deleted) {
        QCOMPARE(f.prompts.informed.size(), 1);
        QVERIFY(f.prompts.informed[0].contains(QStringLiteral("被删除")));
        QCOMPARE(f.file(), mine); // everything held, written back whole
        return;
    }
    QCOMPARE(f.prompts.asked.size(), 1);
    QVERIFY(f.prompts.asked[0].contains(QDir::toNativeSeparators(f.path)));
    QCOMPARE(f.file().toHex(), (loadTheirs ? theirs + mine : theirs).toHex());
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
