#include "thingmerge.h"

#include <QTest>

using thingmerge::Outcome;

Q_DECLARE_METATYPE(std::optional<ThingInput>)
Q_DECLARE_METATYPE(ThingInput)
Q_DECLARE_METATYPE(thingmerge::Outcome)

// The rule both the synced folder and the calendar server use to bring two copies together.
class tst_ThingMerge : public QObject
{
    Q_OBJECT

private slots:
    void merge_data();
    void merge();
    void joinedFitsTheBoxOrNothing();
};

static ThingInput t(const char *text, bool done = false) { return ThingInput{QString::fromUtf8(text), done}; }

void tst_ThingMerge::merge_data()
{
    QTest::addColumn<std::optional<ThingInput>>("base");
    QTest::addColumn<ThingInput>("mine");
    QTest::addColumn<ThingInput>("theirs");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<ThingInput>("value");

    const std::optional<ThingInput> none;
    QTest::newRow("untouched on both sides") << std::optional(t("a")) << t("a") << t("a") << Outcome::Same << t("a");
    QTest::newRow("changed here only") << std::optional(t("a")) << t("mine") << t("a") << Outcome::KeepMine << t("mine");
    QTest::newRow("changed there only") << std::optional(t("a")) << t("a") << t("theirs") << Outcome::TakeTheirs
                                        << t("theirs");
    QTest::newRow("changed alike on both") << std::optional(t("a")) << t("b", true) << t("b", true) << Outcome::Same
                                           << t("b", true);
    QTest::newRow("text changed on both") << std::optional(t("a")) << t("mine") << t("theirs") << Outcome::Conflict
                                          << t("mine");
    QTest::newRow("ticked there, text here") << std::optional(t("a")) << t("new text") << t("a", true)
                                             << Outcome::Combined << t("new text", true);
    QTest::newRow("ticked here, text there") << std::optional(t("a")) << t("a", true) << t("review PR #42", false)
                                             << Outcome::Combined << t("review PR #42", true);
    QTest::newRow("emptied here, edited there") << std::optional(t("a")) << t("") << t("edited") << Outcome::Conflict
                                                << t("");
    QTest::newRow("emptied there, untouched here") << std::optional(t("a")) << t("a") << t("") << Outcome::TakeTheirs
                                                   << t("");
    QTest::newRow("new there, nothing here") << std::optional(t("")) << t("") << t("new") << Outcome::TakeTheirs << t("new");
    QTest::newRow("no base: the same") << none << t("x", true) << t("x", true) << Outcome::Same << t("x", true);
    QTest::newRow("no base: empty here") << none << t("") << t("copy") << Outcome::TakeTheirs << t("copy");
    QTest::newRow("no base: empty there") << none << t("mine") << t("") << Outcome::KeepMine << t("mine");
    QTest::newRow("no base: only the tick differs") << none << t("x") << t("x", true) << Outcome::Conflict << t("x");
    QTest::newRow("no base: both written") << none << t("mine") << t("theirs") << Outcome::Conflict << t("mine");
}

void tst_ThingMerge::merge()
{
    QFETCH(std::optional<ThingInput>, base);
    QFETCH(ThingInput, mine);
    QFETCH(ThingInput, theirs);
    const thingmerge::Result r = thingmerge::merge(base, mine, theirs);
    QFETCH(Outcome, outcome);
    QFETCH(ThingInput, value);
    QCOMPARE(r.outcome, outcome);
    QCOMPARE(r.value.text, value.text);
    QCOMPARE(r.value.done, value.done);
}

void tst_ThingMerge::joinedFitsTheBoxOrNothing()
{
    const auto both = thingmerge::joined(t("写报告", true), t("email the report", true));
    QVERIFY(both);
    QCOMPARE(both->text, QString::fromUtf8("写报告 / email the report"));
    QVERIFY(both->done);
    QCOMPARE(thingmerge::joined(t("a", true), t("b"))->done, false);
    QCOMPARE(thingmerge::joined(t(""), t("only"))->text, QStringLiteral("only"));
    QCOMPARE(thingmerge::joined(t("mine / theirs"), t("theirs"))->text, QStringLiteral("mine / theirs")); // joined before
    // 80 double-byte characters fill the box alone; nothing more fits beside them.
    const ThingInput full{QString(80, QChar(0x4E00)), false};
    QVERIFY(!thingmerge::joined(full, t("x")));
    QVERIFY(!thingmerge::joined(t("a"), ThingInput{QStringLiteral("\U0001F600"), false}));
}

QTEST_APPLESS_MAIN(tst_ThingMerge)
#include "tst_thingmerge.moc"
