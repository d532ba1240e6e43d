// Another copy of the day book meeting this one: the file that replaced ours on disk, and a sync
// tool's conflict copy. Every expectation is written out by hand.
#include "copymerge.h"
#include "daytable.h"
#include "gbk.h"
#include "oledate.h"

#include <QTest>

namespace {

const QDate Day1(2026, 12, 8), Day2(2026, 12, 9);

ThingInput t(const char *text, bool done = false) { return {QString::fromUtf8(text), done}; }

// A day book holding the given things: (day, number, thing), a record each, in order.
struct Record
{
    QDate day;
    int number;
    ThingInput thing;
};
DayTable tableOf(const std::vector<Record> &records)
{
    DayTable table;
    for (const Record &r : records)
        table.append(DayRecord{0, r.number, *gbk::encode(r.thing.text), qint16(r.thing.done ? -1 : 0), oledate::fromDate(r.day)});
    return table;
}

// "day/number=text" with " √" for done, of every thing the plan writes, and "!day/number" per conflict.
QStringList described(const copymerge::Plan &plan, const DayTable &table)
{
    QStringList out;
    for (const auto &[day, things] : plan.days) {
        const DayThings before = thingsOfDay(table, day);
        for (int n = 0; n < 5; ++n) {
            if (!(things[size_t(n)] == before[size_t(n)]))
                out << QStringLiteral("%1/%2=%3%4").arg(day.day()).arg(n + 1).arg(things[size_t(n)].text,
                                                                              things[size_t(n)].done ? " √" : "");
        }
    }
    for (const thingdecision::Conflict &c : plan.conflicts)
        out << QStringLiteral("!%1/%2").arg(c.key.day.day()).arg(c.key.number);
    return out;
}

} // namespace

Q_DECLARE_METATYPE(std::vector<DayFile::OwedThing>)
Q_DECLARE_METATYPE(std::vector<Record>)
Q_DECLARE_METATYPE(std::vector<thingdecision::Conflict>)

class tst_CopyMerge : public QObject
{
    Q_OBJECT

private slots:
    void intoReplacement_data();
    void intoReplacement();
    void fromCopy();
    void heldAgain_data();
    void heldAgain();
    void conflictCopyNames_data();
    void conflictCopyNames();
};

void tst_CopyMerge::intoReplacement_data()
{
    QTest::addColumn<std::vector<DayFile::OwedThing>>("owed"); // this side: changed since the file was read
    QTest::addColumn<std::vector<Record>>("theirs");           // the file that replaced ours
    QTest::addColumn<QStringList>("plan");
    using O = DayFile::OwedThing;
    const std::vector<Record> unchanged{{Day1, 1, t("review")}, {Day1, 2, t("mail")}, {Day2, 1, t("gym")}};

    QTest::newRow("another day changed there") << std::vector<O>{{Day1, 2, t("mail"), t("mail Bob")}}
                                               << std::vector<Record>{{Day1, 1, t("review")}, {Day1, 2, t("mail")},
                                                                      {Day2, 1, t("gym at 6")}}
                                               << QStringList{"8/2=mail Bob"};
    QTest::newRow("the same day, another thing there")
        << std::vector<O>{{Day1, 2, t("mail"), t("mail Bob")}, {Day1, 1, t("review"), t("review")}}
        << std::vector<Record>{{Day1, 1, t("review PR #42 (other PC)", true)}, {Day1, 2, t("mail")}}
        << QStringList{"8/2=mail Bob"}; // their thing 1 stands: this side did not change it
    QTest::newRow("the same thing on both sides") << std::vector<O>{{Day1, 1, t("review"), t("review mine")}}
                                                  << std::vector<Record>{{Day1, 1, t("review theirs")}}
                                                  << QStringList{"!8/1"};
    QTest::newRow("a tick there, the text here") << std::vector<O>{{Day1, 1, t("review"), t("review #42")}}
                                                 << std::vector<Record>{{Day1, 1, t("review", true)}}
                                                 << QStringList{"8/1=review #42 √"};
    QTest::newRow("emptied here, edited there") << std::vector<O>{{Day1, 1, t("review"), t("")}}
                                                << std::vector<Record>{{Day1, 1, t("review today")}}
                                                << QStringList{"!8/1"};
    QTest::newRow("a day appended there") << std::vector<O>{{Day1, 2, t("mail"), t("mail Bob")}}
                                          << std::vector<Record>{{Day1, 1, t("review")}, {Day1, 2, t("mail")},
                                                                 {Day2, 3, t("new there")}}
                                          << QStringList{"8/2=mail Bob"};
    QTest::newRow("a byte-identical file") << std::vector<O>{{Day1, 2, t("mail"), t("mail Bob")}} << unchanged
                                           << QStringList{"8/2=mail Bob"};
    QTest::newRow("nothing changed here") << std::vector<O>{} << unchanged << QStringList{};
    QTest::newRow("their file shorter: it never had the day") << std::vector<O>{{Day2, 1, t("gym"), t("gym")}}
                                                              << std::vector<Record>{{Day1, 1, t("review")}}
                                                              << QStringList{"9/1=gym"};
    QTest::newRow("a day new on both sides") << std::vector<O>{{Day2, 1, std::nullopt, t("mine")}}
                                             << std::vector<Record>{{Day2, 1, t("theirs")}} << QStringList{"!9/1"};
    QTest::newRow("their duplicate: the last one counts")
        << std::vector<O>{{Day1, 1, t("review"), t("review")}}
        << std::vector<Record>{{Day1, 1, t("review")}, {Day1, 1, t("changed there")}} << QStringList{};
}

void tst_CopyMerge::intoReplacement()
{
    QFETCH(std::vector<DayFile::OwedThing>, owed);
    QFETCH(std::vector<Record>, theirs);
    QFETCH(QStringList, plan);
    const DayTable table = tableOf(theirs);
    QCOMPARE(described(copymerge::intoReplacement(owed, table), table), plan);
}

void tst_CopyMerge::fromCopy()
{
    // Without a base: the copy's thing comes in where ours is empty, ours stays where the copy's
    // is empty, the same is nothing, and two different texts are a conflict.
    const DayTable ours = tableOf({{Day1, 1, t("")}, {Day1, 2, t("mine")}, {Day1, 3, t("same")}, {Day1, 4, t("a")}});
    const DayTable copy = tableOf({{Day1, 1, t("theirs", true)}, {Day1, 2, t("")}, {Day1, 3, t("same")},
                                   {Day1, 4, t("b")}, {Day2, 5, t("only there")}});
    const copymerge::Plan plan = copymerge::fromCopy(ours, copy);
    QCOMPARE(described(plan, ours), (QStringList{"8/1=theirs √", "9/5=only there", "!8/4"}));
    QCOMPARE(plan.fromThem, 2);
    QCOMPARE(thingdecision::settle(plan.conflicts.front(), thingdecision::Choice::Both).value->text, QStringLiteral("a / b"));
    QCOMPARE(plan.conflicts.front().theirVersion, copymerge::versionOf(t("b")));

    // A copy this program wrote aside holds this computer's versions: the columns are turned.
    const copymerge::Plan own = copymerge::fromOwnCopy(ours, copy);
    QCOMPARE(described(own, ours), (QStringList{"8/1=theirs √", "9/5=only there", "!8/4"}));
    QCOMPARE(own.conflicts.front().mine, t("b"));
    QCOMPARE(*own.conflicts.front().theirs, t("a"));
    QCOMPARE(own.conflicts.front().theirVersion, copymerge::versionOf(t("a")));
    QVERIFY(copymerge::versionOf(t("a", true)) != copymerge::versionOf(t("a")));
}

void tst_CopyMerge::heldAgain_data()
{
    QTest::addColumn<std::vector<thingdecision::Conflict>>("held"); // base "review", theirs as first seen
    QTest::addColumn<std::vector<Record>>("file");                   // the day file as it is now
    QTest::addColumn<QStringList>("plan");
    QTest::addColumn<QString>("theirsNow"); // the held conflict's other version, when still held
    const auto held = [](const char *mine) {
        return std::vector<thingdecision::Conflict>{
            {{Day1, 1}, t("review"), t(mine), t("review theirs"), copymerge::versionOf(t("review theirs"))}};
    };
    QTest::newRow("the other side unchanged: still held")
        << held("review mine") << std::vector<Record>{{Day1, 1, t("review theirs")}} << QStringList{"!8/1"}
        << "review theirs";
    QTest::newRow("changed there again: held with the newest")
        << held("review mine") << std::vector<Record>{{Day1, 1, t("review theirs, v2")}} << QStringList{"!8/1"}
        << "review theirs, v2";
    QTest::newRow("the other side took this computer's: let go")
        << held("review mine") << std::vector<Record>{{Day1, 1, t("review mine")}} << QStringList{} << QString();
    QTest::newRow("the other side went back to the agreed one: this computer's written")
        << held("review mine") << std::vector<Record>{{Day1, 1, t("review")}} << QStringList{"8/1=review mine"} << QString();
    QTest::newRow("a version the day file cannot hold stays held with the newest")
        << held("review 🎉") << std::vector<Record>{{Day1, 1, t("review")}} << QStringList{"!8/1"} << "review";
}

void tst_CopyMerge::heldAgain()
{
    QFETCH(std::vector<thingdecision::Conflict>, held);
    QFETCH(std::vector<Record>, file);
    QFETCH(QStringList, plan);
    QFETCH(QString, theirsNow);
    const DayTable table = tableOf(file);
    // The file's version of the held thing, written back while it was held, gives way to the held one.
    const std::vector<DayFile::OwedThing> owed{{Day1, 1, t("review theirs"), t("review theirs")}};
    const copymerge::Plan merged = copymerge::heldAgain(held, table, owed);
    QCOMPARE(described(merged, table), plan);
    if (!theirsNow.isEmpty()) {
        QCOMPARE(merged.conflicts.front().theirs->text, theirsNow);
        QCOMPARE(merged.conflicts.front().theirVersion, copymerge::versionOf(t(qPrintable(theirsNow))));
        QCOMPARE(merged.conflicts.front().mine, held.front().mine);
    }
}

void tst_CopyMerge::conflictCopyNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("isCopy");
    QTest::addColumn<bool>("own"); // written aside by this program
    QTest::newRow("Syncthing") << "things.sync-conflict-20261208-153012-ABCDEFG.dat" << true << false;
    QTest::newRow("Nextcloud") << "things (conflicted copy 2026-12-08 153012).dat" << true << false;
    QTest::newRow("Dropbox") << "things (Laptop's conflicted copy 2026-12-08).dat" << true << false;
    QTest::newRow("Dropbox, a second of the day") << "things (Laptop's conflicted copy 2026-12-08 (1)).dat" << true << false;
    QTest::newRow("this program's own") << "things (Tallyleaf conflicted copy 2026-12-08 153012).dat" << true << true;
    QTest::newRow("the day file itself") << "things.dat" << false << false;
    QTest::newRow("its journal") << "things.dat.journal" << false << false;
    QTest::newRow("its held things") << "things.dat.held-3f9a0c1d2e4b" << false << false;
    QTest::newRow("a copy already merged") << "things.sync-conflict-20261208-153012-ABCDEFG.dat.merged" << false << false;
    QTest::newRow("another file's copy") << "notes.sync-conflict-20261208-153012-ABCDEFG.dat" << false << false;
}

void tst_CopyMerge::conflictCopyNames()
{
    QFETCH(QString, name);
    QFETCH(bool, isCopy);
    QFETCH(bool, own);
    QCOMPARE(copymerge::isConflictCopyName(name, QStringLiteral("things.dat")), isCopy);
    QCOMPARE(copymerge::isOwnConflictCopyName(name, QStringLiteral("things.dat")), own);
}

QTEST_APPLESS_MAIN(tst_CopyMerge)
#include "tst_copymerge.moc"
