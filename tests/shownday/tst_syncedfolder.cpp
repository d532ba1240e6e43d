// The day file in a folder another computer shares: its copy put in place of ours while the
// program runs, and the conflict copies sync tools leave beside it.
#include "showndayfixture.h"

#include "slotimage.h"

#include <QDir>
#include <QTest>

using namespace slotimage;

Q_DECLARE_METATYPE(std::optional<thingdecision::Choice>)

namespace {

// Today, 17 May 2013: "review" and "mail"; tomorrow nothing.
QByteArray ourFile()
{
    return slot(0, 1, "review", false, Day41411) + slot(0, 2, "mail", false, Day41411) + slot(0, 3, "", false, Day41411)
        + slot(0, 4, "", false, Day41411) + slot(0, 5, "", false, Day41411);
}

// As a sync tool puts another computer's file in place: written beside, then renamed over ours.
void replaceWith(const ShownDayFixture &f, const QByteArray &theirs)
{
    const QString beside = f.folder.file(QStringLiteral(".things.dat.tmp"));
    QVERIFY(writeFile(beside, theirs));
    QVERIFY(::rename(QFile::encodeName(beside).constData(), QFile::encodeName(f.folder.path).constData()) == 0);
}

QByteArray withThing(QByteArray file, int slotNumber, const QByteArray &slotBytes)
{
    return file.replace((slotNumber - 1) * 200, 200, slotBytes);
}

} // namespace

class tst_SyncedFolder : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }

    void replacedWhileRunning_data();
    void replacedWhileRunning();
    void bothChangedTheSameThing_data();
    void bothChangedTheSameThing();
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
        QVERIFY(f.day.mayClose());
    else {
        f.day.beginEnding();
        QVERIFY(f.day.mayClose());
    }
    QVERIFY2(f.prompts.asked.isEmpty(), qPrintable(f.prompts.asked.join(QLatin1Char('\n'))));
    QVERIFY(f.prompts.informed.isEmpty());
    const QByteArray expected = withThing(theirs, 2, slot(0, 2, "mail Bob", false, Day41411));
    QCOMPARE(f.file().toHex(), expected.toHex());
}

void tst_SyncedFolder::bothChangedTheSameThing_data()
{
    QTest::addColumn<std::optional<thingdecision::Choice>>("choice");
    QTest::addColumn<QByteArray>("kept"); // thing 1 in the file after the choice
    QTest::newRow("this computer's") << std::optional(thingdecision::Choice::Mine) << QByteArray("review mine");
    QTest::newRow("the other's") << std::optional(thingdecision::Choice::Theirs) << QByteArray("review theirs");
    QTest::newRow("both") << std::optional(thingdecision::Choice::Both) << QByteArray("review mine / review theirs");
    QTest::newRow("put off") << std::optional<thingdecision::Choice>() << QByteArray("review theirs");
    QTest::newRow("put off, no room for the copy") << std::optional<thingdecision::Choice>() << QByteArray("review theirs");
    QTest::newRow("put off, then a text the copy cannot hold") << std::optional<thingdecision::Choice>() << QByteArray("review theirs");
    QTest::newRow("put off, then the day changed from elsewhere") << std::optional<thingdecision::Choice>() << QByteArray("review theirs");
    QTest::newRow("put off, then the day cleared") << std::optional<thingdecision::Choice>() << QByteArray("review theirs");
}

// One question lists the thing; until the user chooses, the file keeps their version and this
// side's stays on screen; at the end of the session it is written aside, never lost.
void tst_SyncedFolder::bothChangedTheSameThing()
{
    QFETCH(std::optional<thingdecision::Choice>, choice);
    QFETCH(QByteArray, kept);
    ShownDayFixture f(QDateTime(QDate(2013, 5, 17), QTime(9, 30)), ourFile());
    replaceWith(f, withThing(ourFile(), 1, slot(0, 1, "review theirs", false, Day41411)));
    f.view.setText(0, QStringLiteral("review mine"));
    f.prompts.choices = {choice};
    QVERIFY(f.day.goToDay(QDate(2013, 5, 18)));
    QCOMPARE(f.prompts.conflictsAsked.size(), size_t(1));
    QCOMPARE(f.prompts.conflictsAsked[0].mine.text, QStringLiteral("review mine"));
    QCOMPARE(f.prompts.conflictsAsked[0].theirs->text, QStringLiteral("review theirs"));
    QCOMPARE(f.file().left(200).toHex(), slot(0, 1, kept, false, Day41411).toHex());
    QVERIFY(f.day.goToDay(QDate(2013, 5, 17)));
    QCOMPARE(f.view.texts()[0], choice ? QString::fromUtf8(kept) : QStringLiteral("review mine"));
    QCOMPARE(f.file().left(200).toHex(), slot(0, 1, kept, false, Day41411).toHex()); // still not written over
    if (choice)
        return;
    const QByteArray tag = QTest::currentDataTag();
    const QDate today(2013, 5, 17);
    QString mine = QStringLiteral("review mine");
    if (tag == "put off, no room for the copy" || tag == "put off, then a text the copy cannot hold") {
        if (tag.endsWith("no room for the copy")) {
            f.disk.readOnly = true;
            f.disk.readOnlySuffix = QStringLiteral(").dat");
        } else { // chosen at close, which the day book refuses: it stays held, and cannot go aside
            mine = QStringLiteral("review mine 🎉");
            f.view.setText(0, mine);
            f.prompts.choices = {thingdecision::Choice::Mine};
        }
        f.prompts.answerYes = false;
        QVERIFY(!f.day.mayClose()); // told, and back to the window with this side's version
        QVERIFY(f.prompts.asked.last().contains(QStringLiteral("冲突副本")));
        QCOMPARE(f.view.texts()[0], mine);
        QVERIFY(f.day.holds(today, 1));
        QVERIFY(QDir(f.folder.folder()).entryList({QStringLiteral("*conflicted copy*")}).isEmpty());
        return;
    }
    if (tag == "put off, then the day changed from elsewhere") { // a calendar server's change to thing 2
        QVERIFY(f.day.goToDay(QDate(2013, 5, 18)));
        QCOMPARE(f.day.bringIn({{today, 2, {QStringLiteral("mail Bob"), true}}}).status, SaveReport::Status::OnDisk);
        QVERIFY(f.day.goToDay(today));
        QCOMPARE(f.view.texts()[1], QStringLiteral("mail Bob"));
    } else if (tag == "put off, then the day cleared") {
        f.prompts.answerYes = true;
        QVERIFY(f.day.clearDay());
        mine.clear();
    }
    QVERIFY(f.day.holds(today, 1)); // emptied here is a version of its own
    QCOMPARE(f.file().left(200).toHex(), slot(0, 1, kept, false, Day41411).toHex()); // never written over
    f.day.beginEnding();
    QVERIFY(f.day.mayClose());
    const QStringList aside = QDir(f.folder.folder()).entryList({QStringLiteral("things (Tallyleaf conflicted copy *).dat")});
    QCOMPARE(aside.size(), 1);
    const QByteArray firstAside = readFile(f.folder.file(aside[0])).left(200);
    QVERIFY(mine.isEmpty() ? !firstAside.contains("review") : firstAside.contains(mine.toUtf8()));
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
    f.prompts.choices = {thingdecision::Choice::Theirs};
    f.day.offerConflictCopies();
    QCOMPARE(f.prompts.asked.size(), 2); // the offer, and the one conflict
    QVERIFY(f.prompts.asked[0].contains(QDir::toNativeSeparators(copy)));
    QCOMPARE(f.view.texts()[2], QStringLiteral("call mum"));
    QCOMPARE(f.view.texts()[0], QStringLiteral("review their way"));
    QVERIFY(!QFile::exists(copy));
    QVERIFY(QFile::exists(copy + QStringLiteral(".merged"))); // moved aside, never deleted
    f.day.offerConflictCopies(); // offered once
    QCOMPARE(f.prompts.asked.size(), 2);
}

QTEST_GUILESS_MAIN(tst_SyncedFolder)
#include "tst_syncedfolder.moc"
