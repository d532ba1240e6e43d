// The sync cut short: by a proxy that drops, fails or stalls, by another client changing a to-do
// between the fetch and the PUT, and by a crash after any save of the state. Whatever happened,
// the next syncs bring two day files and the other client's to-dos together: nothing lost,
// nothing twice, conflicts shown. And a server that means harm: it gets the password nowhere else.
#include "cannedserver.h"
#include "crashingstore.h"
#include "faultproxy.h"
#include "gbk.h"
#include "testserver.h"
#include "syncside.h"
#include "todomapping.h"

#include <QRegularExpression>
#include <QTest>

namespace {

using Fault = FaultProxy::Fault;

QUrl todoUrl(const QUrl &calendar, const ThingKey &k)
{
    return calendar.resolved(QUrl(todomapping::uidFor(k).section(u'@', 0, 0) + QStringLiteral(".ics")));
}

const std::map<ThingKey, ThingInput> Agreed{
    {key(8, 1), {"buy milk", false}}, {key(8, 2), {"two", false}}, {key(9, 1), {"nine", false}}};
// After: (8,1) edited here, (8,2) emptied here, (8,3) made here, (9,1) edited on the server,
// (10,1) a to-do another client made, and (11,1) made on a second computer.
const std::map<ThingKey, ThingInput> Converged{{key(8, 1), {"buy bread", true}}, {key(8, 3), {"three", false}},
                                               {key(9, 1), {"nine!", false}}, {key(10, 1), {"ten", false}},
                                               {key(11, 1), {"from the other computer", false}}};

} // namespace

class tst_SyncFaults : public QObject
{
    Q_OBJECT

    TestServer m_server;

    // A calendar where Agreed is synced through proxy to this computer's day book and another's,
    // then changed on all sides as Converged says. Its URL through the proxy, which both use.
    QUrl prepare(SyncSide &side, SyncSide &other, QString *name, const FaultProxy &proxy)
    {
        const QUrl calendar = m_server.newCalendar(name);
        side.book.values = Agreed;
        if (side.sync(proxy.via(calendar)).status != SyncReport::Status::InStep
            || other.sync(proxy.via(calendar)).status != SyncReport::Status::InStep)
            return {};
        other.book.values[key(11, 1)] = {"from the other computer", false};
        side.book.values[key(8, 1)] = {"buy bread", true};
        side.book.values[key(8, 2)] = {}; // emptied: its record stays
        side.book.values[key(8, 3)] = {"three", false};
        if (!editOnServer(todoUrl(calendar, key(9, 1)), "nine!")
            || http("PUT", calendar.resolved(QUrl("other.ics")),
                    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nBEGIN:VTODO\r\nUID:other\r\nDTSTAMP:20260101T000000Z\r\n"
                    "DUE;VALUE=DATE:20261210\r\nSUMMARY:ten\r\nEND:VTODO\r\nEND:VCALENDAR\r\n",
                    {{"Content-Type", "text/calendar"}})
                       .status != 201)
            return {};
        return proxy.via(calendar);
    }

    // The other computer syncs, then this one, then the other again: all three agree.
    void checkConverged(SyncSide &side, SyncSide &other, const QUrl &calendar, const QString &name)
    {
        for (SyncSide *s : {&other, &side, &other}) {
            const SyncReport report = s->sync(calendar);
            for (const thingdecision::Conflict &c : report.conflicts)
                qWarning("conflict at %s: here %s", qPrintable(c.key.toString()), qPrintable(c.mine.text));
            QVERIFY2(report.ok(), qPrintable(report.failure));
        }
        QCOMPARE(side.book.shown(), Converged);
        QCOMPARE(other.book.shown(), Converged);
        const auto todos = m_server.todos(name);
        QCOMPARE(todos.size(), Converged.size()); // nothing twice, nothing left behind
        QCOMPARE(todos.at(todomapping::uidFor(key(8, 1))).summary, "buy bread");
        QVERIFY(todos.at(todomapping::uidFor(key(8, 1))).done);
        QCOMPARE(todos.at(todomapping::uidFor(key(9, 1))).summary, "nine!");
        const SyncReport quiet = side.sync(calendar);
        QCOMPARE(quiet.received + quiet.sent + quiet.deletedThere, 0);
    }

private slots:
    void initTestCase() { START_SERVER_OR_SKIP(m_server); }

    void faultThenConverge_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<bool>("mayFinish"); // the client may resend and finish anyway

        QTest::newRow("dropped after the server stored a PUT") << int(Fault::DropAfterAnswer) << QByteArray("PUT") << true;
        QTest::newRow("dropped after the server deleted") << int(Fault::DropAfterAnswer) << QByteArray("DELETE") << true;
        QTest::newRow("dropped after the listing") << int(Fault::DropAfterAnswer) << QByteArray("REPORT") << true;
        QTest::newRow("500 for a PUT") << int(Fault::Answer500) << QByteArray("PUT") << false;
        QTest::newRow("503 for the listing") << int(Fault::Answer503) << QByteArray("REPORT") << false;
        QTest::newRow("a PUT stalls") << int(Fault::Stall) << QByteArray("PUT") << false;
        QTest::newRow("the listing stalls") << int(Fault::Stall) << QByteArray("REPORT") << false;
        QTest::newRow("the day book refuses what came in") << int(Fault::None) << QByteArray("apply") << false;
    }

    void faultThenConverge()
    {
        QFETCH(int, fault);
        QFETCH(QByteArray, method);
        QFETCH(bool, mayFinish);
        SyncSide side;
        SyncSide other;
        QString name;
        FaultProxy proxy(m_server.root());
        const QUrl calendar = prepare(side, other, &name, proxy);
        QVERIFY(calendar.isValid());
        proxy.setFault(Fault(fault), method, 1);
        side.book.failApply = method == "apply";
        side.timeout = std::chrono::milliseconds(800);

        const SyncReport cut = side.sync(calendar);
        side.book.failApply = false;
        if (cut.status != SyncReport::Status::InStep || !mayFinish) {
            QCOMPARE(cut.status, method == "apply" ? SyncReport::Status::LocalFailed : SyncReport::Status::ServerFailed);
            QVERIFY(!cut.failure.isEmpty());
        }
        // Nothing made or changed here is lost by a failed sync.
        QCOMPARE(side.book.values.at(key(8, 1)), (ThingInput{"buy bread", true}));
        QCOMPARE(side.book.values.at(key(8, 3)), (ThingInput{"three", false}));
        side.timeout = std::chrono::milliseconds(5000);
        checkConverged(side, other, calendar, name);
    }

    void changedBetweenFetchAndPut_data()
    {
        QTest::addColumn<QString>("serverStatus");
        QTest::addColumn<QString>("serverSummary");
        QTest::addColumn<bool>("conflict");
        QTest::newRow("the other field: both changes kept") << "COMPLETED" << "buy milk" << false;
        QTest::newRow("the same field: a conflict, both as they are") << "" << "buy oat milk" << true;
    }

    void changedBetweenFetchAndPut()
    {
        QFETCH(QString, serverStatus);
        QFETCH(QString, serverSummary);
        QFETCH(bool, conflict);
        QString name;
        const QUrl calendar = m_server.newCalendar(&name);
        FaultProxy proxy(m_server.root());
        SyncSide side;
        side.book.values[key(8, 1)] = {"buy milk", false};
        QCOMPARE(side.sync(proxy.via(calendar)).status, SyncReport::Status::InStep);

        proxy.setChange([&](const QByteArray &) {
            if (!editOnServer(todoUrl(calendar, key(8, 1)), serverSummary, serverStatus))
                qWarning("the other client's edit was refused");
        });
        proxy.setFault(Fault::ChangeFirst, "PUT", 1);
        proxy.resetCounts();
        side.book.values[key(8, 1)] = {"buy bread", false};
        const SyncReport report = side.sync(proxy.via(calendar));
        QCOMPARE(report.status, conflict ? SyncReport::Status::Conflicts : SyncReport::Status::InStep);
        QCOMPARE(report.conflicts.size(), size_t(conflict));
        const TestServer::Todo stored = m_server.todos(name).at(todomapping::uidFor(key(8, 1)));
        if (conflict) {
            QCOMPARE(side.book.values.at(key(8, 1)).text, "buy bread");
            QCOMPARE(stored.summary, "buy oat milk");
        } else {
            QCOMPARE(side.book.values.at(key(8, 1)), (ThingInput{"buy bread", true}));
            QCOMPARE(stored.summary, "buy bread");
            QVERIFY(stored.done);
            QCOMPARE(proxy.requests("PUT"), 2); // refused with 412, fetched, merged, sent again
        }
    }

    void doubtfulAnswersEmptyNothing_data()
    {
        QTest::addColumn<bool>("syncCollection");
        QTest::addColumn<QString>("answer");
        QTest::newRow("a to-do listed without its ETag") << false << "no etag";
        QTest::newRow("the list of to-dos cut short") << false << "cut short";
        QTest::newRow("a changed to-do the multiget does not send") << true << "no data";
    }

    // Answers that leave a to-do out, or name it without saying what it holds, are no news of a
    // deletion: nothing here is emptied for them, and the server's edit still comes in.
    void doubtfulAnswersEmptyNothing()
    {
        QFETCH(bool, syncCollection);
        QFETCH(QString, answer);
        const QUrl calendar = m_server.newCalendar();
        FaultProxy proxy(m_server.root());
        proxy.hideSyncCollection(!syncCollection);
        SyncSide side;
        side.book.values[key(8, 1)] = {"buy milk", false};
        side.book.values[key(8, 2)] = {"call mum", false};
        QCOMPARE(side.sync(proxy.via(calendar)).status, SyncReport::Status::InStep);
        QVERIFY(editOnServer(todoUrl(calendar, key(8, 1)), "buy oat milk"));

        const QRegularExpression::PatternOption dotAll = QRegularExpression::DotMatchesEverythingOption;
        proxy.setRewrite([&](const QByteArray &request, const QByteArray &body) {
            QString text = QString::fromUtf8(body);
            const bool multiget = request.contains("calendar-multiget");
            if (answer == "no etag" && !multiget)
                text.replace(QRegularExpression(QStringLiteral("<(\\w+:)?getetag>[^<]*</(\\w+:)?getetag>")), QString());
            if (answer == "cut short" && !multiget) {
                const QRegularExpression first(QStringLiteral("<(\\w+:|)response>.*?</\\1response>"), dotAll);
                const QString prefix = first.match(text).captured(1);
                text.remove(first.match(text).capturedStart(), first.match(text).capturedLength());
                text.replace(QRegularExpression(QStringLiteral("</(\\w+:)?multistatus>")),
                             QStringLiteral("<%1response><%1href>%2</%1href><%1status>HTTP/1.1 507 Insufficient Storage"
                                            "</%1status></%1response></%1multistatus>")
                                 .arg(prefix, calendar.path()));
            }
            if (answer == "no data" && multiget) {
                text.remove(QRegularExpression(QStringLiteral("<(\\w+:)?calendar-data[^>]*>.*?</(\\w+:)?calendar-data>"), dotAll));
                text.remove(QRegularExpression(QStringLiteral("<(\\w+:)?getetag>[^<]*</(\\w+:)?getetag>")));
            }
            return text.toUtf8();
        });
        [[maybe_unused]] const SyncReport doubtful = side.sync(proxy.via(calendar));
        QCOMPARE(side.book.values.size(), size_t(2)); // nothing emptied
        proxy.setRewrite({});
        QCOMPARE(side.sync(proxy.via(calendar)).status, SyncReport::Status::InStep);
        QCOMPARE(side.book.values.at(key(8, 1)).text, "buy oat milk");
        QCOMPARE(side.book.values.at(key(8, 2)).text, "call mum");
    }

    // A thing holding bytes that are no GBK character stays out of the sync; an edit the server
    // got meanwhile still comes in once the thing can go, though the sync token has moved on.
    void aServerEditWaitsForAThingThatCannotGo()
    {
        const QUrl calendar = m_server.newCalendar();
        SyncSide side;
        side.book.values[key(8, 1)] = {"buy milk", false};
        QCOMPARE(side.sync(calendar).status, SyncReport::Status::InStep);
        const QString cannotGo = QStringLiteral("buy milk ") + QString::fromUcs4(std::u32string{gbk::standInFor(0x80)}.data(), 1);
        side.book.values[key(8, 1)] = {cannotGo, false};
        QVERIFY(editOnServer(todoUrl(calendar, key(8, 1)), "buy oat milk", "COMPLETED"));
        [[maybe_unused]] const SyncReport waiting = side.sync(calendar);
        QCOMPARE(side.book.values.at(key(8, 1)).text, cannotGo);
        side.book.values[key(8, 1)] = {"buy milk", false}; // the odd byte taken out
        QCOMPARE(side.sync(calendar).status, SyncReport::Status::InStep);
        QCOMPARE(side.book.values.at(key(8, 1)), (ThingInput{"buy oat milk", true}));
    }

    void hostileServer_data()
    {
        QTest::addColumn<QByteArray>("answer"); // the named server's to every request; OTHER is a second server
        QTest::addColumn<bool>("trusted");      // the user let the password go to the second server
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("otherServer"); // the address the report names
        QTest::addColumn<QString>("says");

        auto multistatus = [](const QByteArray &responses) {
            return CannedServer::http("207 Multi-Status", "<multistatus xmlns=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:caldav\">"
                                                              + responses + "</multistatus>");
        };
        auto response = [](const QByteArray &href, const QByteArray &prop) {
            return "<response><href>" + href + "</href><propstat><prop>" + prop
                + "</prop><status>HTTP/1.1 200 OK</status></propstat></response>";
        };
        const QByteArray principal = multistatus(response("/", "<current-user-principal><href>OTHER/alice/</href></current-user-principal>"));
        const int setup = int(SyncReport::Status::Setup);
        const int failed = int(SyncReport::Status::ServerFailed);
        QTest::newRow("a principal on another server") << principal << false << setup << "OTHER/alice/" << "on another server";
        QTest::newRow("a calendar home on another server")
            << multistatus(response("/", "<C:calendar-home-set><href>OTHER/cal/</href></C:calendar-home-set>")) << false
            << setup << "OTHER/cal/" << "on another server";
        QTest::newRow("a calendar listed on another server")
            << multistatus(response("/", "<C:calendar-home-set><href>/</href></C:calendar-home-set>")
                           + response("OTHER/cal/", "<resourcetype><collection/><C:calendar/></resourcetype>"))
            << false << setup << "OTHER/cal/" << "on another server";
        QTest::newRow("a redirect to another server") << CannedServer::http("301 Moved Permanently", {}, "Location: OTHER/dav/\r\n")
                                                      << false << setup << "OTHER/dav/" << "on another server";
        QTest::newRow("the other server trusted: asked, with the password") << principal << true << failed << "" << "cannot read your principal";
        QTest::newRow("an answer over the limit, said in words")
            << multistatus("<!--" + QByteArray(100'000, 'x') + "-->") << false << failed << "" << "larger than 10000 bytes";
    }

    void hostileServer()
    {
        QFETCH(QByteArray, answer);
        QFETCH(bool, trusted);
        QFETCH(int, status);
        QFETCH(QString, otherServer);
        QFETCH(QString, says);
        CannedServer other;
        const QString origin = other.url({}).toString();
        CannedServer named(answer.replace("OTHER", origin.toUtf8()));
        SyncSide side;
        side.maxAnswerBytes = 10'000;
        SyncOptions options;
        if (trusted)
            options.trustedOrigins = {other.url()};
        const SyncReport report = side.sync(named.url(), options);
        QCOMPARE(int(report.status), status);
        QVERIFY2(report.failure.contains(says), qPrintable(report.failure));
        QCOMPARE(report.otherServer.toString(), otherServer.replace("OTHER", origin));
        if (trusted)
            QVERIFY(other.received.contains("Authorization: Basic "));
        else
            QCOMPARE(other.connections, 0); // not a request, let alone the password
        QVERIFY(named.received.contains("Authorization: Basic "));
    }

    void aToDoLearntAfterTheListingThenDeleted_data()
    {
        QTest::addColumn<bool>("refusedCreation");
        QTest::newRow("came in by a sync that failed later") << false;
        QTest::newRow("came in after a creation refused with 412") << true;
    }

    // Known to this side by a sync whose token was not stored, or after its listing, and deleted
    // by another client before the next sync: Xandikos, which lists the difference of two
    // snapshots, has the to-do in neither and never names it. It is read once, and emptied here.
    void aToDoLearntAfterTheListingThenDeleted()
    {
        QFETCH(bool, refusedCreation);
        const QUrl calendar = m_server.newCalendar();
        FaultProxy proxy(m_server.root());
        SyncSide side;
        QCOMPARE(side.sync(proxy.via(calendar)).status, SyncReport::Status::InStep); // a token from before it
        const QUrl todo = todoUrl(calendar, key(8, 1));
        const QByteArray ics = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nBEGIN:VTODO\r\nUID:20261208-1@tallyleaf\r\n"
                               "DTSTAMP:20260101T000000Z\r\nDUE;VALUE=DATE:20261208\r\nX-TALLYLEAF-NUMBER:1\r\n"
                               "SUMMARY:buy milk\r\nEND:VTODO\r\nEND:VCALENDAR\r\n";
        if (refusedCreation) { // the other computer makes the same thing just before this one
            side.book.values[key(8, 1)] = {"buy milk", false};
            std::atomic<int> made = 0;
            proxy.setChange([&](const QByteArray &) { made = http("PUT", todo, ics, {{"Content-Type", "text/calendar"}}).status; });
            proxy.setFault(Fault::ChangeFirst, "PUT", 1);
            QCOMPARE(side.sync(proxy.via(calendar)).status, SyncReport::Status::InStep);
            QCOMPARE(made.load(), 201);
        } else {
            QCOMPARE(http("PUT", todo, ics, {{"Content-Type", "text/calendar"}}).status, 201);
            side.book.values[key(9, 1)] = {"nine", false};
            proxy.setFault(Fault::Answer500, "PUT", 1);
            QCOMPARE(side.sync(proxy.via(calendar)).status, SyncReport::Status::ServerFailed);
        }
        QCOMPARE(side.book.values.at(key(8, 1)).text, "buy milk");
        QVERIFY(deleteOnServer(todo));
        QCOMPARE(side.sync(proxy.via(calendar)).status, SyncReport::Status::InStep);
        QVERIFY(!side.book.shown().count(key(8, 1)));
        QCOMPARE(side.sync(proxy.via(calendar)).requests, 1); // read once
    }

    // A crash after every save of the state in turn: the state on disk is the last one saved,
    // while the day book and the server keep whatever reached them after it.
    void crashAfterAnySave()
    {
        for (int saves = 0;; ++saves) {
            SyncSide side;
            SyncSide other;
            QString name;
            FaultProxy proxy(m_server.root());
            const QUrl calendar = prepare(side, other, &name, proxy);
            QVERIFY(calendar.isValid());
            CrashingStore store(side, proxy, saves);
            side.whileRunning = [&](CalDavSync &job) { store.job = &job; };
            (void)side.sync(calendar, {}, &store); // the crash is the point
            side.whileRunning = nullptr;
            side.book.failApply = false;
            proxy.setFault(Fault::None, {}, 0);
            checkConverged(side, other, calendar, name);
            if (QTest::currentTestFailed())
                qWarning("crashed after save %d", saves);
            if (!store.crashed || QTest::currentTestFailed()) {
                QVERIFY(saves > 2); // the crash met the sync at several points
                break;
            }
        }
    }
};

QTEST_GUILESS_MAIN(tst_SyncFaults)
#include "tst_syncfaults.moc"
