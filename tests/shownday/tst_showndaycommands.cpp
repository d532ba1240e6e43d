// The day commands without a window: copy to the next day, clear, save by hand; days the day book
// refuses; a day file changed behind the program's back.
#include "showndayfixture.h"

#include "slotimage.h"

#include <QDir>
#include <QTest>

using namespace slotimage;

class tst_ShownDayCommands : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }

    void answeringNoChangesNothing_data();
    void answeringNoChangesNothing();
    void copyingMovesToTheNextDayWithTextsNotDone_data();
    void copyingMovesToTheNextDayWithTextsNotDone();
    void copyingIsOneSaveOfBothDays();
    void clearingANeverSavedDayCreatesFiveEmptyRecords();
    void manualSaveWritesTheShownDay();
    void refusedSaveKeepsTheDayAsItWas_data();
    void refusedSaveKeepsTheDayAsItWas();
    void undoTakesBackTheLastClearOrCopy_data();
    void undoTakesBackTheLastClearOrCopy();
    void aFileDeletedBehindTheProgramIsWrittenBackWhole();
};

void tst_ShownDayCommands::answeringNoChangesNothing_data()
{
    QTest::addColumn<bool>("copy");
    QTest::addColumn<QString>("question");
    QTest::newRow("copy") << true << QStringLiteral("本日数据将复制到次日，次日的全部数据将被清空！");
    QTest::newRow("clear") << false << QStringLiteral("当天的全部数据将被清空！");
}

void tst_ShownDayCommands::answeringNoChangesNothing()
{
    QFETCH(bool, copy);
    QFETCH(QString, question);
    ShownDayFixture f;
    f.view.type(0, QStringLiteral("keep"));
    f.view.tick(0);
    f.prompts.answerYes = false;
    QVERIFY(!(copy ? f.commands.copyToNextDay() : f.commands.clearDay()));
    QCOMPARE(f.prompts.asked, QStringList{question});
    QCOMPARE(f.day.shownDate(), QDate(2013, 5, 17));
    QCOMPARE(f.view.texts()[0], QStringLiteral("keep"));
    QCOMPARE(f.view.ticks()[0], true);
    QVERIFY(f.day.isDirty());
    QCOMPARE(f.file().size(), 0);
}

void tst_ShownDayCommands::copyingMovesToTheNextDayWithTextsNotDone_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<bool>("fromYesterday");
    QTest::addColumn<QByteArray>("after");
    QByteArray yesterday = slot(0, 1, "a", true, 41410.0) + slot(0, 2, "", true, 41410.0) + slot(0, 3, "c", false, 41410.0)
        + slot(0, 4, "", false, 41410.0) + slot(0, 5, "", false, 41410.0);
    QByteArray today = slot(0, 1, "a", false, Day41411) + slot(0, 2, "", false, Day41411)
        + slot(0, 3, "c", false, Day41411) + slot(0, 4, "", false, Day41411) + slot(0, 5, "", false, Day41411);
    QTest::newRow("yesterday to today") << QByteArray() << true << yesterday + today;
    QByteArray tomorrow, emptied;
    for (int no = 1; no <= 5; ++no) {
        tomorrow += slot(0, no, "tomorrow", true, Day41412);
        emptied += slot(0, no, "", false, Day41412);
    }
    // 17 May was empty and untouched: no records for it.
    QTest::newRow("an empty day empties the next") << tomorrow << false << emptied;
}

void tst_ShownDayCommands::copyingMovesToTheNextDayWithTextsNotDone()
{
    QFETCH(QByteArray, before);
    QFETCH(bool, fromYesterday);
    QFETCH(QByteArray, after);
    ShownDayFixture f(QDateTime(QDate(2013, 5, 17), QTime(9, 0)), before);
    if (fromYesterday) {
        QVERIFY(f.day.goToDay(QDate(2013, 5, 16)));
        f.view.type(0, QStringLiteral("a"));
        f.view.type(2, QStringLiteral("c"));
        f.view.tick(0);
        f.view.tick(1);
    }
    const QDate next = f.day.shownDate().addDays(1);
    QVERIFY(f.commands.copyToNextDay());
    QCOMPARE(f.day.shownDate(), next);
    QCOMPARE(f.view.caption, (next == QDate(2013, 5, 17) ? QStringLiteral("今天：") : QStringLiteral("日期："))
                                 + QLocale().toString(next, QLocale::ShortFormat));
    QCOMPARE(f.view.ticks(), QList<bool>(5, false));
    QVERIFY(!f.day.isDirty());
    QCOMPARE(f.file().toHex(), after.toHex());
}

// D2 of the day book, seen from the command: the shown day and the next go out together or not
// at all, however the disk fails.
void tst_ShownDayCommands::copyingIsOneSaveOfBothDays()
{
    for (int failAt = 1; failAt < 40; ++failAt) {
        ShownDayFixture f;
        f.view.type(0, QStringLiteral("today"));
        f.view.tick(0);
        f.disk.persistent = false;
        f.disk.reset(failAt);
        const bool moved = f.commands.copyToNextDay();
        const QByteArray bytes = f.file();
        QVERIFY2(bytes.isEmpty() || bytes.size() == 2000, qPrintable(QStringLiteral("call %1").arg(failAt)));
        QVERIFY(moved); // the day book holds both days either way; the disk gets them later
        f.disk.reset(0);
        QVERIFY(f.mayClose());
        QCOMPARE(f.file().left(200).toHex(), slot(0, 1, "today", true, Day41411).toHex());
        QCOMPARE(f.file().mid(1000, 200).toHex(), slot(0, 1, "today", false, Day41412).toHex());
    }
}

void tst_ShownDayCommands::clearingANeverSavedDayCreatesFiveEmptyRecords()
{
    ShownDayFixture f;
    f.view.type(3, QStringLiteral("gone"));
    QVERIFY(f.commands.clearDay());
    QCOMPARE(f.view.texts(), QStringList(5, QString()));
    QCOMPARE(f.day.shownDate(), QDate(2013, 5, 17));
    QVERIFY(!f.day.isDirty());
    QByteArray expected;
    for (int no = 1; no <= 5; ++no)
        expected += slot(0, no, "", false, Day41411);
    QCOMPARE(f.file().toHex(), expected.toHex());
    QVERIFY(f.day.goToDay(QDate(2013, 5, 18))); // nothing new to write for the cleared day
    QCOMPARE(f.file().toHex(), expected.toHex());
}

void tst_ShownDayCommands::manualSaveWritesTheShownDay()
{
    ShownDayFixture f;
    f.view.type(0, QStringLiteral("saved"));
    f.day.saveByHand();
    QVERIFY(!f.day.isDirty());
    QCOMPARE(f.file().left(200).toHex(), slot(0, 1, "saved", false, Day41411).toHex());
    f.failDisk(1); // asked for by hand, every failure is told
    f.view.type(0, QStringLiteral(" again"));
    f.day.saveByHand();
    f.day.saveByHand();
    QCOMPARE(f.prompts.informed.size(), 2);
}

void tst_ShownDayCommands::refusedSaveKeepsTheDayAsItWas_data()
{
    QTest::addColumn<QByteArray>("move");
    QTest::addColumn<bool>("bookFull"); // else a text without a GBK form
    for (const char *move : {"previous day", "next day", "back to today", "copy to the next day"})
        QTest::newRow(move) << QByteArray(move) << false;
    QTest::newRow("next day, the day book full") << QByteArray("next day") << true;
}

// A day the day book cannot take: no move may leave it behind.
void tst_ShownDayCommands::refusedSaveKeepsTheDayAsItWas()
{
    QFETCH(QByteArray, move);
    QFETCH(bool, bookFull);
    // A full day book has no room for a new day's five records.
    ShownDayFixture f(QDateTime(QDate(2013, 5, 17), QTime(9, 30)), {}, 0, bookFull ? DayTable::DayCapacity - 4 : 0);
    f.view.type(0, QStringLiteral("kept"));
    if (!bookFull)
        f.view.setText(1, QStringLiteral("派对🎉"));
    const QStringList texts = f.view.texts();
    const QByteArray before = f.file();

    bool moved = true;
    if (move == "previous day")
        moved = f.day.goToDay(QDate(2013, 5, 16));
    else if (move == "next day")
        moved = f.day.goToDay(QDate(2013, 5, 18));
    else if (move == "back to today")
        moved = f.day.goToDay(f.clock.today());
    else
        moved = f.commands.copyToNextDay();

    QVERIFY(!moved);
    QCOMPARE(f.day.shownDate(), QDate(2013, 5, 17));
    QCOMPARE(f.view.caption, QStringLiteral("今天：2013/5/17"));
    QCOMPARE(f.view.texts(), texts);
    QVERIFY(f.day.isDirty());
    QCOMPARE(f.file(), before);
    QCOMPARE(f.prompts.informed.size(), 1);
    QVERIFY(f.prompts.informed[0].contains(bookFull ? QStringLiteral("日记本已满") : QStringLiteral("第2件事中的 🎉")));

    if (bookFull) { // emptied again, the day holds nothing to keep: leaving it loses nothing
        f.view.setText(0, QString());
        QVERIFY(f.day.goToDay(QDate(2013, 5, 18)));
        QCOMPARE(f.prompts.informed.size(), 1);
    }
}

void tst_ShownDayCommands::undoTakesBackTheLastClearOrCopy_data()
{
    QTest::addColumn<bool>("copy");
    QTest::addColumn<bool>("editFirst"); // an edit after the command: nothing to undo any more
    QTest::newRow("clear") << false << false;
    QTest::newRow("copy") << true << false;
    QTest::newRow("clear, then an edit") << false << true;
}

// The undo is itself a save: the day the command replaced is written back as it was, and the day
// shown before the command is shown again.
void tst_ShownDayCommands::undoTakesBackTheLastClearOrCopy()
{
    QFETCH(bool, copy);
    QFETCH(bool, editFirst);
    QByteArray file;
    for (int no = 1; no <= 5; ++no)
        file += slot(0, no, "today " + QByteArray::number(no), no == 2, Day41411);
    for (int no = 1; no <= 5; ++no)
        file += slot(0, no, "tomorrow " + QByteArray::number(no), false, Day41412);
    ShownDayFixture f(QDateTime(QDate(2013, 5, 17), QTime(9, 30)), file);
    f.view.type(0, QStringLiteral(" edited"));
    const QStringList before = f.view.texts();
    QVERIFY(copy ? f.commands.copyToNextDay() : f.commands.clearDay());
    QCOMPARE(f.commands.undoable(), copy ? QStringLiteral("复制到次日") : QStringLiteral("清空全天"));
    if (editFirst) {
        f.view.type(1, QStringLiteral("x"));
        QVERIFY(!f.commands.canUndo());
        QVERIFY(!f.commands.undo());
        QCOMPARE(f.view.beeps, 1);
        return;
    }
    QVERIFY(f.commands.undo());
    QVERIFY(!f.commands.canUndo());
    QCOMPARE(f.day.shownDate(), QDate(2013, 5, 17));
    QCOMPARE(f.view.texts(), before);
    QVERIFY(!f.day.isDirty());
    QByteArray expected = file;
    expected.replace(0, 200, slot(0, 1, "today 1 edited", false, Day41411));
    QCOMPARE(f.file().toHex(), expected.toHex());
}

void tst_ShownDayCommands::aFileDeletedBehindTheProgramIsWrittenBackWhole()
{
    ShownDayFixture f;
    f.view.type(0, QStringLiteral("mine"));
    QVERIFY(f.day.save().allOnDisk());
    QVERIFY(QFile::remove(f.folder.path));
    f.view.type(1, QStringLiteral("more"));
    [[maybe_unused]] const SaveReport second = f.day.save(); // what the user was told is checked below
    QByteArray mine;
    for (int no = 1; no <= 5; ++no)
        mine += slot(0, no, no == 1 ? "mine" : no == 2 ? "more" : "", false, Day41411);
    QCOMPARE(f.prompts.informed.size(), 1);
    QVERIFY(f.prompts.informed[0].contains(QStringLiteral("被删除")));
    QCOMPARE(f.file(), mine); // everything held, written back whole
}

QTEST_GUILESS_MAIN(tst_ShownDayCommands)
#include "tst_showndaycommands.moc"
