#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>
#include <map>
#include <memory>
#include <vector>

// A real CalDAV server on 127.0.0.1 for the test's life, in a temporary folder on a free port:
// Radicale, or Xandikos when TALLYLEAF_TEST_SERVER=xandikos (CTest runs every sync test once with
// each). The two list changes differently: Radicale keeps the history of every item, Xandikos
// compares two snapshots of a git tree, so a to-do made and deleted between them is in neither.
// Calendars are made with MKCALENDAR; what the server holds is read straight from its storage
// folder with libical, so checks never go through the code under test.
class TestServer
{
public:
    enum class Kind { Radicale, Xandikos };

    static constexpr const char *User = "alice";
    static constexpr const char *Password = "wonder land";
    // A second account, with no calendar until a sync makes one.
    static constexpr const char *OtherUser = "bob";
    static constexpr const char *OtherPassword = "builder";

    TestServer() = default;
    ~TestServer();
    TestServer(const TestServer &) = delete;
    TestServer &operator=(const TestServer &) = delete;

    static Kind kind();
    static QString program();
    static bool installed();
    // Xandikos takes any name and password (it has no accounts; a reverse proxy would check them).
    static bool checksPasswords() { return kind() == Kind::Radicale; }

    // Empty when the server runs; else why not.
    QString start();

    // Where a sync given only the server starts, as user.
    QUrl root(const QString &user = QString::fromLatin1(User)) const;
    // The calendar of that name in user's calendar home; its URL ends with a slash.
    QUrl calendar(const QString &name, const QString &user = QString::fromLatin1(User)) const;
    // A new calendar for to-dos.
    QUrl newCalendar(const QString &name);
    // A new calendar under a name not used before ("cal1", "cal2", …), given back in name.
    QUrl newCalendar(QString *name = nullptr);

    struct Todo
    {
        QString summary;
        bool done = false;
        QString due; // yyyyMMdd
        QString number;
        QByteArray ics;
        QString file; // the last part of its URL
    };
    // Every to-do of a calendar by UID, as stored; a UID stored twice counts under "uid#2".
    std::map<QString, Todo> todos(const QString &calendar, const QString &user = QString::fromLatin1(User)) const;

    // A copy of everything the server stores, as a nightly backup takes it (the server stopped
    // and started again).
    [[nodiscard]] bool backUp();
    // The server stopped, its storage replaced by the last backup, and started again on the same
    // port(s). Empty when it runs again; else why not.
    [[nodiscard]] QString restoreBackup();

private:
    // One server process. Radicale serves every account from one; Xandikos, which knows a
    // single principal, runs once per account.
    struct Instance
    {
        QString account; // empty: every account
        QString folder;  // its configuration and storage
        quint16 port = 0;
        QProcess process;
    };

    const Instance &instanceFor(const QString &user) const;
    QString storage(const Instance &instance) const;
    // Writes what the server reads at start (Radicale's configuration, with the port).
    QString configure(Instance &instance);
    // Starts the server on instance.port and waits until it answers. Where another server answers
    // on that port instead, ours is stopped: *taken is set, or it is an error without taken.
    QString launch(Instance &instance, bool *taken = nullptr);
    static void stop(Instance &instance);

    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<Instance>> m_instances;
    int m_calendars = 0;
};

// For a test's initTestCase: the server started, or every test skipped where it is missing.
#define START_SERVER_OR_SKIP(server)                                                                     \
    do {                                                                                                 \
        if (!TestServer::installed())                                                                    \
            QSKIP(qPrintable(TestServer::program() + QStringLiteral(" is not installed (Debian package of "  \
                                                                    "that name): the sync is not tested"))); \
        const QString why = (server).start();                                                            \
        QVERIFY2(why.isEmpty(), qPrintable(why));                                                        \
    } while (false)

// Blocking HTTP with the test user's password, for playing another client.
struct HttpAnswer
{
    int status = 0;
    QByteArray body;
    QByteArray etag;
};
HttpAnswer http(const QByteArray &method, const QUrl &url, const QByteArray &body = {},
                const QList<std::pair<QByteArray, QByteArray>> &headers = {});
// The to-do at url with SUMMARY (and, when given, STATUS) replaced, as another client edits it;
// whether the server took it (Radicale answers 201, Xandikos 204).
[[nodiscard]] bool editOnServer(const QUrl &url, const QString &summary, const QString &status = {});
// The to-do at url deleted, as another client deletes it (Radicale answers 200, Xandikos 204).
[[nodiscard]] bool deleteOnServer(const QUrl &url);
