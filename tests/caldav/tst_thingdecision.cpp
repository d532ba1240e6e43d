// What happens to one thing and its to-do, for every mixture of agreement, change and absence.
// Expectations are written out by hand, never computed by the merge rule under test.
#include "thingdecision.h"

#include <QTest>

using thingdecision::Decision;
using thingdecision::Settle;
using Maybe = std::optional<ThingInput>;
Q_DECLARE_METATYPE(ThingInput)
Q_DECLARE_METATYPE(Maybe)

namespace {

const ThingInput Milk{"buy milk", false};
const ThingInput MilkDone{"buy milk", true};
const ThingInput Bread{"buy bread", false};
const ThingInput Oat{"buy oat milk", false};
const ThingInput Empty{};
const Maybe None;

constexpr int Keep = int(Decision::Server::Keep);
constexpr int Put = int(Decision::Server::Put);
constexpr int Delete = int(Decision::Server::Delete);
constexpr int Create = int(Decision::Server::Create);

} // namespace

class tst_ThingDecision : public QObject
{
    Q_OBJECT

private slots:
    void decide_data()
    {
        QTest::addColumn<Maybe>("base");
        QTest::addColumn<ThingInput>("here");
        QTest::addColumn<Maybe>("server"); // none: no to-do there
        QTest::addColumn<bool>("linked");
        QTest::addColumn<int>("settle");
        QTest::addColumn<Maybe>("setHere");
        QTest::addColumn<int>("action");
        QTest::addColumn<ThingInput>("sent");
        QTest::addColumn<bool>("conflict");
        QTest::addColumn<bool>("unlink");

        const int ask = int(Settle::Ask);
        auto row = [](const char *name, Maybe base, ThingInput here, Maybe server, bool linked, int settle, Maybe setHere,
                      int action, ThingInput sent, bool conflict, bool unlink) {
            QTest::newRow(name) << base << here << server << linked << settle << setHere << action << sent << conflict << unlink;
        };
        row("made here", None, Milk, None, false, ask, None, Create, Milk, false, false);
        row("nothing on either side", None, Empty, None, false, ask, None, Keep, Empty, false, true);
        row("new on both sides, the same", None, Milk, Milk, true, ask, None, Keep, Empty, false, false);
        row("new on both sides, different", None, Milk, Bread, true, ask, None, Keep, Empty, true, false);
        row("new there, nothing here", None, Empty, Bread, true, ask, Bread, Keep, Empty, false, false);
        row("unchanged", Milk, Milk, Milk, true, ask, None, Keep, Empty, false, false);
        row("changed there", Milk, Milk, Oat, true, ask, Oat, Keep, Empty, false, false);
        row("changed here", Milk, Bread, Milk, true, ask, None, Put, Bread, false, false);
        row("text here, tick there", Milk, Bread, MilkDone, true, ask, ThingInput{"buy bread", true}, Put, ThingInput{"buy bread", true}, false, false);
        row("both changed the text", Milk, Bread, Oat, true, ask, None, Keep, Empty, true, false);
        row("both changed, keep here", Milk, Bread, Oat, true, int(Settle::KeepHere), None, Put, Bread, false, false);
        row("both changed, take the server's", Milk, Bread, Oat, true, int(Settle::TakeServer), Oat, Keep, Empty, false, false);
        row("both changed, keep both", Milk, Bread, Oat, true, int(Settle::KeepBoth), ThingInput{"buy bread / buy oat milk", false}, Put, ThingInput{"buy bread / buy oat milk", false}, false, false);
        row("keep both, too long for one thing", Milk, ThingInput{QString(60, QChar(0x6C49)), false}, ThingInput{QString(30, QChar(0x6C49)), false}, true, int(Settle::KeepBoth), None, Keep, Empty, true, false);
        row("emptied here, unchanged there", Milk, Empty, Milk, true, ask, None, Delete, Empty, false, true);
        row("emptied here, ticked there", Milk, Empty, MilkDone, true, ask, None, Keep, Empty, true, false);
        row("emptied here, ticked there, keep here", Milk, Empty, MilkDone, true, int(Settle::KeepHere), None, Delete, Empty, false, true);
        row("emptied here, ticked there, take the server's", Milk, Empty, MilkDone, true, int(Settle::TakeServer), MilkDone, Keep, Empty, false, false);
        row("deleted there, unchanged here", Milk, Milk, None, true, ask, Empty, Keep, Empty, false, true);
        row("deleted there, emptied here", Milk, Empty, None, true, ask, None, Keep, Empty, false, true);
        row("deleted there, changed here", Milk, Bread, None, true, ask, None, Keep, Empty, true, false);
        row("deleted there, changed here, keep here", Milk, Bread, None, true, int(Settle::KeepHere), None, Create, Bread, false, false);
        row("deleted there, changed here, take the server's", Milk, Bread, None, true, int(Settle::TakeServer), Empty, Keep, Empty, false, true);
        row("deleted there, never agreed", None, Bread, None, true, ask, None, Create, Bread, false, false);
        row("emptied there, the to-do kept", Milk, Milk, Empty, true, ask, Empty, Keep, Empty, false, false);
    }

    void decide()
    {
        QFETCH(Maybe, base);
        QFETCH(ThingInput, here);
        QFETCH(Maybe, server);
        QFETCH(bool, linked);
        QFETCH(int, settle);
        const Decision d = thingdecision::decide(base, here, server, linked, Settle(settle));
        QTEST(d.setHere, "setHere");
        QTEST(int(d.server), "action");
        QTEST(d.conflict, "conflict");
        QTEST(d.unlink, "unlink");
        if (d.server == Decision::Server::Put || d.server == Decision::Server::Create)
            QTEST(d.serverValue, "sent");
    }
};

QTEST_GUILESS_MAIN(tst_ThingDecision)
#include "tst_thingdecision.moc"
