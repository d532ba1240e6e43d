// Two day books and a phone change a handful of things at random while the proxy drops, fails and
// stalls requests, syncs crash after a random save of their state, and the server is restored
// from a backup; then the books sync without faults until nothing moves. What each thing must
// then hold is kept here, apart from the sync: the value of the last act on it.
//
// Acts on a thing take turns, as people who see each other's changes do: a book acts on a thing
// only while it shows the last act's value and either made that act or synced since without a
// conflict on it; the phone only while the server holds that value and each book synced it since
// or never had it (so a deletion falls between two syncs of each book that shows the thing). A conflict the sync reports (a book that
// cannot know its own change reached the server, or that took in a change it did not record) is
// the user's to settle: a book keeps its version if it made the last act, else takes the server's.
#include "crashingstore.h"
#include "faultproxy.h"
#include "syncside.h"
#include "testserver.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

using Fault = FaultProxy::Fault;
using Things = std::map<ThingKey, ThingInput>;

constexpr quint32 DefaultSeed = 6; // one that, on Xandikos, catches each fault mended on the way
constexpr int Steps = 600;
constexpr int Phone = 2;  // the actors: book 0, book 1, the phone
constexpr int Server = 3; // the author of what a restored backup holds
const std::vector<ThingKey> Keys{key(8, 1), key(8, 2), key(9, 1), key(9, 2), key(10, 1), key(10, 2)};

QString actorName(int actor)
{
    return QStringList{"A", "B", "phone", "backup"}.at(actor);
}

QString show(const ThingInput &thing)
{
    return thing.isEmpty() ? QStringLiteral("(empty)") : thing.text + (thing.done ? QStringLiteral(" [done]") : QString());
}

ThingInput valueIn(const Things &things, const ThingKey &k)
{
    const auto found = things.find(k);
    return found == things.end() ? ThingInput{} : found->second;
}

} // namespace

class tst_SyncRandom : public QObject
{
    Q_OBJECT

    TestServer m_server;
    QString m_name;
    QUrl m_calendar;
    std::unique_ptr<FaultProxy> m_proxy;
    SyncSide m_books[2];
    std::map<ThingKey, syncplanner::SettledConflict> m_settle[2]; // the user's answers to reported conflicts
    Things m_latest;                                       // the value of the last act on each thing
    std::map<ThingKey, int> m_author;                      // who made it
    std::map<ThingKey, int> m_when;                        // and when: the how-manieth act
    std::set<std::pair<int, ThingKey>> m_synced;           // books that synced the last act since
    std::set<std::pair<int, ThingKey>> m_unsettled;        // see holdsLatest
    QRandomGenerator m_random;
    QStringList m_trace;
    QStringList m_violations;
    std::map<QString, int> m_tally; // what happened, to see what a seed covers
    int m_acts = 0;

    void violation(const QString &what)
    {
        if (!m_violations.contains(what)) // once, though every later sync meets it again
            m_violations << what;
    }

    // What the server stores, read from its folder, by the thing its number and due day name;
    // with problems, what no thing or more than one thing shows.
    std::map<ThingKey, TestServer::Todo> onServer(QStringList *problems = nullptr)
    {
        std::map<ThingKey, TestServer::Todo> found;
        for (const auto &[uid, todo] : m_server.todos(m_name)) {
            const ThingKey k{QDate::fromString(todo.due, QStringLiteral("yyyyMMdd")), todo.number.toInt()};
            if ((std::find(Keys.begin(), Keys.end(), k) == Keys.end() || !found.emplace(k, todo).second) && problems)
                *problems << QStringLiteral("the server holds %1 (%2) twice or for no thing").arg(uid, todo.summary);
        }
        return found;
    }

    Things serverThings(QStringList *problems = nullptr)
    {
        Things things;
        for (const auto &[k, todo] : onServer(problems))
            things[k] = {todo.summary, todo.done};
        return things;
    }

    bool holdsLatest(int actor, const ThingKey &k)
    {
        // A sync cut off after the server or the day book took a change, before the state said
        // so, leaves the book unable to tell that change from one made since: nobody acts on the
        // thing until that book syncs again. (A deletion meanwhile would come back: a thing here
        // and no to-do there looks like a thing never sent.)
        if (m_unsettled.count({0, k}) || m_unsettled.count({1, k}))
            return false;
        const ThingInput latest = valueIn(m_latest, k);
        const bool author = m_author.count(k) && m_author.at(k) == actor;
        if (actor != Phone)
            return valueIn(m_books[actor].book.values, k) == latest && (author || m_synced.count({actor, k}));
        // A book that never took the thing in has nothing to lose by the phone's act.
        auto settled = [&](int b) { return m_synced.count({b, k}) || !m_books[b].book.values.count(k); };
        return !latest.isEmpty() && valueIn(serverThings(), k) == latest && (author || (settled(0) && settled(1)));
    }

    void record(int actor, const ThingKey &k, const ThingInput &value, const QString &what)
    {
        m_latest[k] = value;
        m_author[k] = actor;
        m_when[k] = ++m_acts;
        m_synced.erase({0, k});
        m_synced.erase({1, k});
        m_trace << QStringLiteral("%1 %2 %3: %4").arg(actorName(actor), what, k.toString(), show(value));
        ++m_tally[actorName(actor) + u' ' + what];
    }

    void act(int actor)
    {
        std::vector<ThingKey> mine;
        std::copy_if(Keys.begin(), Keys.end(), std::back_inserter(mine), [&](const ThingKey &k) { return holdsLatest(actor, k); });
        if (mine.empty())
            return;
        // Half the time the phone takes up what changed last, as one does with a thing that just
        // came in (and what a sync just sent is what a listing can miss).
        const auto newest = std::max_element(mine.begin(), mine.end(), [&](const ThingKey &a, const ThingKey &b) { return m_when[a] < m_when[b]; });
        const ThingKey k = actor == Phone && m_random.bounded(2) ? *newest : mine[m_random.bounded(int(mine.size()))];
        const ThingInput was = valueIn(m_latest, k);
        const QString text = QStringLiteral("%1%2").arg(actorName(actor)).arg(m_acts + 1);
        // The phone deletes as often as it edits and ticks: deletions are what a listing can miss.
        const int kind = was.isEmpty() ? 0 : std::min(m_random.bounded(actor == Phone ? 4 : 3), 2);
        const ThingInput now = kind == 0 ? ThingInput{text, was.done} : kind == 1 ? ThingInput{was.text, !was.done} : ThingInput{};
        const QString what = QStringList{"writes", "ticks", actor == Phone ? "deletes" : "empties"}.at(kind);
        if (actor != Phone) {
            m_books[actor].book.values[k] = now; // emptied, the thing keeps its record
        } else {
            const QUrl url = m_calendar.resolved(QUrl(onServer().at(k).file));
            const bool done = now.isEmpty() ? deleteOnServer(url)
                                            : editOnServer(url, now.text, now.done ? "COMPLETED" : "NEEDS-ACTION");
            if (!done)
                violation(QStringLiteral("the server refused the phone's act on %1").arg(k.toString()));
        }
        record(actor, k, now, what);
    }

    // One of the proxy's faults for the next sync, or a crash after a few saves of the state.
    std::unique_ptr<CrashingStore> armFault(SyncSide &side, QString *name)
    {
        const int fault = m_random.bounded(12);
        const QByteArray method = QList<QByteArray>{"REPORT", "PUT", "DELETE", ""}.at(m_random.bounded(4));
        const Fault faults[] = {Fault::DropAfterAnswer, Fault::Answer500, Fault::Answer503, Fault::Stall};
        side.timeout = std::chrono::milliseconds(fault == 8 ? 300 : 5000);
        if (fault < 5)
            return nullptr;
        *name = QStringList{"dropped", "500", "503", "stalled", "crash"}.at(std::min(fault - 5, 4)) + u' ' + method;
        if (fault < 9) {
            m_proxy->setFault(faults[fault - 5], method, 1);
            return nullptr;
        }
        return std::make_unique<CrashingStore>(side, *m_proxy, m_random.bounded(8));
    }

    SyncReport sync(int b, bool faults)
    {
        SyncSide &side = m_books[b];
        SyncOptions options;
        options.settled = m_settle[b];
        options.allowDeletions = -1; // these users mean every deletion they make; the bound is tested elsewhere
        QString fault;
        std::unique_ptr<CrashingStore> crashing = faults ? armFault(side, &fault) : nullptr;
        if (crashing)
            side.whileRunning = [&](CalDavSync &job) { crashing->job = &job; };
        const Things serverBefore = serverThings();
        const SyncReport report = side.sync(m_proxy->via(m_calendar), options, crashing.get());
        side.whileRunning = nullptr;
        m_proxy->waitUntilIdle(); // a stopped sync's last request may still be on its way
        side.book.failApply = false;
        m_proxy->setFault(Fault::None, {}, 0);
        side.timeout = std::chrono::milliseconds(5000);

        const bool crashed = crashing && crashing->crashed; // a dead program reports nothing
        const bool finished = !crashed && (report.status == SyncReport::Status::InStep || report.status == SyncReport::Status::Conflicts);
        m_trace << QStringLiteral("sync %1%2: status %3, %4 in, %5 sent, %6 deleted there %7")
                       .arg(actorName(b), fault.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(fault))
                       .arg(int(report.status)).arg(report.received).arg(report.sent).arg(report.deletedThere).arg(report.failure);
        ++m_tally[faults ? QStringLiteral("syncs, faults on") : QStringLiteral("syncs, faults off")];
        m_tally[QStringLiteral("failed")] += !finished;
        m_tally[QStringLiteral("crashed")] += crashed;
        m_tally[QStringLiteral("conflicts")] += int(report.conflicts.size());
        for (const syncplanner::LeftOnServer &left : report.left)
            violation(QStringLiteral("%1 set aside %2: %3").arg(actorName(b), left.summary, left.why));
        std::map<ThingKey, thingdecision::Conflict> conflicts;
        for (const thingdecision::Conflict &c : report.conflicts)
            conflicts.emplace(c.key, c);
        const Things serverAfter = serverThings();
        for (const ThingKey &k : Keys) {
            // A sync that ends in step (nothing else changes the server meanwhile) leaves the
            // book showing what the server holds, but where it reports a conflict.
            if (finished && !conflicts.count(k) && valueIn(side.book.values, k) != valueIn(serverAfter, k))
                violation(QStringLiteral("after a sync of %1, %2 shows %3 but the server holds %4")
                              .arg(actorName(b), k.toString(), show(valueIn(side.book.values, k)), show(valueIn(serverAfter, k))));
            const bool tookIn = crashed && valueIn(crashing->bookAtLastSave, k) != valueIn(side.book.values, k);
            if (!finished && (tookIn || valueIn(serverBefore, k) != valueIn(serverAfter, k)))
                m_unsettled.insert({b, k});
            else if (finished)
                m_unsettled.erase({b, k});
            if (finished && !conflicts.count(k) && valueIn(side.book.values, k) == valueIn(m_latest, k))
                m_synced.insert({b, k});
            else
                m_synced.erase({b, k});
            if (finished && !conflicts.count(k))
                m_settle[b].erase(k);
        }
        for (const auto &[k, conflict] : conflicts) {
            const bool mine = m_author.count(k) && m_author.at(k) == b;
            m_settle[b][k] = {mine ? thingdecision::Choice::Mine : thingdecision::Choice::Theirs, conflict};
            m_trace << QStringLiteral("%1 settles a conflict on %2 for %3").arg(actorName(b), k.toString(), mine ? "itself" : "the server");
        }
        return report;
    }

    // Syncs without faults until a round of both changes nothing.
    void syncUntilQuiet()
    {
        for (int round = 0; round < 8; ++round) {
            bool moved = false;
            for (int b : {0, 1}) {
                const SyncReport report = sync(b, false);
                moved = moved || !report.ok() || report.received + report.sent + report.deletedThere > 0;
            }
            if (!moved)
                return;
        }
        violation(QStringLiteral("the books did not come to rest in 8 rounds of fault-free syncs"));
    }

    // Every thing holds the last act's value in both books and on the server.
    void check(const QString &when)
    {
        const Things stored = serverThings(&m_violations);
        for (const ThingKey &k : Keys) {
            const ThingInput latest = valueIn(m_latest, k);
            const ThingInput a = valueIn(m_books[0].book.values, k);
            const ThingInput b = valueIn(m_books[1].book.values, k);
            const ThingInput there = valueIn(stored, k);
            if (a != latest || b != latest || there != latest)
                violation(QStringLiteral("%1, %2: the last act (%3's) left %4, but A holds %5, B %6, the server %7")
                              .arg(when, k.toString(), actorName(m_author.count(k) ? m_author.at(k) : Server),
                                   show(latest), show(a), show(b), show(there)));
        }
    }

private slots:
    void initTestCase()
    {
        START_SERVER_OR_SKIP(m_server);
        m_calendar = m_server.newCalendar(&m_name);
        QVERIFY(m_calendar.isValid());
        m_proxy = std::make_unique<FaultProxy>(m_server.root());
    }

    void randomActsAndFaultsConverge()
    {
        const quint32 seed = qEnvironmentVariableIsSet("TALLYLEAF_SYNC_SEED")
            ? quint32(qEnvironmentVariableIntValue("TALLYLEAF_SYNC_SEED")) : DefaultSeed;
        qInfo("seed %u (TALLYLEAF_SYNC_SEED chooses another), %d steps on %s", seed, Steps, qPrintable(TestServer::program()));
        m_random.seed(seed);
        for (int step = 0; step < Steps; ++step) {
            m_trace << QStringLiteral("-- step %1").arg(step);
            if (step == Steps / 3) {
                QVERIFY(m_server.backUp());
                m_trace << QStringLiteral("backup taken");
            } else if (step == 2 * Steps / 3) {
                syncUntilQuiet();
                check(QStringLiteral("before the restore"));
                const QString why = m_server.restoreBackup();
                QVERIFY2(why.isEmpty(), qPrintable(why));
                const Things restored = serverThings();
                for (const ThingKey &k : Keys) // the last act on every thing
                    record(Server, k, valueIn(restored, k), QStringLiteral("restores"));
            }
            const int what = m_random.bounded(10);
            if (what < 6)
                act(what / 2);
            else
                sync(what % 2, true);
        }
        syncUntilQuiet();
        check(QStringLiteral("at the end"));
        QStringList tally;
        for (const auto &[what, count] : m_tally)
            tally << QStringLiteral("%1 %2").arg(what).arg(count);
        qInfo("%s", qPrintable(tally.join(u", ")));
        if (!m_violations.isEmpty())
            qInfo("%s", qPrintable(m_trace.join(u'\n')));
        QVERIFY2(m_violations.isEmpty(), qPrintable(QStringLiteral("seed %1:\n").arg(seed) + m_violations.join(u'\n')));
    }
};

QTEST_GUILESS_MAIN(tst_SyncRandom)
#include "tst_syncrandom.moc"
