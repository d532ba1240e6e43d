#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>
#include <map>

// A real Radicale on 127.0.0.1 for the test's life: a free port, a temporary storage folder and
// a password file. Calendars are made with MKCALENDAR; what the server holds is read straight
// from its storage folder with libical, so checks never go through the code under test.
class Radicale
{
public:
    static constexpr const char *User = "alice";
    static constexpr const char *Password = "wonder land";
    // A second account, with no calendar until a sync makes one.
    static constexpr const char *OtherUser = "bob";
    static constexpr const char *OtherPassword = "builder";

    Radicale() = default;
    ~Radicale();
    Radicale(const Radicale &) = delete;
    Radicale &operator=(const Radicale &) = delete;

    // Empty when the server runs; else why not (radicale missing is said as such).
    QString start();
    static bool installed();

    QUrl root() const { return m_root; }
    // A new calendar for to-dos; its URL ends with a slash.
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
    };
    // Every to-do of a calendar by UID, as stored; a UID stored twice counts under "uid#2".
    std::map<QString, Todo> todos(const QString &calendar, const QString &user = QString::fromLatin1(User)) const;

private:
    QTemporaryDir m_dir;
    QProcess m_server;
    QUrl m_root;
    int m_calendars = 0;
};

// For a test's initTestCase: the server started, or every test skipped where Radicale is missing.
#define START_RADICALE_OR_SKIP(server)                                                                     \
    do {                                                                                                 \
        if (!Radicale::installed())                                                                      \
            QSKIP("radicale is not installed (Debian package radicale): the sync is not tested");          \
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
// The to-do at url with SUMMARY (and, when given, STATUS) replaced, as another client edits it.
int editOnServer(const QUrl &url, const QString &summary, const QString &status = {});
