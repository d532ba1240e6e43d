// Things both sides changed, held until the user chooses: kept beside the day file at once, so
// that the next start after a close, a kill or a power cut holds them again; decided again when
// the other computer changes one again; and what each answer to the question means.
#include "othercomputer.h"

#include <QTest>

using namespace othercomputer;

class tst_HeldThings : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }

    void bothChangedTheSameThing_data();
    void bothChangedTheSameThing();
    void aNewerVersionWinsOnlyWhenChosen_data();
    void aNewerVersionWinsOnlyWhenChosen();
    void whatEachAnswerMeans_data();
    void whatEachAnswerMeans();
};

void tst_HeldThings::bothChangedTheSameThing_data()
{
    QTest::addColumn<std::optional<thingdecision::Choice>>("choice");
    QTest::addColumn<QByteArray>("kept"); // thing 1 in the file after the choice
    QTest::newRow("this computer's") << std::optional(thingdecision::Choice::Mine) << QByteArray("review mine");
    QTest::newRow("the other's") << std::optional(thingdecision::Choice::Theirs) << QByteArray("review theirs");
    QTest::newRow("both") << std::optional(thingdecision::Choice::Both) << QByteArray("review mine / review theirs");
    QTest::newRow("put off") << std::optional<thingdecision::Choice>() << QByteArray("review theirs");
    QTest::newRow("put off, no room beside the file") << std::optional<thingdecision::Choice>() << QByteArray("review theirs");
    QTest::newRow("put off, then a text the day file cannot hold") << std::optional<thingdecision::Choice>() << QByteArray("review theirs");
    QTest::newRow("put off, then the day changed from elsewhere") << std::optional<thingdecision::Choice>() << QByteArray("review theirs");
    QTest::newRow("put off, then the day cleared") << std::optional<thingdecision::Choice>() << QByteArray("review theirs");
}

// One question lists the thing; until the user chooses, the file keeps their version and this
// side's stays on screen, kept at once beside the day file: the next start, after a close or a
// kill, holds it again.
void tst_HeldThings::bothChangedTheSameThing()
{
    QFETCH(std::optional<thingdecision::Choice>, choice);
    QFETCH(QByteArray, kept);
    const QByteArray tag = QTest::currentDataTag();
    ShownDayFixture f(QDateTime(QDate(2013, 5, 17), QTime(9, 30)), ourFile());
    replaceWith(f, withThing(ourFile(), 1, slot(0, 1, "review theirs", false, Day41411)));
    f.view.setText(0, QStringLiteral("review mine"));
    f.prompts.choices = {choice};
    if (tag == "put off, no room beside the file") {
        f.disk.readOnly = true;
        f.disk.readOnlySuffix = QStringLiteral(".new");
    }
    bool keptWhileAsked = false; // a kill while the question is open loses nothing either
    f.prompts.whileAsked = [&] { keptWhileAsked = QFile::exists(f.day.held().path()); };
    QVERIFY(f.day.goToDay(QDate(2013, 5, 18)));
    f.prompts.whileAsked = {};
    QCOMPARE(keptWhileAsked, !f.disk.readOnly);
    QCOMPARE(f.prompts.conflictsAsked.size(), size_t(1));
    QCOMPARE(f.prompts.conflictsAsked[0].mine.text, QStringLiteral("review mine"));
    QCOMPARE(f.prompts.conflictsAsked[0].theirs->text, QStringLiteral("review theirs"));
    QCOMPARE(f.file().left(200).toHex(), slot(0, 1, kept, false, Day41411).toHex());
    QVERIFY(f.day.goToDay(QDate(2013, 5, 17)));
    QCOMPARE(f.view.texts()[0], choice ? QString::fromUtf8(kept) : QStringLiteral("review mine"));
    QCOMPARE(f.file().left(200).toHex(), slot(0, 1, kept, false, Day41411).toHex()); // still not written over
    QCOMPARE(QFile::exists(f.day.held().path()), !choice && !f.disk.readOnly);
    if (choice)
        return;
    const QDate today(2013, 5, 17);
    QString mine = QStringLiteral("review mine");
    if (tag == "put off, no room beside the file") { // told at once, and closing asks
        QCOMPARE(f.prompts.informed.size(), 1);
        QVERIFY(f.prompts.informed[0].contains(QStringLiteral("无法存放到日程文件旁边")));
        f.prompts.answerYes = false;
        QVERIFY(!f.mayClose()); // back to the window with this side's version
        QVERIFY(f.prompts.asked.last().contains(QStringLiteral("仍要关闭吗")));
        QCOMPARE(f.view.texts()[0], mine);
        QVERIFY(f.day.holds(today, 1));
        return;
    }
    if (tag == "put off, then a text the day file cannot hold") { // chosen at close, refused: held on
        mine = QStringLiteral("review mine 🎉");
        f.view.setText(0, mine);
        f.prompts.choices = {thingdecision::Choice::Mine};
    } else if (tag == "put off, then the day changed from elsewhere") { // a calendar server's change to thing 2
        QVERIFY(f.day.goToDay(QDate(2013, 5, 18)));
        QCOMPARE(outsidechanges::bringIn(f.day, {{today, 2, {QStringLiteral("mail Bob"), true}}}).status, SaveReport::Status::OnDisk);
        QVERIFY(f.day.goToDay(today));
        QCOMPARE(f.view.texts()[1], QStringLiteral("mail Bob"));
    } else if (tag == "put off, then the day cleared") {
        f.prompts.answerYes = true;
        QVERIFY(f.commands.clearDay());
        mine.clear();
    }
    QVERIFY(f.day.holds(today, 1)); // emptied here is a version of its own
    QVERIFY(f.mayClose());
    QCOMPARE(f.file().left(200).toHex(), slot(0, 1, kept, false, Day41411).toHex()); // never written over
    NextStart next(f);
    QVERIFY(next.day.holds(today, 1));
    QCOMPARE(next.view.texts()[0], mine);
    QCOMPARE(next.file().left(200).toHex(), slot(0, 1, kept, false, Day41411).toHex());
}

void tst_HeldThings::aNewerVersionWinsOnlyWhenChosen_data()
{
    QTest::addColumn<bool>("killed"); // else the newer copy comes in while the program runs
    QTest::addColumn<std::optional<thingdecision::Choice>>("choice");
    QTest::addColumn<QByteArray>("kept"); // thing 1 in the file afterwards
    QTest::newRow("while running, the other's") << false << std::optional(thingdecision::Choice::Theirs)
                                                 << QByteArray("review theirs, again");
    QTest::newRow("after a kill, the other's") << true << std::optional(thingdecision::Choice::Theirs)
                                               << QByteArray("review theirs, again");
    QTest::newRow("after a kill, this computer's") << true << std::optional(thingdecision::Choice::Mine)
                                                   << QByteArray("review mine");
    QTest::newRow("after a kill, put off") << true << std::optional<thingdecision::Choice>()
                                           << QByteArray("review theirs, again");
}

// A thing held, then changed again on the other computer: the question shows the newest version,
// and only a choice puts it in the file.
void tst_HeldThings::aNewerVersionWinsOnlyWhenChosen()
{
    QFETCH(bool, killed);
    QFETCH(std::optional<thingdecision::Choice>, choice);
    QFETCH(QByteArray, kept);
    const QDate today(2013, 5, 17);
    ShownDayFixture f(QDateTime(today, QTime(9, 30)), ourFile());
    replaceWith(f, withThing(ourFile(), 1, slot(0, 1, "review theirs", false, Day41411)));
    f.view.setText(0, QStringLiteral("review mine"));
    f.prompts.choices = {std::optional<thingdecision::Choice>()}; // put off
    f.day.saveByHand();
    QVERIFY(f.day.holds(today, 1));
    replaceWith(f, withThing(ourFile(), 1, slot(0, 1, "review theirs, again", false, Day41411)));
    std::optional<NextStart> next;
    if (killed) // the first program is never closed
        next.emplace(f);
    else
        QTRY_COMPARE(f.day.held().all().front().theirs->text, QStringLiteral("review theirs, again"));
    ShownDay &day = killed ? next->day : f.day;
    FakePrompts &prompts = killed ? next->prompts : f.prompts;
    const FakeView &view = killed ? next->view : f.view;
    QCOMPARE(view.texts()[0], QStringLiteral("review mine"));
    QCOMPARE(f.file().left(200).toHex(), slot(0, 1, "review theirs, again", false, Day41411).toHex());

    prompts.choices = {choice};
    day.folder().offerHeld(QStringLiteral("?"));
    QCOMPARE(prompts.conflictsAsked.back().theirs->text, QStringLiteral("review theirs, again"));
    QCOMPARE(prompts.conflictsAsked.back().mine.text, QStringLiteral("review mine"));
    QCOMPARE(f.file().left(200).toHex(), slot(0, 1, kept, false, Day41411).toHex());
    QCOMPARE(view.texts()[0], choice ? QString::fromUtf8(kept) : QStringLiteral("review mine"));
    QCOMPARE(day.holds(today, 1), !choice);
}

void tst_HeldThings::whatEachAnswerMeans_data()
{
    QTest::addColumn<bool>("cancelled"); // else put off, row by row
    QTest::addColumn<bool>("atClose");   // asked by closing, else by the next save by hand
    QTest::addColumn<int>("asked");      // how often the question came, all told
    QTest::addColumn<bool>("closes");
    QTest::newRow("put off: not asked at the next save") << false << false << 1 << true;
    QTest::newRow("cancelled: asked at the next save") << true << false << 2 << true;
    QTest::newRow("put off at close: the window closes") << false << true << 2 << true;
    QTest::newRow("cancelled at close: back to the window") << true << true << 2 << false;
}

// 以后再说 puts a thing off until the edit menu or close; 取消 decides nothing now and asks again at
// the next occasion, and at close goes back to the window.
void tst_HeldThings::whatEachAnswerMeans()
{
    QFETCH(bool, cancelled);
    QFETCH(bool, atClose);
    QFETCH(int, asked);
    QFETCH(bool, closes);
    ShownDayFixture f(QDateTime(QDate(2013, 5, 17), QTime(9, 30)), ourFile());
    replaceWith(f, withThing(ourFile(), 1, slot(0, 1, "review theirs", false, Day41411)));
    f.view.setText(0, QStringLiteral("review mine"));
    if (!cancelled)
        f.prompts.choices = {std::optional<thingdecision::Choice>()};
    f.day.saveByHand();
    f.view.setText(1, QStringLiteral("mail Bob"));
    if (atClose)
        QCOMPARE(f.mayClose(), closes);
    else
        f.day.saveByHand();
    QCOMPARE(f.prompts.conflictsAsked.size(), size_t(asked));
    QVERIFY(f.day.holds(QDate(2013, 5, 17), 1));
    QCOMPARE(f.view.texts()[0], QStringLiteral("review mine"));
    QCOMPARE(f.file().left(400).toHex(), (slot(0, 1, "review theirs", false, Day41411)
                                          + slot(0, 2, "mail Bob", false, Day41411)).toHex());
}

QTEST_GUILESS_MAIN(tst_HeldThings)
#include "tst_heldthings.moc"
