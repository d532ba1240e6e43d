// The shown day's rules without a window: what is written when, the caption, the one road
// between days, and what start-up tells.
#include "showndayfixture.h"

#include "gbk.h"
#include "messages.h"
#include "slotimage.h"

#include <QDir>
#include <QTest>
#include <sys/stat.h>

using namespace slotimage;

Q_DECLARE_METATYPE(LoadReport)

class tst_ShownDay : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }

    void firstStartCreatesAnEmptyFileAndShowsToday();
    void whatLeavingADayWrites_data();
    void whatLeavingADayWrites();
    void showingADayFillsTheViewAndLeavesItClean();
    void navigationFollowsTheCalendar_data();
    void navigationFollowsTheCalendar();
    void captionKeepsTodayUntilTheNextMoveAfterMidnight();
    void stepsPastTheDateRangeAreRefused();
    void captionFollowsTheShortDateFormat_data();
    void captionFollowsTheShortDateFormat();
    void aReadOnlyStartChangesNothing();
    void diskFailureDuringAMoveIsToldOnce();
    void foreignBytesSurviveAnEditOfTheirDay();
    void startUpNamesTheFileAtFault_data();
    void startUpNamesTheFileAtFault();
    void startUpSaysWhatStillWorks_data();
    void startUpSaysWhatStillWorks();
};

void tst_ShownDay::firstStartCreatesAnEmptyFileAndShowsToday()
{
    ShownDayFixture f;
    QVERIFY(QFile::exists(f.folder.path));
    QCOMPARE(f.view.caption, QStringLiteral("今天：2013/5/17"));
    QCOMPARE(f.view.texts(), QStringList(5, QString()));
    QVERIFY(!f.day.isDirty());
    QVERIFY(f.mayClose());
    QCOMPARE(f.file().size(), 0);
    QVERIFY(f.prompts.informed.isEmpty());
}

void tst_ShownDay::whatLeavingADayWrites_data()
{
    QTest::addColumn<QByteArray>("edit");
    QTest::addColumn<QByteArray>("written"); // the slots of 17 May after moving to the next day
    QByteArray fiveEmpty;
    for (int no = 1; no <= 5; ++no)
        fiveEmpty += slot(0, no, "", false, Day41411);
    QTest::newRow("untouched and empty: nothing") << QByteArray("none") << QByteArray();
    QTest::newRow("typed and deleted: five empty records") << QByteArray("type and delete") << fiveEmpty;
    QTest::newRow("a tick alone is stored")
        << QByteArray("tick") << QByteArray(fiveEmpty).replace(800, 200, slot(0, 5, "", true, Day41411));
    QTest::newRow("the road of one edit")
        << QByteArray("write and tick")
        << QByteArray(fiveEmpty).replace(200, 200, slot(0, 2, *gbk::encode(QStringLiteral("写报告")), true, Day41411));
    QTest::newRow("spaces trimmed")
        << QByteArray("padded") << QByteArray(fiveEmpty).replace(0, 200, slot(0, 1, "padded", false, Day41411));
}

// Leaving the shown day writes it, unless it was shown empty and left untouched; the next day
// shows clean; coming back shows what was written.
void tst_ShownDay::whatLeavingADayWrites()
{
    QFETCH(QByteArray, edit);
    QFETCH(QByteArray, written);
    ShownDayFixture f;
    if (edit == "type and delete") {
        f.view.type(2, QStringLiteral("x"));
        f.view.setText(2, QString());
    } else if (edit == "tick") {
        f.view.tick(4);
        f.view.tick(3);
        f.view.tick(3); // back again: still a change
    } else if (edit == "write and tick") {
        f.view.type(1, QStringLiteral("写报告"));
        f.view.tick(1);
    } else if (edit == "padded") {
        f.view.type(0, QStringLiteral("  padded  "));
    }
    QCOMPARE(f.day.isDirty(), edit != "none");
    QVERIFY(f.day.goToDay(QDate(2013, 5, 18)));
    QCOMPARE(f.file().toHex(), written.toHex());
    QCOMPARE(f.view.caption, QStringLiteral("日期：2013/5/18"));
    QCOMPARE(f.view.texts(), QStringList(5, QString()));
    QVERIFY(!f.day.isDirty());
    QVERIFY(f.day.goToDay(QDate(2013, 5, 19)));
    QVERIFY(f.day.goToDay(QDate(2013, 5, 17)));
    QCOMPARE(f.file().size(), written.size()); // the two empty, untouched days got no records
    if (edit == "write and tick") {
        QCOMPARE(f.view.texts()[1], QStringLiteral("写报告"));
        QCOMPARE(f.view.ticks()[1], true);
    }
    if (edit == "padded")
        QCOMPARE(f.view.texts()[0], QStringLiteral("padded"));
}

void tst_ShownDay::showingADayFillsTheViewAndLeavesItClean()
{
    // 17 May: "  spaced  " (done as 1), a record with no box, and a second record for
    // position 3 further on, which wins.
    QByteArray file = slot(0, 1, "  spaced  out  ", false, Day41411) + slot(0, 7, "nowhere", false, Day41411)
        + slot(0, 3, "older", false, Day41411) + slot(0, 3, "newer", true, Day41411)
        + slot(0, 2, "other day", true, Day41412) + slot(0, 0, "", false, DayZero);
    file[168] = 1;
    ShownDayFixture f(QDateTime(QDate(2013, 5, 17), QTime(8, 0)), file);
    QCOMPARE(f.view.texts(), (QStringList{"spaced  out", "", "newer", "", ""}));
    QCOMPARE(f.view.ticks(), (QList<bool>{true, false, true, false, false}));
    QVERIFY(!f.day.isDirty());
    // Leaving writes the day through find-or-append: the record shown for each position (the
    // last of several) is rewritten in place, the missing positions are appended, everything
    // else stays, the earlier record of position 3 among it.
    QVERIFY(f.day.goToDay(QDate(2013, 5, 18)));
    QByteArray expected = file;
    expected.replace(0, 200, slot(0, 1, "spaced  out", true, Day41411));
    expected += slot(0, 2, "", false, Day41411) + slot(0, 4, "", false, Day41411) + slot(0, 5, "", false, Day41411);
    QCOMPARE(f.file().toHex(), expected.toHex());
}

void tst_ShownDay::navigationFollowsTheCalendar_data()
{
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::newRow("new year") << QDate(2013, 12, 31) << QDate(2014, 1, 1);
    QTest::newRow("leap day") << QDate(2012, 2, 28) << QDate(2012, 2, 29);
    QTest::newRow("no leap day") << QDate(2013, 2, 28) << QDate(2013, 3, 1);
    QTest::newRow("end of March") << QDate(2013, 3, 31) << QDate(2013, 4, 1);
}

void tst_ShownDay::navigationFollowsTheCalendar()
{
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    ShownDayFixture f(QDateTime(from, QTime(12, 0)));
    QVERIFY(f.day.goToDay(f.day.shownDate().addDays(1)));
    QCOMPARE(f.day.shownDate(), to);
    QCOMPARE(f.view.caption, QStringLiteral("日期：") + QLocale().toString(to, QLocale::ShortFormat));
    QVERIFY(f.day.goToDay(f.day.shownDate().addDays(-1)));
    QCOMPARE(f.day.shownDate(), from);
    QCOMPARE(f.view.caption, QStringLiteral("今天：") + QLocale().toString(from, QLocale::ShortFormat));
}

void tst_ShownDay::captionKeepsTodayUntilTheNextMoveAfterMidnight()
{
    ShownDayFixture f(QDateTime(QDate(2013, 5, 17), QTime(23, 59, 50)));
    f.clock.advanceSecs(20); // now 18 May
    QCOMPARE(f.view.caption, QStringLiteral("今天：2013/5/17"));
    QVERIFY(f.day.goToDay(QDate(2013, 5, 18)));
    QCOMPARE(f.view.caption, QStringLiteral("今天：2013/5/18"));
    QVERIFY(f.day.goToDay(QDate(2013, 5, 17)));
    QCOMPARE(f.view.caption, QStringLiteral("日期：2013/5/17"));
}

void tst_ShownDay::stepsPastTheDateRangeAreRefused()
{
    ShownDayFixture f(QDateTime(QDate(9999, 12, 31), QTime(12, 0)));
    f.view.type(0, QStringLiteral("last"));
    QVERIFY(!f.day.goToDay(f.day.shownDate().addDays(1)));
    QCOMPARE(f.view.beeps, 1);
    QCOMPARE(f.day.shownDate(), QDate(9999, 12, 31));
    QCOMPARE(f.view.texts()[0], QStringLiteral("last")); // the view still belongs to the shown day
    QVERIFY(f.day.isDirty());
    QCOMPARE(f.file().size(), 0);

    ShownDayFixture first(QDateTime(QDate(100, 1, 1), QTime(12, 0)));
    QVERIFY(!first.day.goToDay(first.day.shownDate().addDays(-1)));
    QVERIFY(first.day.goToDay(first.day.shownDate().addDays(1)));
    QCOMPARE(first.day.shownDate(), QDate(100, 1, 2));
}

void tst_ShownDay::captionFollowsTheShortDateFormat_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::newRow("zh_CN, slashes") << QLocale(QLocale::Chinese, QLocale::China);
    QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("de_DE, dots") << QLocale(QLocale::German, QLocale::Germany);
    QTest::newRow("sv_SE, hyphens") << QLocale(QLocale::Swedish, QLocale::Sweden);
}

void tst_ShownDay::captionFollowsTheShortDateFormat()
{
    QFETCH(QLocale, locale);
    QLocale::setDefault(locale);
    ShownDayFixture f(QDateTime(QDate(2013, 5, 7), QTime(12, 0)));
    QCOMPARE(f.view.caption, QStringLiteral("今天：") + locale.toString(QDate(2013, 5, 7), QLocale::ShortFormat));
    QVERIFY(f.day.goToDay(QDate(2013, 5, 8)));
    QCOMPARE(f.view.caption, QStringLiteral("日期：") + locale.toString(QDate(2013, 5, 8), QLocale::ShortFormat));
}

void tst_ShownDay::aReadOnlyStartChangesNothing()
{
    QByteArray file;
    for (int no = 1; no <= 5; ++no)
        file += slot(0, no, "stored", false, Day41411);
    ShownDayFixture f(QDateTime(QDate(2013, 5, 17), QTime(9, 30)), file);
    f.disk.readOnly = true; // made read-only behind the program's back, then loaded again
    f.day.reload();
    QVERIFY(f.view.readOnly);
    QVERIFY(f.day.isReadOnly());
    QCOMPARE(f.prompts.informed.size(), 1); // said once, at the load
    QVERIFY(f.day.goToDay(QDate(2013, 5, 18)));
    QVERIFY(f.day.goToDay(QDate(2013, 5, 17)));
    QVERIFY(f.mayClose());
    QCOMPARE(f.prompts.informed.size(), 1); // and never at a move or at closing
    QCOMPARE(f.file(), file);
    QVERIFY(!f.commands.canUndo());
}

void tst_ShownDay::diskFailureDuringAMoveIsToldOnce()
{
    ShownDayFixture f;
    f.view.type(0, QStringLiteral("first"));
    f.failDisk(1);
    QVERIFY(f.day.goToDay(QDate(2013, 5, 18))); // the day book holds the day, so the move goes on
    QCOMPARE(f.prompts.informed.size(), 1);
    QVERIFY(f.prompts.informed[0].contains(QDir::toNativeSeparators(f.folder.path)));
    f.view.type(0, QStringLiteral("second"));
    QVERIFY(f.day.goToDay(QDate(2013, 5, 19)));
    QVERIFY(f.day.goToDay(QDate(2013, 5, 18)));
    QCOMPARE(f.prompts.informed.size(), 1);
    QCOMPARE(f.view.texts()[0], QStringLiteral("second"));
    QCOMPARE(f.file().size(), 0);

    f.failDisk(0);
    QVERIFY(f.day.goToDay(QDate(2013, 5, 17))); // nothing new to write: the kept slots go out alone
    QCOMPARE(f.view.texts()[0], QStringLiteral("first"));
    const QByteArray bytes = f.file();
    QCOMPARE(bytes.size(), 2000);
    QCOMPARE(bytes.left(200).toHex(), slot(0, 1, "first", false, Day41411).toHex());
    QCOMPARE(bytes.mid(1000, 200).toHex(), slot(0, 1, "second", false, Day41412).toHex());
    QCOMPARE(f.prompts.informed.size(), 1);
}

void tst_ShownDay::foreignBytesSurviveAnEditOfTheirDay()
{
    // Another program left bytes that are no GBK character (81 7f) between real ones.
    const QByteArray foreign = "x" + QByteArray::fromHex("817f") + *gbk::encode(QStringLiteral("中"));
    QByteArray file = slot(0, 1, foreign, true, Day41411);
    for (int no = 2; no <= 5; ++no)
        file += slot(0, no, "", false, Day41411);
    ShownDayFixture f(QDateTime(QDate(2013, 5, 17), QTime(9, 30)), file);
    f.view.type(2, QStringLiteral("edit"));
    QVERIFY(f.day.goToDay(QDate(2013, 5, 18)));
    QVERIFY(f.day.goToDay(QDate(2013, 5, 17)));
    QCOMPARE(f.view.texts()[2], QStringLiteral("edit"));
    QVERIFY(f.prompts.informed.isEmpty());
    QByteArray expected = file;
    expected.replace(400, 200, slot(0, 3, "edit", false, Day41411));
    QCOMPARE(f.file().toHex(), expected.toHex());
}

void tst_ShownDay::startUpNamesTheFileAtFault_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("kind");
    QTest::addColumn<QString>("saying");
    QTest::newRow("day file is a folder") << "things.dat" << QByteArray("folder") << "无法打开日程文件";
    QTest::newRow("day file is a dangling link") << "things.dat" << QByteArray("link") << "无法打开日程文件";
    QTest::newRow("journal is a FIFO") << "things.dat.journal" << QByteArray("fifo") << "无法读取上次未完成的保存留下的日志";
    QTest::newRow("all is well") << "" << QByteArray() << "";
}

void tst_ShownDay::startUpNamesTheFileAtFault()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, kind);
    QFETCH(QString, saying);
    DayFolder folder;
    const QString odd = folder.file(name);
    if (kind == "folder")
        QVERIFY(QDir().mkdir(odd));
    else if (kind == "link")
        QVERIFY(QFile::link(folder.file(QStringLiteral("gone")), odd));
    else if (kind == "fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(odd).constData(), 0600), 0);
    FileOps ops;
    DayFile dayFile(ops, folder.path);
    FakeClock clock;
    FakePrompts prompts;
    FakeView view;
    ShownDay day(dayFile, ops, clock, prompts, view);
    view.day = &day;
    day.start();
    day.tellWhatTheLoadFound();
    if (saying.isEmpty()) {
        QVERIFY(prompts.informed.isEmpty());
        return;
    }
    QCOMPARE(prompts.informed.size(), 1);
    QVERIFY2(prompts.informed[0].startsWith(saying), qPrintable(prompts.informed[0]));
    QVERIFY(prompts.informed[0].contains(QDir::toNativeSeparators(odd) + QLatin1Char('\n')));
    QVERIFY(prompts.informed[0].contains(QStringLiteral("不会保存任何内容")));
    QVERIFY(!QFile::exists(folder.file(QStringLiteral("gone"))));
}

// Failures that real files make only slowly (a read error, a million records) or not at all.
void tst_ShownDay::startUpSaysWhatStillWorks_data()
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
    LoadReport noLock;
    noLock.readOnly = LoadReport::ReadOnly::NoLock;
    QTest::newRow("no lock works") << noLock << "无法锁定日程文件";
    QTest::newRow("journal applied: nothing to say") << undone << "";
    LoadReport unreadable;
    unreadable.status = LoadReport::Status::CannotOpen;
    unreadable.problem = IoResult::failed(IoResult::Step::Open, QStringLiteral("/somewhere/things.dat"), EACCES);
    QTest::newRow("system words in Chinese, then the system's own")
        << unreadable << "无法打开 /somewhere/things.dat：没有权限（Permission denied）";
    LoadReport setAside;
    setAside.recovery = rollbackjournal::Outcome::SetAside;
    setAside.keptAsideJournal = QStringLiteral("/somewhere/things.dat.journal.kept-2");
    QTest::newRow("another file's journal kept aside") << setAside << QDir::toNativeSeparators(setAside.keptAsideJournal);
    LoadReport noDayFile = setAside;
    noDayFile.keptAsideWithoutDayFile = true;
    QTest::newRow("a journal without its day file kept aside") << noDayFile << "没有找到日程文件";
}

void tst_ShownDay::startUpSaysWhatStillWorks()
{
    QFETCH(LoadReport, load);
    QFETCH(QString, saying);
    const QString text = messages::startup(QStringLiteral("/somewhere/things.dat"), load);
    QCOMPARE(text.isEmpty(), saying.isEmpty());
    QVERIFY2(text.contains(saying), qPrintable(text));
    if (!saying.isEmpty())
        QVERIFY(text.contains(QDir::toNativeSeparators(QStringLiteral("/somewhere/things.dat\n"))));
}

QTEST_GUILESS_MAIN(tst_ShownDay)
#include "tst_shownday.moc"
