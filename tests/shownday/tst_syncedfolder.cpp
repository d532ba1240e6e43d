// The day file in a folder another computer shares: its copy put in place of ours while the
// program runs, and the conflict copies sync tools leave beside it.
#include "othercomputer.h"

#include <QDir>
#include <QTest>

using namespace othercomputer;


class tst_SyncedFolder : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }

    void replacedWhileRunning_data();
    void replacedWhileRunning();
    void everyRoadShowsWhatTheFileHolds_data();
    void everyRoadShowsWhatTheFileHolds();
    void theirDaysAppearWhileIdle();
    void conflictCopiesAreMergedAndKept_data();
    void conflictCopiesAreMergedAndKept();
};

void tst_SyncedFolder::replacedWhileRunning_data()
{
    QTest::addColumn<QByteArray>("ending");
    QTest::addColumn<bool>("identical");
    for (const char *ending : {"move", "close", "end of the session"}) {
        QTest::addRow("their edits, then %s", ending) << QByteArray(ending) << false;
        QTest::addRow("a byte-identical copy, then %s", ending) << QByteArray(ending) << true;
    }
}

// The other computer ticked and rewrote thing 1 and wrote tomorrow's thing; this side edits thing
// 2 meanwhile. Both come through, and nothing is asked.
void tst_SyncedFolder::replacedWhileRunning()
{
    QFETCH(QByteArray, ending);
    QFETCH(bool, identical);
    ShownDayFixture f(QDateTime(QDate(2013, 5, 17), QTime(9, 30)), ourFile());
    const QByteArray theirs = identical
        ? ourFile()
        : withThing(ourFile(), 1, slot(0, 1, "review PR #42 (other PC)", true, Day41411)) + daySlots(41412.0, "new there");
    replaceWith(f, theirs);
    f.view.setText(1, QStringLiteral("mail Bob"));
    if (ending == "move")
        QVERIFY(f.day.goToDay(QDate(2013, 5, 18)));
    else if (ending == "close")
        QVERIFY(f.mayClose());
    else {
        f.day.beginEnding();
        QVERIFY(f.mayClose());
    }
    QVERIFY2(f.prompts.asked.isEmpty(), qPrintable(f.prompts.asked.join(QLatin1Char('\n'))));
    QVERIFY(f.prompts.informed.isEmpty());
    const QByteArray expected = withThing(theirs, 2, slot(0, 2, "mail Bob", false, Day41411));
    QCOMPARE(f.file().toHex(), expected.toHex());
}

void tst_SyncedFolder::everyRoadShowsWhatTheFileHolds_data()
{
    QTest::addColumn<QByteArray>("road");
    QTest::addColumn<std::optional<thingdecision::Choice>>("choice"); // for thing 1, which both changed
    QTest::addColumn<QByteArray>("fileOne");                          // thing 1 in the file afterwards
    QTest::addColumn<QString>("viewOne");                              // and on screen
    const std::optional<thingdecision::Choice> cancelled;
    for (const char *road : {"save by hand", "leaving the day and back", "the calendar", "copy to the next day",
                             "clear, then undo", "closing, then back to the window", "a change from the server"})
        QTest::newRow(road) << QByteArray(road) << cancelled << QByteArray("review theirs") << "review mine";
    QTest::newRow("choosing this computer's") << QByteArray("save by hand") << std::optional(thingdecision::Choice::Mine)
                                              << QByteArray("review mine") << "review mine";
    QTest::newRow("choosing the other's") << QByteArray("save by hand") << std::optional(thingdecision::Choice::Theirs)
                                          << QByteArray("review theirs") << "review theirs";
    QTest::newRow("choosing both") << QByteArray("save by hand") << std::optional(thingdecision::Choice::Both)
                                   << QByteArray("review mine / review theirs") << "review mine / review theirs";
    QTest::newRow("choosing the other's later, from the menu")
        << QByteArray("from the menu") << std::optional(thingdecision::Choice::Theirs) << QByteArray("review theirs")
        << "review theirs";
    QTest::newRow("the watcher, while idle") << QByteArray("the watcher") << cancelled << QByteArray("review theirs")
                                             << "review theirs";
}

// The other computer rewrote thing 2 (and thing 1, which this side rewrote too) while this side
// typed into box 5; its copy is renamed over the day file. Whatever road comes next, the file and
// the view hold thing 2 as the other computer wrote it, and the next save keeps it.
void tst_SyncedFolder::everyRoadShowsWhatTheFileHolds()
{
    QFETCH(QByteArray, road);
    QFETCH(std::optional<thingdecision::Choice>, choice);
    QFETCH(QByteArray, fileOne);
    QFETCH(QString, viewOne);
    ShownDayFixture f(QDateTime(QDate(2013, 5, 17), QTime(9, 30)), ourFile());
    const QDate today(2013, 5, 17);
    const bool idle = road == "the watcher";
    if (!idle) {
        f.view.setText(0, QStringLiteral("review mine"));
        f.view.setText(4, QStringLiteral("call Ann"));
    }
    const QByteArray theirs = withThing(withThing(ourFile(), 1, slot(0, 1, "review theirs", false, Day41411)), 2,
                                        slot(0, 2, "mail Bob (other PC)", true, Day41411));
    replaceWith(f, theirs);
    if (choice && road != "from the menu") // else the question is cancelled
        f.prompts.choices = {choice};
    if (road == "save by hand" || road == "from the menu") {
        f.day.saveByHand();
        f.prompts.choices = {choice};
        if (road == "from the menu")
            f.day.folder().offerHeld(QStringLiteral("?"));
    } else if (road == "leaving the day and back") {
        QVERIFY(f.day.goToDay(today.addDays(1)));
        QVERIFY(f.day.goToDay(today));
    } else if (road == "the calendar") {
        QVERIFY(f.day.writeShownDay());
    } else if (road == "copy to the next day") {
        QVERIFY(f.commands.copyToNextDay());
        QCOMPARE(f.view.texts()[1], QStringLiteral("mail Bob (other PC)")); // what is copied is fresh
        QCOMPARE(f.file().mid(1200, 200).toHex(), slot(0, 2, "mail Bob (other PC)", false, Day41412).toHex());
        QVERIFY(f.day.goToDay(today));
    } else if (road == "clear, then undo") {
        QVERIFY(f.commands.clearDay());
        QVERIFY(f.commands.undo());
    } else if (road == "closing, then back to the window") {
        QVERIFY(!f.mayClose()); // the held thing's question cancelled
    } else if (road == "a change from the server") {
        QCOMPARE(outsidechanges::bringIn(f.day, {{today, 3, {QStringLiteral("from the server")}}}).status, SaveReport::Status::Replaced);
        QVERIFY(outsidechanges::bringIn(f.day, {{today, 3, {QStringLiteral("from the server")}}}).allOnDisk()); // the sync's next try
        QCOMPARE(f.view.texts()[2], QStringLiteral("from the server"));
    } else {
        QTRY_COMPARE(f.view.texts()[1], QStringLiteral("mail Bob (other PC)"));
    }
    QVERIFY2(f.prompts.informed.isEmpty(), qPrintable(f.prompts.informed.join(u'\n')));
    QCOMPARE(f.view.texts()[0], viewOne);
    QCOMPARE(f.view.texts()[1], QStringLiteral("mail Bob (other PC)"));
    QCOMPARE(f.view.ticks()[1], true);
    QCOMPARE(f.view.texts()[4], idle ? QString() : QStringLiteral("call Ann"));
    QCOMPARE(f.day.holds(today, 1), !idle && !choice);

    f.view.setText(3, QStringLiteral("box 4")); // the next save keeps what the other computer wrote
    f.prompts.choices = {std::optional<thingdecision::Choice>()}; // put off, should it be asked again
    f.day.saveByHand();
    const QByteArray file = f.file();
    QCOMPARE(file.left(200).toHex(), slot(0, 1, fileOne, false, Day41411).toHex());
    QCOMPARE(file.mid(200, 200).toHex(), slot(0, 2, "mail Bob (other PC)", true, Day41411).toHex());
    QCOMPARE(file.mid(600, 200).toHex(), slot(0, 4, "box 4", false, Day41411).toHex());
    QCOMPARE(file.mid(800, 200).toHex(), slot(0, 5, idle ? "" : "call Ann", false, Day41411).toHex());
}

void tst_SyncedFolder::theirDaysAppearWhileIdle()
{
    ShownDayFixture f(QDateTime(QDate(2013, 5, 17), QTime(9, 30)), ourFile());
    replaceWith(f, withThing(ourFile(), 1, slot(0, 1, "review PR #42 (other PC)", true, Day41411)));
    QTRY_COMPARE(f.view.texts()[0], QStringLiteral("review PR #42 (other PC)"));
    QCOMPARE(f.view.ticks()[0], true);
    QVERIFY(!f.day.isDirty());
    QVERIFY(f.prompts.asked.isEmpty());
}

void tst_SyncedFolder::conflictCopiesAreMergedAndKept_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("throughLink"); // the day file's path is a link into the synced folder
    QTest::newRow("Syncthing") << "things.sync-conflict-20130517-093000-ABCDEFG.dat" << false;
    QTest::newRow("Nextcloud") << "things (conflicted copy 2013-05-17 093000).dat" << false;
    QTest::newRow("Dropbox") << "things (Laptop's conflicted copy 2013-05-17).dat" << false;
    QTest::newRow("Syncthing, beside the file a link leads to") << "things.sync-conflict-20130517-093000-ABCDEFG.dat"
                                                                << true;
    // Written aside at close by earlier versions: this computer's versions, offered as such.
    QTest::newRow("this program's own") << "things (Tallyleaf conflicted copy 2013-05-17 093000).dat" << false;
}

void tst_SyncedFolder::conflictCopiesAreMergedAndKept()
{
    QFETCH(QString, name);
    QFETCH(bool, throughLink);
    ShownDayFixture f(QDateTime(QDate(2013, 5, 17), QTime(9, 30)), ourFile());
    DayFolder synced;
    if (throughLink) {
        QVERIFY(QFile::rename(f.folder.path, synced.path));
        QVERIFY(QFile::link(synced.path, f.folder.path));
        f.day.reload();
    }
    // The copy wrote thing 3 (empty here) and changed thing 1 (a conflict, kept as the copy has it).
    const QString copy = (throughLink ? synced : f.folder).file(name);
    QVERIFY(writeFile(copy, withThing(withThing(ourFile(), 3, slot(0, 3, "call mum", true, Day41411)), 1,
                                      slot(0, 1, "review their way", false, Day41411))));
    const bool own = copymerge::isOwnConflictCopyName(name, QStringLiteral("things.dat"));
    f.prompts.choices = {thingdecision::Choice::Theirs};
    f.day.folder().offerConflictCopies();
    QCOMPARE(f.prompts.asked.size(), 2); // the offer, and the one conflict
    QVERIFY(f.prompts.asked[0].contains(QDir::toNativeSeparators(copy)));
    QVERIFY(f.prompts.asked[0].contains(own ? QStringLiteral("Tallyleaf 以前关闭时留下的") : QStringLiteral("同步软件留下的")));
    QCOMPARE(f.prompts.conflictsAsked[0].mine.text, own ? QStringLiteral("review their way") : QStringLiteral("review"));
    QCOMPARE(f.view.texts()[2], QStringLiteral("call mum"));
    QCOMPARE(f.view.texts()[0], own ? QStringLiteral("review") : QStringLiteral("review their way"));
    QVERIFY(!QFile::exists(copy));
    QVERIFY(QFile::exists(copy + QStringLiteral(".merged"))); // moved aside, never deleted
    f.day.folder().offerConflictCopies(); // offered once
    QCOMPARE(f.prompts.asked.size(), 2);
}

QTEST_GUILESS_MAIN(tst_SyncedFolder)
#include "tst_syncedfolder.moc"
