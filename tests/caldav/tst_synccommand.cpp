// tallyleaf-tool sync run as a user runs it, against a real server: what it remembers, and its
// exit status for each way a sync can end.
#include "cannedserver.h"
#include "dayfilelock.h"
#include "fileops.h"
#include "filebytes.h"
#include "testserver.h"
#include "syncstatedatabase.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

namespace {

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

// This computer's state folder, as the tool finds it: the test's own.
QString stateHome()
{
    static QTemporaryDir home;
    return home.path();
}

Run runTool(const QStringList &arguments, const QString &password = QString::fromLatin1(TestServer::Password))
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TALLYLEAF_CALDAV_PASSWORD"), password);
    env.insert(QStringLiteral("XDG_STATE_HOME"), stateHome());
    p.setProcessEnvironment(env);
    QEventLoop loop; // the test's own servers answer meanwhile
    QObject::connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&p, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    p.start(QStringLiteral(TALLYLEAF_TOOL), arguments);
    loop.exec();
    if (p.state() != QProcess::NotRunning || p.exitStatus() != QProcess::NormalExit)
        return {};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

// A TLS server whose certificate nobody signed, played by openssl.
struct SelfSignedServer
{
    QProcess server;
    QUrl url;

    bool start(const QTemporaryDir &dir)
    {
        const QString key = dir.filePath("key.pem");
        const QString cert = dir.filePath("cert.pem");
        QProcess make;
        make.setStandardOutputFile(QProcess::nullDevice());
        make.setStandardErrorFile(QProcess::nullDevice());
        make.start(QStringLiteral("openssl"), {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1",
                                               "-days", "1", "-keyout", key, "-out", cert});
        if (!make.waitForFinished(30000) || make.exitCode() != 0)
            return false;
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        const quint16 port = probe.serverPort();
        probe.close();
        server.setStandardOutputFile(QProcess::nullDevice());
        server.setStandardErrorFile(QProcess::nullDevice());
        server.start(QStringLiteral("openssl"), {"s_server", "-quiet", "-www", "-accept", QString::number(port), "-cert",
                                                 cert, "-key", key});
        url = QUrl(QStringLiteral("https://127.0.0.1:%1/dav/").arg(port));
        for (int tries = 0; tries < 100; ++tries) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, port);
            if (socket.waitForConnected(100))
                return true;
            QThread::msleep(50);
        }
        return false;
    }
    ~SelfSignedServer()
    {
        server.kill();
        server.waitForFinished();
    }
};

const QByteArray TwoThings = "date,number,done,text\r\n2026-12-08,1,no,buy milk\r\n2026-12-08,2,yes,写报告\r\n";

} // namespace

class tst_SyncCommand : public QObject
{
    Q_OBJECT

    TestServer m_server;

    // A day file with TwoThings, and a new calendar.
    QUrl prepare(const QTemporaryDir &dir, QString *name = nullptr)
    {
        const QString csv = dir.filePath("things.csv");
        if (!writeFile(csv, TwoThings)
            || runTool({"import", "--format", "csv", "--day-file", dir.filePath("things.dat"), csv}).status != 0)
            return {};
        return m_server.newCalendar(name);
    }

private slots:
    void initTestCase() { START_SERVER_OR_SKIP(m_server); }

    // Given only the server, the sync finds the user's calendar home and, with no calendar there
    // for to-dos, makes one.
    void findsOrMakesTheCalendarAndRemembersIt()
    {
        QTemporaryDir dir;
        QVERIFY(prepare(dir).isValid());
        const QString dayFile = dir.filePath("things.dat");
        const Run first = runTool({"sync", "--url", m_server.root(TestServer::OtherUser).toString(), "--user", TestServer::OtherUser, "--day-file", dayFile},
                                  TestServer::OtherPassword);
        QCOMPARE(first.status, 0);
        QVERIFY2(first.out.contains("2 to-do(s) sent") && first.err.contains("made the calendar"), qPrintable(first.out + first.err));
        QCOMPARE(m_server.todos("tallyleaf", TestServer::OtherUser).size(), size_t(2));

        // The state is this computer's, never beside the day file where a synced folder would carry it.
        QVERIFY(!QFileInfo::exists(dayFile + ".caldav"));
        const QString state = SyncStateDatabase::pathFor(stateHome() + "/Tallyleaf", dayFile);
        QCOMPARE(QFileInfo(state).permissions() & 0x0077, 0); // nobody else may read it
        QCOMPARE(QFileInfo(stateHome() + "/Tallyleaf").permissions() & 0x0077, 0);
        QVERIFY(!readFile(state).contains(TestServer::OtherPassword));

        const Run plain = runTool({"sync", "--day-file", dayFile}, TestServer::OtherPassword);
        QCOMPARE(plain.status, 0);
        QVERIFY2(plain.out.contains("0 to-do(s) sent") && plain.out.contains("1 request(s)"), qPrintable(plain.out));
    }

    void exitStatuses_data()
    {
        QTest::addColumn<QString>("setUp");
        QTest::addColumn<QStringList>("arguments"); // CALENDAR stands for the calendar's URL
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");

        const QStringList normal{"--url", "CALENDAR", "--user", TestServer::User};
        const QString right = TestServer::Password;
        QTest::newRow("both sides changed one thing") << "conflict" << normal << right << 5 << "conflict: thing 1 of 2026-12-08: here \"buy bread\", on the server \"buy oat milk\"";
        QTest::newRow("prefer the server") << "conflict" << (normal + QStringList{"--prefer", "server"}) << right << 0 << "1 thing(s) changed here";
        QTest::newRow("nothing listens") << "" << QStringList{"--url", "http://127.0.0.1:1/dav/", "--user", "alice"} << right << 6 << "127.0.0.1";
        QTest::newRow("a wrong password") << "" << normal << "wrong" << 6 << "refused the name or the password";
        QTest::newRow("Tallyleaf is running") << "lock" << normal << right << 3 << "in use by Tallyleaf";
        QTest::newRow("a first sync without an address") << "" << QStringList() << right << 1 << "needs --url and --user";
        QTest::newRow("plain http to another machine") << "" << QStringList{"--url", "http://dav.example.net/dav/", "--user", "alice"} << right << 1 << "unencrypted";
        QTest::newRow("a certificate nobody signed") << "tls" << QStringList{"--url", "TLS", "--user", "alice"} << right << 6 << "certificate";
        QTest::newRow("a server that leads to another") << "elsewhere" << QStringList{"--url", "NAMED", "--user", "alice"} << right << 1
                                                        << "if you trust that server, sync with --url http://127.0.0.1:";
        QTest::newRow("a side that is none") << "" << (normal + QStringList{"--prefer", "mine"}) << right << 1 << "--prefer takes here or server";
        QTest::newRow("every thing emptied here") << "emptied" << normal << right << 5 << "--allow-deletions";
        QTest::newRow("... and the deletions allowed") << "emptied" << (normal + QStringList{"--allow-deletions"}) << right << 0 << "2 deleted on the server";
        QTest::newRow("the day file and its journal removed") << "removed" << normal << right << 0 << "2 thing(s) changed here (0 emptied), 0 to-do(s) sent, 0 deleted";
    }

    void exitStatuses()
    {
        QFETCH(QString, setUp);
        QFETCH(QStringList, arguments);
        QFETCH(QString, password);
        QFETCH(int, status);
        QFETCH(QString, says);
        if (password == u"wrong" && !TestServer::checksPasswords())
            QSKIP("the server takes any password");
        QTemporaryDir dir;
        const QUrl calendar = prepare(dir);
        const QString dayFile = dir.filePath("things.dat");
        arguments.replaceInStrings("CALENDAR", calendar.toString());

        SelfSignedServer tls;
        CannedServer other;
        CannedServer named(CannedServer::http("207 Multi-Status", "<multistatus xmlns=\"DAV:\"><response><href>/</href><propstat><prop>"
                                              "<current-user-principal><href>" + other.url("/alice/").toEncoded()
                                              + "</href></current-user-principal></prop><status>HTTP/1.1 200 OK</status>"
                                              "</propstat></response></multistatus>"));
        arguments.replaceInStrings("NAMED", named.url().toString());
        FileOps ops;
        DayFileLock lock(ops, dayFile);
        if (setUp == u"conflict") {
            QCOMPARE(runTool({"sync", "--url", calendar.toString(), "--user", TestServer::User, "--day-file", dayFile}).status, 0);
            QVERIFY(editOnServer(calendar.resolved(QUrl("20261208-1.ics")), "buy oat milk"));
            QVERIFY(writeFile(dir.filePath("edit.csv"), "date,number,done,text\r\n2026-12-08,1,no,buy bread\r\n"));
            QCOMPARE(runTool({"import", "--format", "csv", "--day-file", dayFile, dir.filePath("edit.csv")}).status, 0);
        } else if (setUp == u"emptied" || setUp == u"removed") {
            QCOMPARE(runTool({"sync", "--url", calendar.toString(), "--user", TestServer::User, "--day-file", dayFile}).status, 0);
            QVERIFY(writeFile(dir.filePath("edit.csv"), "date,number,done,text\r\n2026-12-08,1,no,\r\n2026-12-08,2,no,\r\n"));
            if (setUp == u"emptied")
                QCOMPARE(runTool({"import", "--format", "csv", "--day-file", dayFile, dir.filePath("edit.csv")}).status, 0);
            else // with its journal, where there is one
                QVERIFY(QFile::remove(dayFile) && (!QFile::exists(dayFile + ".journal") || QFile::remove(dayFile + ".journal")));
        } else if (setUp == u"lock") {
            QCOMPARE(lock.acquire(), DayFileLock::Status::Locked);
        } else if (setUp == u"tls") {
            QVERIFY2(tls.start(dir), "openssl cannot serve TLS");
            arguments.replaceInStrings("TLS", tls.url.toString());
        }
        const QByteArray before = readFile(dayFile);
        const Run run = runTool(QStringList{"sync", "--day-file", dayFile, "--timeout", "5"} + arguments, password);
        QCOMPARE(run.status, status);
        QVERIFY2((run.out + run.err).contains(says), qPrintable(run.out + run.err));
        if (status != 0)
            QCOMPARE(readFile(dayFile), before); // a sync that does not finish leaves the day file alone
        QCOMPARE(other.connections, 0);
    }
};

QTEST_GUILESS_MAIN(tst_SyncCommand)
#include "tst_synccommand.moc"
