// The window's sync against a real server: the shown day as it stands on screen goes to the
// server and the server's changes come into the view without touching what is being typed; a
// change is sent a moment after it is saved; a failure is told once; conflicts get the
// synced-folder merge's choices; the password is asked once a session.
#include "cannedserver.h"
#include "englishwords.h"
#include "faultproxy.h"
#include "passwordkeeper.h"
#include "testserver.h"
#include "showndayfixture.h"
#include "slotimage.h"
#include "syncstatedatabase.h"
#include "todomapping.h"
#include "caldavwindowsync.h"

#include <QNetworkAccessManager>
#include <QTcpServer>
#include <QTest>

Q_DECLARE_METATYPE(std::optional<thingdecision::Choice>)

namespace {

using namespace std::chrono_literals;

// The keychain as a map; with none, every call answers that no keychain runs.
class MemoryKeeper final : public PasswordKeeper
{
public:
    bool running = true;
    std::map<QString, QString> kept;

    bool runs() const override { return running; }
    void read(const QString &key, QObject *, std::function<void(const passwordstore::Result &)> done) override
    {
        const auto found = kept.find(key);
        using Status = passwordstore::Result::Status;
        done(!running ? passwordstore::Result{Status::NoKeychain, {}, QStringLiteral("no keychain")}
             : found == kept.end() ? passwordstore::Result{Status::NotFound, {}, {}}
                                   : passwordstore::Result{Status::Found, found->second, {}});
    }
    void write(const QString &key, const QString &password, QObject *,
               std::function<void(const passwordstore::Result &)> done) override
    {
        if (running)
            kept[key] = password;
        done({running ? passwordstore::Result::Status::Found : passwordstore::Result::Status::NoKeychain, {}, {}});
    }
};

const QDate Today(2013, 5, 17);

struct Window
{
    explicit Window(const QUrl &calendar, const QString &password = QString::fromLatin1(TestServer::Password))
        : calendar(calendar)
    {
        if (!password.isEmpty())
            keeper.kept[passwordstore::keyFor(calendar, QString::fromLatin1(TestServer::User))] = password;
        sync.start();
    }
    bool setUp() { return sync.setUp(calendar, QString::fromLatin1(TestServer::User), QString()); }
    // Waits for the sync running or about to run.
    bool settled(WindowSync::State expected = WindowSync::State::InStep)
    {
        QTest::qWait(50);
        return QTest::qWaitFor([&] { return sync.state() == expected; }, 15000);
    }
    QUrl todo(int number) const
    {
        return calendar.resolved(QUrl(todomapping::uidFor({Today, number}).section(u'@', 0, 0) + QStringLiteral(".ics")));
    }

    QUrl calendar;
    ShownDayFixture f;
    MemoryKeeper keeper;
    QNetworkAccessManager network;
    QString stateFolder() const { return f.folder.file(QStringLiteral("state")); }
    CalDavWindowSync sync{f.day, f.clock, f.prompts, keeper, network, stateFolder(), CalDavWindowSync::Timings{20ms, 50ms, 1h, 5s}};
};

} // namespace

class tst_WindowSync : public QObject
{
    Q_OBJECT
    TestServer m_server;

private slots:
    void initTestCase() { START_SERVER_OR_SKIP(m_server); }

    void theShownDayMeetsTheServer()
    {
        Window w(m_server.newCalendar(QStringLiteral("shown")));
        w.f.view.setText(0, QStringLiteral("buy milk")); // typed, not saved
        QVERIFY(w.setUp());
        QVERIFY(w.settled());
        QCOMPARE(m_server.todos(QStringLiteral("shown")).size(), size_t(1));

        // Changed on the server while the user types into another box: both stand.
        QVERIFY(editOnServer(w.todo(1), QStringLiteral("buy oat milk")));
        w.f.view.setText(2, QStringLiteral("call Ann"));
        w.sync.syncNow();
        QVERIFY(w.settled());
        QCOMPARE(w.f.view.texts(), (QStringList{"buy oat milk", "", "call Ann", "", ""}));
        QVERIFY(!w.f.day.isDirty()); // both went into the day file with the change
        QVERIFY(w.f.file().contains("buy oat milk"));

        // A saved change goes out a moment later, without being asked for.
        w.f.view.setText(3, QStringLiteral("pay rent"));
        QVERIFY(w.f.day.save().allOnDisk());
        QVERIFY(QTest::qWaitFor([&] { return m_server.todos(QStringLiteral("shown")).size() == 3; }, 15000));
        QVERIFY(w.f.prompts.informed.isEmpty());
    }

    void aFailureIsToldOnce()
    {
        QTcpServer closed; // a port nobody answers on once it is closed again
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const QUrl nowhere(QStringLiteral("http://127.0.0.1:%1/cal/").arg(closed.serverPort()));
        closed.close();
        Window w(nowhere);
        QVERIFY(w.setUp());
        QVERIFY(w.settled(WindowSync::State::Failed));
        for (int i = 0; i < 2; ++i) { // syncs of its own after saves
            w.f.view.setText(0, QStringLiteral("change %1").arg(i));
            QVERIFY(w.f.day.save().allOnDisk());
            QVERIFY(w.settled(WindowSync::State::Failed));
        }
        QCOMPARE(w.f.prompts.informed.size(), 1);
        QVERIFY(w.f.prompts.informed.front().startsWith(QStringLiteral("无法与日历服务器同步")));
        // Once "cannot list the changes: 127.0.0.1: Connection refused"; the system's words are in the details.
        QVERIFY2(w.f.prompts.informed.front().contains(QStringLiteral("127.0.0.1 拒绝了连接")), qPrintable(w.f.prompts.informed.front()));
        QCOMPARE(englishWords(w.f.prompts.informed.front()), QStringList());
        QVERIFY(w.sync.details().contains(QStringLiteral("系统的说明：")));
        w.sync.syncNow(); // asked for: told again
        QVERIFY(w.settled(WindowSync::State::Failed));
        QCOMPARE(w.f.prompts.informed.size(), 2);
    }

    // The range set in the window: days before it stay off the server until it widens.
    void theRangeSetReachesBackSoFar()
    {
        QString name;
        Window w(m_server.newCalendar(&name));
        QVERIFY(w.f.dayFile.saveDay(Today.addDays(-100), DayThings{ThingInput{QStringLiteral("long ago"), false}}).allOnDisk());
        w.f.view.setText(0, QStringLiteral("today"));
        QVERIFY(w.sync.setRange(90));
        QVERIFY(w.setUp());
        QVERIFY(w.settled());
        QCOMPARE(m_server.todos(name).size(), size_t(1));
        QVERIFY(w.sync.setRange(-1));
        w.sync.syncNow();
        QVERIFY(w.settled());
        QCOMPARE(m_server.todos(name).size(), size_t(2));
    }

    // A day book that did not load whole looks emptied where it was not read: the window does not
    // sync it, says why, and the server keeps every to-do.
    void aBookNotReadWholeIsNotSynced_data()
    {
        QTest::addColumn<bool>("cannotOpen");
        QTest::newRow("a read that failed part way") << false;
        QTest::newRow("a file that cannot be opened") << true;
    }

    void aBookNotReadWholeIsNotSynced()
    {
        QFETCH(bool, cannotOpen);
        QString name;
        Window w(m_server.newCalendar(&name));
        for (int n = 0; n < 3; ++n)
            w.f.view.setText(n, QStringLiteral("thing %1").arg(n + 1));
        QVERIFY(w.setUp());
        QVERIFY(w.settled());
        QCOMPARE(m_server.todos(name).size(), size_t(3));

        if (cannotOpen)
            w.f.failDisk(1);
        else
            w.f.disk.failReadAt = w.f.disk.reads + 1;
        w.f.day.reload();
        w.f.failDisk(0);
        w.f.prompts.informed.clear();
        w.sync.syncNow();
        QVERIFY(w.settled(WindowSync::State::Failed));
        QVERIFY(w.sync.details().contains(QStringLiteral("没有完整读入")));
        QCOMPARE(m_server.todos(name).size(), size_t(3));
    }

    // An address that leads to another server: the user is asked once whether the password may
    // go there, and the answer holds for later syncs; until then nothing reaches that server.
    void anotherServerIsAskedAboutOnce_data()
    {
        QTest::addColumn<bool>("trusted");
        QTest::newRow("not trusted") << false;
        QTest::newRow("trusted") << true;
    }

    void anotherServerIsAskedAboutOnce()
    {
        QFETCH(bool, trusted);
        CannedServer other; // closes every connection unanswered
        CannedServer named(CannedServer::http("207 Multi-Status", "<multistatus xmlns=\"DAV:\"><response><href>/</href>"
                                              "<propstat><prop><current-user-principal><href>" + other.url("/alice/").toEncoded()
                                              + "</href></current-user-principal></prop><status>HTTP/1.1 200 OK</status>"
                                              "</propstat></response></multistatus>"));
        Window w(named.url());
        w.f.prompts.answerYes = trusted;
        QVERIFY(w.setUp());
        QVERIFY(w.settled(WindowSync::State::Failed));
        w.sync.syncNow();
        QVERIFY(w.settled(WindowSync::State::Failed));
        const auto questions = std::count_if(w.f.prompts.asked.begin(), w.f.prompts.asked.end(),
                                             [](const QString &q) { return q.contains(QStringLiteral("另一台服务器")); });
        QCOMPARE(questions, 1);
        QCOMPARE(other.connections > 0, trusted);
    }

    void conflictsGetTheMergeChoices_data()
    {
        QTest::addColumn<std::optional<thingdecision::Choice>>("choice");
        QTest::addColumn<QString>("kept");
        QTest::newRow("this computer's") << std::optional(thingdecision::Choice::Mine) << "buy bread";
        QTest::newRow("the server's") << std::optional(thingdecision::Choice::Theirs) << "buy oat milk";
        QTest::newRow("both") << std::optional(thingdecision::Choice::Both) << "buy bread / buy oat milk";
        QTest::newRow("put off") << std::optional<thingdecision::Choice>() << "";
    }
    void conflictsGetTheMergeChoices()
    {
        QFETCH(std::optional<thingdecision::Choice>, choice);
        QFETCH(QString, kept);
        const QString name = QStringLiteral("conflict-%1").arg(QTest::currentDataTag()).replace(u' ', u'-').remove(u'\'');
        Window w(m_server.newCalendar(name));
        w.f.view.setText(0, QStringLiteral("buy milk"));
        QVERIFY(w.setUp());
        QVERIFY(w.settled());
        QVERIFY(editOnServer(w.todo(1), QStringLiteral("buy oat milk")));
        w.f.view.setText(0, QStringLiteral("buy bread"));
        w.f.prompts.choices = {choice};
        w.sync.syncNow();
        QVERIFY(w.settled(choice ? WindowSync::State::InStep : WindowSync::State::Conflicts));
        QCOMPARE(w.f.prompts.conflictsAsked.size(), size_t(1));
        QCOMPARE(w.f.prompts.conflictsAsked.front().theirs->text, QStringLiteral("buy oat milk"));
        const auto todos = m_server.todos(name);
        QCOMPARE(todos.size(), size_t(1));
        if (choice) { // carried out by the sync that follows at once: both sides hold it
            QCOMPARE(w.f.view.texts().front(), kept);
            QCOMPARE(todos.begin()->second.summary, kept);
            return;
        }
        // Put off: both sides keep their own, and a sync of its own does not ask again.
        QCOMPARE(w.f.view.texts().front(), QStringLiteral("buy bread"));
        QCOMPARE(todos.begin()->second.summary, QStringLiteral("buy oat milk"));
        w.f.view.setText(1, QStringLiteral("other"));
        QVERIFY(w.f.day.save().allOnDisk());
        QVERIFY(w.settled(WindowSync::State::Conflicts));
        QCOMPARE(w.f.prompts.conflictsAsked.size(), size_t(1));
    }

    // A thing held between two versions of the day file (another computer's copy was renamed over
    // it) is left alone on both sides until the user chooses; the choice then goes out.
    void aHeldThingWaitsForTheChoice()
    {
        QString name;
        Window w(m_server.newCalendar(&name));
        w.f.view.setText(0, QStringLiteral("review"));
        QVERIFY(w.f.day.save().allOnDisk());
        QVERIFY(w.setUp());
        QVERIFY(w.settled());
        const QString beside = w.f.folder.file(QStringLiteral(".things.dat.tmp"));
        QVERIFY(writeFile(beside, w.f.file().replace(0, 200, slotimage::slot(0, 1, "review theirs", false, slotimage::Day41411))));
        QVERIFY(::rename(QFile::encodeName(beside).constData(), QFile::encodeName(w.f.folder.path).constData()) == 0);
        w.f.view.setText(0, QStringLiteral("review mine"));
        w.f.prompts.choices = {std::optional<thingdecision::Choice>()}; // put off
        w.f.day.saveByHand();
        QVERIFY(w.f.day.holds(Today, 1));
        w.sync.syncNow();
        QVERIFY(w.settled());
        QCOMPARE(m_server.todos(name).begin()->second.summary, QStringLiteral("review")); // neither version sent

        w.f.prompts.choices = {thingdecision::Choice::Theirs};
        w.f.day.folder().offerHeld(QStringLiteral("?"));
        w.sync.syncNow();
        QVERIFY(w.settled());
        QCOMPARE(m_server.todos(name).begin()->second.summary, QStringLiteral("review theirs"));
        QCOMPARE(w.f.view.texts()[0], QStringLiteral("review theirs"));
    }

    // Asked once a session by syncs of their own, each time by hand; a refused password again at
    // once, once. Without a keychain every question says the password lasts until the program closes.
    void thePasswordIsAskedOnceASession_data()
    {
        QTest::addColumn<bool>("keychain");
        QTest::newRow("with a keychain") << true;
        QTest::newRow("without a keychain") << false;
    }
    void thePasswordIsAskedOnceASession()
    {
        QFETCH(bool, keychain);
        if (!TestServer::checksPasswords())
            QSKIP("the server takes any password");
        Window w(m_server.newCalendar(QStringLiteral("password-%1").arg(keychain)), QString());
        w.keeper.running = keychain;
        QVERIFY(w.setUp()); // declined
        QVERIFY(w.settled(WindowSync::State::Failed));
        QCOMPARE(w.f.prompts.asked.size(), 1);
        w.f.view.setText(0, QStringLiteral("buy milk"));
        QVERIFY(w.f.day.save().allOnDisk());
        QTest::qWait(200); // a sync of its own asks nothing
        QCOMPARE(w.f.prompts.asked.size(), 1);

        // Refused: asked again at once, and refused again, told (not sent to the settings).
        w.f.prompts.password = QStringLiteral("wrong");
        w.sync.syncNow();
        QVERIFY(w.settled(WindowSync::State::Failed));
        QCOMPARE(w.f.prompts.asked.size(), 3);
        QVERIFY(w.f.prompts.asked[2].startsWith(QStringLiteral("127.0.0.1 拒绝了刚才的密码")));
        QCOMPARE(w.f.prompts.informed.size(), 1);
        QVERIFY(w.f.prompts.informed.back().contains(QStringLiteral("拒绝了用户名或密码")));

        // A slip, then the right one: synced without a word.
        w.f.prompts.passwordsInTurn = {QStringLiteral("wrong")};
        w.f.prompts.password = QString::fromLatin1(TestServer::Password);
        w.sync.syncNow();
        QVERIFY(w.settled());
        QCOMPARE(w.f.prompts.asked.size(), 5);
        QCOMPARE(w.f.prompts.informed.size(), 1);
        QCOMPARE(w.keeper.kept.size(), size_t(keychain)); // kept once the server took it, where it can be
        // The account given again without a password keeps this session's.
        QVERIFY(w.setUp());
        QVERIFY(w.settled());
        QCOMPARE(w.f.prompts.asked.size(), 5);
        for (const QString &question : std::as_const(w.f.prompts.asked)) {
            QCOMPARE(question.contains(QStringLiteral("密码只保留到程序关闭")), !keychain);
            QCOMPARE(englishWords(QString(question).remove(QString::fromLatin1(TestServer::User))), QStringList());
        }
    }

    // Without a session bus no keychain runs: QtKeychain's "unknown error" is told as none, so
    // the window says the password lasts until the program closes.
    void theSystemKeychainWithoutASessionBus()
    {
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        qunsetenv("DISPLAY"); // nor one started for the display
        KeychainPasswords keychain;
        QVERIFY(!keychain.runs());
        std::optional<passwordstore::Result> answer;
        QObject context;
        keychain.read(QStringLiteral("nobody@https://127.0.0.1"), &context, [&](const passwordstore::Result &r) { answer = r; });
        QVERIFY(QTest::qWaitFor([&] { return answer.has_value(); }, 15000));
        QCOMPARE(int(answer->status), int(passwordstore::Result::Status::NoKeychain));
    }

    // Turned off while a sync is sending (one request stalls, the others were answered): the
    // stopped sync's own state does not bring the old address back, and nothing is told.
    void turnedOffWhileSending()
    {
        FaultProxy proxy(m_server.root());
        Window w(proxy.via(m_server.newCalendar()));
        for (int n = 0; n < 5; ++n)
            w.f.view.setText(n, QStringLiteral("thing %1").arg(n + 1));
        QVERIFY(w.f.day.save().allOnDisk());
        proxy.setFault(FaultProxy::Fault::Stall, "PUT", 1);
        QVERIFY(w.setUp());
        QVERIFY(QTest::qWaitFor([&] { return proxy.requests("PUT") == 5; }, 15000));
        QVERIFY(w.sync.setUp(QUrl(), QString::fromLatin1(TestServer::User), QString()));
        QVERIFY(w.settled(WindowSync::State::Off));
        QTest::qWait(200); // the stopped sync's end
        auto state = SyncStateDatabase(w.stateFolder(), w.f.dayFile.path()).load();
        QVERIFY(std::holds_alternative<SyncState>(state));
        QVERIFY(std::get<SyncState>(state).url.isEmpty());
        QVERIFY(w.f.prompts.informed.isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_WindowSync)
#include "tst_windowsync.moc"
