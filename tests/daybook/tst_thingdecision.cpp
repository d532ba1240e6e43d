// The one rule every merge follows, for every mixture of agreement, change, emptying, absence and
// deletion, with and without a choice. Expectations are written out by hand, never computed by the
// rule under test.
#include "thingdecision.h"
#include "thingmerge.h"

#include <QTest>

using thingdecision::Choice;
using Maybe = std::optional<ThingInput>;
Q_DECLARE_METATYPE(ThingInput)
Q_DECLARE_METATYPE(Maybe)

namespace {

const ThingInput Milk{"buy milk", false};
const ThingInput MilkDone{"buy milk", true};
const ThingInput Bread{"buy bread", false};
const ThingInput BreadDone{"buy bread", true};
const ThingInput Oat{"buy oat milk", false};
const ThingInput Empty{};
const Maybe None;
constexpr int Ask = -1;
constexpr int Mine = int(Choice::Mine);
constexpr int Theirs = int(Choice::Theirs);
constexpr int Both = int(Choice::Both);

} // namespace

class tst_ThingDecision : public QObject
{
    Q_OBJECT

private slots:
    void decide_data()
    {
        QTest::addColumn<Maybe>("base");
        QTest::addColumn<Maybe>("mine");   // none: no record of it here
        QTest::addColumn<Maybe>("theirs"); // none: deleted there
        QTest::addColumn<int>("settle");
        QTest::addColumn<Maybe>("value"); // none: a conflict
        QTest::addColumn<bool>("tooLongToJoin");

        auto row = [](const char *name, Maybe base, Maybe mine, Maybe theirs, int settle, Maybe value, bool tooLong = false) {
            QTest::newRow(name) << base << mine << theirs << settle << value << tooLong;
        };
        const ThingInput longMine{QString(60, QChar(0x6C49)), false};
        const ThingInput longTheirs{QString(30, QChar(0x6C49)), false};
        const ThingInput party{QStringLiteral("party \U0001F389"), false};

        row("made here", None, Milk, Empty, Ask, Milk);
        row("unchanged", Milk, Milk, Milk, Ask, Milk);
        row("changed there", Milk, Milk, Oat, Ask, Oat);
        row("changed here", Milk, Bread, Milk, Ask, Bread);
        row("the same change on both sides", Milk, BreadDone, BreadDone, Ask, BreadDone);
        row("text here, tick there", Milk, Bread, MilkDone, Ask, BreadDone);
        row("tick here, text there", Milk, MilkDone, Bread, Ask, BreadDone);
        row("both changed the text", Milk, Bread, Oat, Ask, None);
        row("both changed, keep mine", Milk, Bread, Oat, Mine, Bread);
        row("both changed, take theirs", Milk, Bread, Oat, Theirs, Oat);
        row("both changed, keep both", Milk, Bread, Oat, Both, ThingInput{"buy bread / buy oat milk", false});
        row("both changed, keep both, too long for one thing", Milk, longMine, longTheirs, Both, None, true);
        // A choice settles only the field in conflict: the other side's tick stays either way.
        row("text on both, tick there, keep mine", Milk, Bread, ThingInput{"buy oat milk", true}, Mine, BreadDone);
        row("text on both, tick here, take theirs", Milk, BreadDone, Oat, Theirs, ThingInput{"buy oat milk", true});
        row("text on both, tick there, keep both", Milk, Bread, ThingInput{"buy oat milk", true}, Both,
            ThingInput{"buy bread / buy oat milk", true});
        row("kept both before: not joined again", Milk, ThingInput{"a / b / c / d", false}, ThingInput{"c / d", false},
            Both, ThingInput{"a / b / c / d", false});

        row("emptied here, unchanged there", Milk, Empty, Milk, Ask, Empty);
        row("emptied here, ticked there", Milk, Empty, MilkDone, Ask, None);
        row("emptied here, ticked there, keep mine", Milk, Empty, MilkDone, Mine, Empty);
        row("emptied here, ticked there, take theirs", Milk, Empty, MilkDone, Theirs, MilkDone);
        row("emptied there, unchanged here", Milk, Milk, Empty, Ask, Empty);
        row("emptied there, ticked here", Milk, MilkDone, Empty, Ask, None);
        row("emptied there, ticked here, keep mine", Milk, MilkDone, Empty, Mine, MilkDone);
        row("text taken away there, tick taken away here", MilkDone, Milk, ThingInput{"", true}, Ask, None);

        row("deleted there, unchanged here", Milk, Milk, None, Ask, Empty);
        row("deleted there, emptied here", Milk, Empty, None, Ask, Empty);
        row("deleted there, changed here", Milk, Bread, None, Ask, None);
        row("deleted there, changed here, keep mine", Milk, Bread, None, Mine, Bread);
        row("deleted there, changed here, take theirs", Milk, Bread, None, Theirs, Empty);
        row("deleted there, never agreed", None, Bread, None, Ask, None);

        row("no base: nothing here", None, Empty, Bread, Ask, Bread);
        row("no base: nothing there", None, Bread, Empty, Ask, Bread);
        row("no base: only the tick differs", None, Milk, MilkDone, Ask, None);
        row("no base: both written", None, Bread, Oat, Ask, None);
        row("no base: both written, keep both", None, Bread, Oat, Both, ThingInput{"buy bread / buy oat milk", false});

        // A book that did not load, or a file put in place of the day file, holds no record of
        // things both sides agreed on: that is never the user emptying them.
        row("no record here, unchanged there", Milk, None, Milk, Ask, Milk);
        row("no record here, deleted there", Milk, None, None, Ask, Empty);
        row("no record here, changed there", Milk, None, Oat, Ask, Oat);

        // What the day file cannot hold as it is never replaces what it holds.
        row("changed there to what no thing holds", Milk, Milk, party, Ask, None);
        row("changed there to what no thing holds, take theirs", Milk, Bread, party, Theirs, None);
        row("changed there to what no thing holds, keep mine", Milk, Bread, party, Mine, Bread);
        row("changed and ticked there to what no thing holds, keep mine", Milk, Milk, ThingInput{party.text, true},
            Mine, MilkDone);
        row("keep both with what no thing holds", Milk, Bread, party, Both, None, true);
    }

    void decide()
    {
        QFETCH(Maybe, base);
        QFETCH(Maybe, mine);
        QFETCH(Maybe, theirs);
        QFETCH(int, settle);
        const thingdecision::Decision d =
            thingdecision::decide(base, mine, theirs, settle == Ask ? std::nullopt : std::optional(Choice(settle)));
        QTEST(d.value, "value");
        QTEST(d.tooLongToJoin, "tooLongToJoin");
    }

    void joinedFitsTheBoxOrNothing()
    {
        const auto both = thingmerge::joined({"写报告", true}, {"email the report", true});
        QVERIFY(both);
        QCOMPARE(both->text, QString::fromUtf8("写报告 / email the report"));
        QVERIFY(both->done);
        QCOMPARE(thingmerge::joined({"a", true}, {"b", false})->done, false);
        QCOMPARE(thingmerge::joined(Empty, {"only", false})->text, QStringLiteral("only"));
        // 80 double-byte characters fill the box alone; nothing more fits beside them.
        QVERIFY(!thingmerge::joined({QString(80, QChar(0x4E00)), false}, {"x", false}));
    }
};

QTEST_APPLESS_MAIN(tst_ThingDecision)
#include "tst_thingdecision.moc"
