// The sync against a real server: one thing changed on either side or both, to-dos from other
// clients, two day files and a third client meeting in one calendar, and what each sync costs.
#include "faultproxy.h"
#include "testserver.h"
#include "syncside.h"
#include "todomapping.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>

Q_DECLARE_METATYPE(ThingInput)

namespace {

using Choice = thingdecision::Choice;
constexpr int AskUser = -1;

const ThingInput Milk{"buy milk", false};

QUrl todoUrl(const QUrl &calendar, const ThingKey &k)
{
    return calendar.resolved(QUrl(todomapping::uidFor(k).section(u'@', 0, 0) + QStringLiteral(".ics")));
}

QString otherClient(const QUrl &calendar, const QStringList &commands)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 QStringList{QStringLiteral(OTHER_CLIENT), calendar.toString(), QString::fromLatin1(TestServer::User),
                             QString::fromLatin1(TestServer::Password)}
                     + commands);
    if (!python.waitForFinished(30000) || python.exitCode() != 0)
        return QString::fromUtf8(python.readAllStandardError()) + python.errorString();
    return {};
}

QByteArray foreignTodo(const QString &uid, const QString &due, const QString &summary)
{
    QString ics = QStringLiteral("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//other//EN\r\nBEGIN:VTODO\r\nUID:%1\r\n"
                                 "DTSTAMP:20260101T000000Z\r\n").arg(uid);
    if (!due.isEmpty())
        ics += QStringLiteral("DUE;VALUE=DATE:%1\r\n").arg(due);
    ics += QStringLiteral("SUMMARY:%1\r\nDESCRIPTION:written elsewhere\r\nCATEGORIES:home\r\nBEGIN:VALARM\r\n"
                          "ACTION:DISPLAY\r\nDESCRIPTION:soon\r\nTRIGGER:-PT15M\r\nEND:VALARM\r\nEND:VTODO\r\n"
                          "END:VCALENDAR\r\n").arg(summary);
    return ics.toUtf8();
}

int put(const QUrl &url, const QByteArray &ics)
{
    return http("PUT", url, ics, {{"Content-Type", "text/calendar"}}).status;
}

} // namespace

class tst_CalDavSync : public QObject
{
    Q_OBJECT

    TestServer m_server;

private slots:
    void initTestCase() { START_SERVER_OR_SKIP(m_server); }

    void oneThingBothWays_data()
    {
        QTest::addColumn<ThingInput>("here");       // the thing here after the first sync; none: unchanged
        QTest::addColumn<QString>("serverSummary"); // another client's edit; "-" deletes, "" leaves it
        QTest::addColumn<QString>("serverStatus");
        QTest::addColumn<int>("settle");
        QTest::addColumn<ThingInput>("expectHere");
        QTest::addColumn<QString>("expectServer"); // its summary, "-" when gone
        QTest::addColumn<bool>("expectDone");
        QTest::addColumn<bool>("conflict");

        const ThingInput same = Milk;
        const ThingInput none{};
        const int ask = AskUser;
        QTest::newRow("edited on the server") << same << "buy oat milk" << "" << ask << ThingInput{"buy oat milk", false} << "buy oat milk" << false << false;
        QTest::newRow("ticked on the server") << same << "" << "COMPLETED" << ask << ThingInput{"buy milk", true} << "buy milk" << true << false;
        QTest::newRow("deleted on the server") << same << "-" << "" << ask << none << "-" << false << false;
        QTest::newRow("edited here") << ThingInput{"buy bread", false} << "" << "" << ask << ThingInput{"buy bread", false} << "buy bread" << false << false;
        QTest::newRow("emptied here") << none << "" << "" << ask << none << "-" << false << false;
        QTest::newRow("text here, tick there") << ThingInput{"buy bread", false} << "" << "COMPLETED" << ask << ThingInput{"buy bread", true} << "buy bread" << true << false;
        QTest::newRow("both edited: conflict") << ThingInput{"buy bread", false} << "buy oat milk" << "" << ask << ThingInput{"buy bread", false} << "buy oat milk" << false << true;
        QTest::newRow("both edited, prefer here") << ThingInput{"buy bread", false} << "buy oat milk" << "" << int(Choice::Mine) << ThingInput{"buy bread", false} << "buy bread" << false << false;
        QTest::newRow("both edited, prefer server") << ThingInput{"buy bread", false} << "buy oat milk" << "" << int(Choice::Theirs) << ThingInput{"buy oat milk", false} << "buy oat milk" << false << false;
        QTest::newRow("both edited, keep both") << ThingInput{"buy bread", false} << "buy oat milk" << "" << int(Choice::Both) << ThingInput{"buy bread / buy oat milk", false} << "buy bread / buy oat milk" << false << false;
        QTest::newRow("edited here, deleted there, prefer here") << ThingInput{"buy bread", false} << "-" << "" << int(Choice::Mine) << ThingInput{"buy bread", false} << "buy bread" << false << false;
        QTest::newRow("emptied here, ticked there: conflict") << none << "" << "COMPLETED" << ask << none << "buy milk" << true << true;
        QTest::newRow("edited there to what no thing holds: a conflict") << same << "party 🎉" << "" << ask << same << "party 🎉" << false << true;
        QTest::newRow("edited and ticked there to what no thing holds, prefer here: the tick stays") << same << "party 🎉" << "COMPLETED" << int(Choice::Mine) << ThingInput{"buy milk", true} << "buy milk" << true << false;
    }

    void oneThingBothWays()
    {
        QFETCH(ThingInput, here);
        QFETCH(QString, serverSummary);
        QFETCH(QString, serverStatus);
        QFETCH(int, settle);
        QFETCH(ThingInput, expectHere);
        QFETCH(QString, expectServer);
        QFETCH(bool, expectDone);
        QFETCH(bool, conflict);

        QString name;
        const QUrl calendar = m_server.newCalendar(&name);
        SyncSide side;
        side.book.values[key(8, 1)] = Milk;
        side.book.values[key(8, 2)] = {"untouched", true};
        QCOMPARE(side.sync(calendar).status, SyncReport::Status::InStep);
        QCOMPARE(m_server.todos(name).at(todomapping::uidFor(key(8, 1))).summary, "buy milk");

        const QUrl url = todoUrl(calendar, key(8, 1));
        if (serverSummary == u"-")
            QVERIFY(deleteOnServer(url));
        else if (!serverSummary.isEmpty() || !serverStatus.isEmpty())
            QVERIFY(editOnServer(url, serverSummary.isEmpty() ? Milk.text : serverSummary, serverStatus));
        side.book.values[key(8, 1)] = here; // an emptied thing keeps its record

        SyncOptions options;
        if (settle != AskUser)
            options.settleAll = Choice(settle);
        const SyncReport report = side.sync(calendar, options);
        QCOMPARE(report.status, conflict ? SyncReport::Status::Conflicts : SyncReport::Status::InStep);
        QCOMPARE(report.conflicts.size(), size_t(conflict));
        QCOMPARE(side.book.values.count(key(8, 1)) ? side.book.values.at(key(8, 1)) : ThingInput{}, expectHere);
        QCOMPARE(side.book.values.at(key(8, 2)), (ThingInput{"untouched", true}));
        const auto todos = m_server.todos(name);
        QCOMPARE(todos.size(), expectServer == u"-" ? size_t(1) : size_t(2)); // no doubles
        if (expectServer != u"-") {
            QCOMPARE(todos.at(todomapping::uidFor(key(8, 1))).summary, expectServer);
            QCOMPARE(todos.at(todomapping::uidFor(key(8, 1))).done, expectDone);
        }

        // The next sync changes nothing; a conflict is shown again until it is settled.
        const SyncReport again = side.sync(calendar);
        QCOMPARE(again.status, report.status);
        QCOMPARE(again.received + again.sent + again.deletedThere, 0);
        QCOMPARE(m_server.todos(name).size(), todos.size());
    }

    void foreignTodosTakeFreeThingsOrAreListedOnce()
    {
        QString name;
        const QUrl calendar = m_server.newCalendar(&name);
        QCOMPARE(put(calendar.resolved(QUrl("f1.ics")), foreignTodo("f1", "20261208", "from the phone")), 201);
        QCOMPARE(put(calendar.resolved(QUrl("f2.ics")), foreignTodo("f2", "", "some day")), 201);
        QCOMPARE(put(calendar.resolved(QUrl("f3.ics")), foreignTodo("f3", "20261208", "party 🎉")), 201);
        QCOMPARE(put(calendar.resolved(QUrl("e1.ics")), "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nBEGIN:VEVENT\r\n"
                                                        "UID:e1\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:20261208T100000Z\r\n"
                                                        "SUMMARY:meeting\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n"), 201);
        for (int day = 1; day <= 5; ++day)
            QCOMPARE(put(calendar.resolved(QUrl(QStringLiteral("g%1.ics").arg(day))),
                         foreignTodo(QStringLiteral("g%1").arg(day), "20261209", QStringLiteral("full %1").arg(day))), 201);
        SyncSide side;
        side.book.values[key(8, 1)] = Milk;
        side.book.values[key(9, 3)] = {"mine", false};

        const SyncReport first = side.sync(calendar);
        QCOMPARE(first.status, SyncReport::Status::Conflicts); // to-dos stay on the server that no thing shows
        QCOMPARE(first.leftOnServer, 3);
        QCOMPARE(side.book.values.at(key(8, 2)), (ThingInput{"from the phone", false}));
        QStringList left;
        for (const auto &l : first.left)
            left << l.uid;
        left.sort();
        QCOMPARE(left, QStringList({"f2", "f3", "g5"})); // no date, no GBK form, no free thing; the event is no word
        QCOMPARE(side.book.values.size(), size_t(7));    // 8: milk, phone; 9: four of the five, and mine

        const SyncReport second = side.sync(calendar);
        QVERIFY(second.left.empty()); // told once
        QCOMPARE(second.status, SyncReport::Status::Conflicts);
        QCOMPARE(second.requests, 1);

        // Changed here, the other client's description, category and alarm stay.
        side.book.values[key(8, 2)] = {"from the phone", true};
        QCOMPARE(side.sync(calendar).sent, 1);
        const TestServer::Todo f1 = m_server.todos(name).at("f1");
        QVERIFY(f1.done);
        for (const char *kept : {"DESCRIPTION:written elsewhere", "CATEGORIES:home", "TRIGGER:-PT15M", "X-TALLYLEAF-NUMBER:2"})
            QVERIFY2(f1.ics.contains(kept), kept);
    }

    // An answer over the limit is cut off; the to-dos of a batch are then fetched one by one,
    // and the one that is too large on its own is set aside, the others come in.
    void aToDoTooLargeIsSetAside()
    {
        QString name;
        const QUrl calendar = m_server.newCalendar(&name);
        QCOMPARE(put(calendar.resolved(QUrl("small.ics")), foreignTodo("small", "20261208", "small")), 201);
        QByteArray huge = foreignTodo("huge", "20261208", "huge");
        huge.replace("DESCRIPTION:written elsewhere", "DESCRIPTION:" + QByteArray(300'000, 'x'));
        QCOMPARE(put(calendar.resolved(QUrl("huge.ics")), huge), 201);
        SyncSide side;
        side.maxAnswerBytes = 200'000;
        const SyncReport report = side.sync(calendar);
        QCOMPARE(report.status, SyncReport::Status::Conflicts);
        QCOMPARE(side.book.values, (std::map<ThingKey, ThingInput>{{key(8, 1), {"small", false}}}));
        QCOMPARE(report.left.size(), size_t(1));
        QVERIFY(report.left[0].why.contains("larger than 200000 bytes"));
        QCOMPARE(side.sync(calendar).left.size(), size_t(0)); // told once
    }

    void twoDayFilesAndAClientConverge()
    {
        QString name;
        const QUrl calendar = m_server.newCalendar(&name);
        SyncSide a;
        SyncSide b;
        a.book.values = {{key(8, 1), Milk}, {key(8, 2), {"写报告", false}}};
        b.book.values = {{key(9, 1), {"B's own", false}}};
        QCOMPARE(a.sync(calendar).status, SyncReport::Status::InStep);
        QCOMPARE(b.sync(calendar).status, SyncReport::Status::InStep);
        QCOMPARE(a.sync(calendar).status, SyncReport::Status::InStep);
        QCOMPARE(a.book.shown(), b.book.shown());

        const QString failed = otherClient(calendar, {"add=py-1|20261208|from python", "rename=20261208-1@tallyleaf|buy oat milk",
                                                      "complete=20261209-1@tallyleaf"});
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        a.book.values[key(8, 2)] = {"写报告", true};
        b.book.values[key(10, 5)] = {"B on the tenth", false};
        for (SyncSide *side : {&a, &b, &a})
            QCOMPARE(side->sync(calendar).status, SyncReport::Status::InStep);

        const std::map<ThingKey, ThingInput> expected{{key(8, 1), {"buy oat milk", false}}, {key(8, 2), {"写报告", true}},
                                                      {key(8, 3), {"from python", false}}, {key(9, 1), {"B's own", true}},
                                                      {key(10, 5), {"B on the tenth", false}}};
        QCOMPARE(a.book.shown(), expected);
        QCOMPARE(b.book.shown(), expected);
        QCOMPARE(m_server.todos(name).size(), expected.size());
        QVERIFY(m_server.todos(name).at("py-1").ics.contains("DESCRIPTION:kept by the other client"));
    }

    // Only the user's act deletes: a book that lost its records, a file put in place of the day
    // file or a backup restored change nothing on the server without a question, and many
    // deletions at once wait for the user's word.
    void deletesOnlyWhatTheUserEmptied_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("onServer"); // to-dos left on the server
        QTest::addColumn<int>("here");     // things with text or a tick left here
        QTest::addColumn<int>("conflicts");
        const int inStep = int(SyncReport::Status::InStep);
        QTest::newRow("the book lost its records") << "lost" << inStep << 8 << 8 << 0;
        QTest::newRow("a book that did not load whole") << "not loaded" << int(SyncReport::Status::LocalFailed) << 8 << 0 << 0;
        QTest::newRow("another file in place of the day file") << "replaced" << inStep << 8 << 8 << 0;
        QTest::newRow("a backup restored") << "restored" << int(SyncReport::Status::Conflicts) << 8 << 8 << 1;
        QTest::newRow("the user emptied one thing") << "emptied one" << inStep << 7 << 7 << 0;
        QTest::newRow("the user emptied six at once") << "emptied six" << int(SyncReport::Status::TooManyDeletions) << 8 << 2 << 0;
        QTest::newRow("... and said yes") << "emptied six, yes" << inStep << 2 << 2 << 0;
        QTest::newRow("the server's calendar emptied") << "server emptied" << int(SyncReport::Status::TooManyDeletions) << 0 << 8 << 0;
    }

    void deletesOnlyWhatTheUserEmptied()
    {
        QFETCH(QString, what);
        QString name;
        const QUrl calendar = m_server.newCalendar(&name);
        SyncSide side;
        for (int n = 1; n <= 5; ++n)
            side.book.values[key(8, n)] = {QStringLiteral("eight %1").arg(n), false};
        for (int n = 1; n <= 3; ++n)
            side.book.values[key(9, n)] = {QStringLiteral("nine %1").arg(n), false};
        QCOMPARE(side.sync(calendar).status, SyncReport::Status::InStep);
        side.book.values[key(9, 3)] = {"nine later", false};
        QCOMPARE(side.sync(calendar).sent, 1);

        SyncOptions options;
        if (what == u"lost") {
            side.book.values.clear();
        } else if (what == u"not loaded") {
            side.book.values.clear();
            side.book.notSyncable = QStringLiteral("things.dat was not read to its end");
        } else if (what == u"replaced") {
            side.book.values.clear();
            side.book.fileStamp = {QStringLiteral("/memory/things.dat"), 1, 2, 0, 0};
        } else if (what == u"restored") {
            side.book.values[key(9, 3)] = {"nine 3", false};
            side.book.fileStamp.length -= 1;
        } else if (what.startsWith(u"emptied")) {
            for (int n = 1; n <= (what == u"emptied one" ? 1 : 6); ++n)
                side.book.values[n <= 5 ? key(8, n) : key(9, 1)] = {};
            if (what.endsWith(u"yes"))
                options.allowDeletions = 6;
        } else {
            for (const auto &[uid, todo] : m_server.todos(name))
                QVERIFY(deleteOnServer(calendar.resolved(QUrl(QString(uid).section(u'@', 0, 0) + ".ics"))));
        }
        const SyncReport report = side.sync(calendar, options);
        QTEST(int(report.status), "status");
        QTEST(int(m_server.todos(name).size()), "onServer");
        QTEST(int(side.book.shown().size()), "here");
        QTEST(int(report.conflicts.size()), "conflicts");
        if (what == u"restored") // the newer version stays on the server until the user chooses
            QCOMPARE(m_server.todos(name).at(todomapping::uidFor(key(9, 3))).summary, "nine later");
    }

    // A choice is carried out for the versions the user saw: when the other client changed its
    // version meanwhile, the user is asked again with the new one, which stays until then.
    void aChoiceHoldsForTheVersionSeen()
    {
        QString name;
        const QUrl calendar = m_server.newCalendar(&name);
        SyncSide side;
        side.book.values[key(8, 1)] = Milk;
        QCOMPARE(side.sync(calendar).status, SyncReport::Status::InStep);
        side.book.values[key(8, 1)] = {"buy bread", false};
        QVERIFY(editOnServer(todoUrl(calendar, key(8, 1)), "buy oat milk"));
        const SyncReport asked = side.sync(calendar);
        QCOMPARE(asked.conflicts.size(), size_t(1));

        QVERIFY(editOnServer(todoUrl(calendar, key(8, 1)), "buy rice milk")); // while the dialog was open
        SyncOptions options;
        options.settled[key(8, 1)] = {Choice::Mine, asked.conflicts.front()};
        const SyncReport again = side.sync(calendar, options);
        QCOMPARE(again.conflicts.size(), size_t(1));
        QCOMPARE(again.conflicts.front().theirs->text, "buy rice milk");
        QCOMPARE(m_server.todos(name).at(todomapping::uidFor(key(8, 1))).summary, "buy rice milk");

        options.settled[key(8, 1)] = {Choice::Mine, again.conflicts.front()};
        QCOMPARE(side.sync(calendar, options).status, SyncReport::Status::InStep);
        QCOMPARE(m_server.todos(name).at(todomapping::uidFor(key(8, 1))).summary, "buy bread");
    }

    // The sync reaches back a given number of days: older things and to-dos are left alone on
    // both sides, and a wider range later brings them in without doubles.
    void aRangeLeavesOlderDaysAlone()
    {
        QString name;
        const QUrl calendar = m_server.newCalendar(&name);
        QCOMPARE(put(calendar.resolved(QUrl("old.ics")), foreignTodo("old", "20250601", "old on the phone")), 201);
        SyncSide side; // its clock says 2026-12-08
        side.book.values[key(8, 1)] = Milk;
        side.book.values[{QDate(2025, 1, 1), 1}] = {"new year", false};
        side.book.values[{QDate(2025, 1, 1), 2}] = {"long ago", false};
        SyncOptions lastYear;
        lastYear.sinceDays = 365;
        QCOMPARE(side.sync(calendar, lastYear).status, SyncReport::Status::InStep); // the old one is not told
        QCOMPARE(m_server.todos(name).size(), size_t(2));
        QCOMPARE(side.book.shown().size(), size_t(3));

        side.book.values[{QDate(2025, 1, 1), 2}] = {}; // emptied outside the range: not the sync's
        QCOMPARE(side.sync(calendar).requests, 1);      // the range is remembered

        SyncOptions always;
        always.sinceDays = -1;
        const SyncReport wider = side.sync(calendar, always);
        QCOMPARE(wider.status, SyncReport::Status::InStep);
        QCOMPARE(wider.sent, 1);
        QCOMPARE(wider.received, 1);
        const auto todos = m_server.todos(name);
        QCOMPARE(todos.size(), size_t(3)); // no doubles
        QCOMPARE(todos.at("20250101-1@tallyleaf").summary, "new year");
        QCOMPARE(side.book.values.at({QDate(2025, 6, 1), 1}).text, "old on the phone");
    }

    // The window keeps taking typing while the sync decides: a thing typed into after it was
    // read is decided again, never overwritten with the server's version of its old text.
    void typingWhileTheSyncDecides()
    {
        QString name;
        const QUrl calendar = m_server.newCalendar(&name);
        SyncSide side;
        side.book.values[key(8, 1)] = Milk;
        QCOMPARE(side.sync(calendar).status, SyncReport::Status::InStep);
        QVERIFY(editOnServer(todoUrl(calendar, key(8, 1)), "buy oat milk"));
        int reads = 0;
        side.book.typing = [&](std::map<ThingKey, ThingInput> &values) {
            if (++reads == 2) // after the first read, before the server's version is saved here
                values[key(8, 1)] = {"buy bread", false};
        };
        const SyncReport report = side.sync(calendar);
        QCOMPARE(report.status, SyncReport::Status::Conflicts);
        QCOMPARE(side.book.values.at(key(8, 1)).text, "buy bread");
        QCOMPARE(m_server.todos(name).at(todomapping::uidFor(key(8, 1))).summary, "buy oat milk");
    }

    // A sync token the server no longer knows (expired, or the collection restored from a
    // backup) lists everything afresh instead of failing or missing a change. Radicale refuses
    // it with 403, Xandikos with 500; a 500 for a token it knows is listed afresh all the same.
    void aTokenTheServerForgot_data()
    {
        QTest::addColumn<bool>("forgotten");
        QTest::newRow("a token the server does not know") << true;
        QTest::newRow("the listing with a known token answered with 500") << false;
    }

    void aTokenTheServerForgot()
    {
        QFETCH(bool, forgotten);
        QString name;
        const QUrl calendar = m_server.newCalendar(&name);
        FaultProxy proxy(m_server.root());
        SyncSide side;
        side.book.values[key(8, 1)] = Milk;
        QCOMPARE(side.sync(proxy.via(calendar)).status, SyncReport::Status::InStep);
        SyncState state = std::get<SyncState>(side.state.load());
        QVERIFY(!state.syncToken.isEmpty());
        if (forgotten) {
            state.syncToken = QStringLiteral("urn:tallyleaf:forgotten-sync-token");
            SyncStateChange account;
            account.account = true;
            QVERIFY(side.state.save(state, account).ok);
        } else {
            proxy.setFault(FaultProxy::Fault::Answer500, "REPORT", 1);
        }
        QVERIFY(editOnServer(todoUrl(calendar, key(8, 1)), "buy oat milk"));
        const SyncReport report = side.sync(proxy.via(calendar));
        QCOMPARE(report.status, SyncReport::Status::InStep);
        QCOMPARE(side.book.values.at(key(8, 1)).text, "buy oat milk");
        QCOMPARE(m_server.todos(name).size(), size_t(1));
    }

    void requestCounts_data()
    {
        QTest::addColumn<bool>("syncCollection");
        QTest::newRow("sync-collection") << true;
        QTest::newRow("calendar-query, the server has no sync-collection") << false;
    }

    void requestCounts()
    {
        QFETCH(bool, syncCollection);
        QString name;
        const QUrl calendar = m_server.newCalendar(&name);
        FaultProxy proxy(m_server.root());
        proxy.hideSyncCollection(!syncCollection);
        SyncSide side;
        for (int n = 1; n <= 5; ++n)
            side.book.values[key(8, n)] = {QStringLiteral("thing %1").arg(n), false};
        const SyncReport first = side.sync(proxy.via(calendar));
        QVERIFY2(first.ok(), qPrintable(first.failure));
        QCOMPARE(proxy.requests("PUT"), 5);
        QCOMPARE(proxy.requests("REPORT"), 1);

        // Unchanged: one listing (at most two requests are allowed).
        proxy.resetCounts();
        QCOMPARE(side.sync(proxy.via(calendar)).status, SyncReport::Status::InStep);
        QCOMPARE(proxy.requests(), 1);

        // Three things of a day changed here: the listing and one request each.
        proxy.resetCounts();
        for (int n = 1; n <= 3; ++n)
            side.book.values[key(8, n)].done = true;
        QCOMPARE(side.sync(proxy.via(calendar)).sent, 3);
        QCOMPARE(proxy.requests(), 1 + 3);

        // Two changed on the server: the listing and one multiget for both.
        QVERIFY(editOnServer(todoUrl(calendar, key(8, 4)), "four"));
        QVERIFY(editOnServer(todoUrl(calendar, key(8, 5)), "five"));
        proxy.resetCounts();
        QCOMPARE(side.sync(proxy.via(calendar)).received, 2);
        QCOMPARE(proxy.requests(), 2);
        QCOMPARE(side.book.values.at(key(8, 5)).text, "five");
    }
};

QTEST_GUILESS_MAIN(tst_CalDavSync)
#include "tst_caldavsync.moc"
