#pragma once

#include "shownbookthings.h"
#include "syncreport.h"
#include "syncplanner.h"
#include "syncstatedatabase.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <set>

class CalDavSync;
class DavClient;
class PasswordKeeper;
class Prompts;
class QNetworkAccessManager;
class ShownDay;
class TimeSource;

// The main window's sync with a calendar server: once an account is set up, a sync runs a moment
// after start-up, a few seconds after each change to the day book, every few minutes, and when
// the user asks. Nothing in it blocks: requests run on the event loop, and a sync that finds
// changes writes them through the shown day's controller (ShownBookThings).
//
// The user hears of a failure once, until a sync succeeds again (every time when the sync was
// asked for by hand); the menu shows how the last sync ended, and its details what stays on the
// server. Things changed on both sides are put to the user with the synced-folder merge's
// choices, and a choice is carried out by the next sync, which follows at once, for the versions
// the user saw. A sync that would delete many things at once asks first. A day book that did not
// load whole, or is only read, is not synced. The password comes from the keychain, or is asked
// once a session and kept in memory, and in the keychain once the server took it. The sync's
// state lives in this computer's state folder (SyncStateDatabase).
class WindowSync : public QObject
{
    Q_OBJECT
public:
    struct Timings
    {
        std::chrono::milliseconds atStart{3000};
        std::chrono::milliseconds afterChange{5000};
        std::chrono::milliseconds every{std::chrono::minutes(5)};
        std::chrono::milliseconds serverTimeout{std::chrono::seconds(60)};
    };
    enum class State { Off, Waiting, Running, InStep, Conflicts, Failed };

    WindowSync(ShownDay &day, const TimeSource &time, Prompts &prompts, PasswordKeeper &passwords,
               QNetworkAccessManager &network, const QString &stateFolder, Timings timings, QObject *parent = nullptr);
    WindowSync(ShownDay &day, const TimeSource &time, Prompts &prompts, PasswordKeeper &passwords,
               QNetworkAccessManager &network, const QString &stateFolder, QObject *parent = nullptr)
        : WindowSync(day, time, prompts, passwords, network, stateFolder, Timings{}, parent)
    {
    }
    ~WindowSync() override;

    // Start-up is over: the timers run from now on.
    void start();
    bool isSetUp() const { return !m_url.isEmpty(); }
    QUrl url() const { return m_url; }
    QString user() const { return m_user; }
    // The account the user gave (an empty url: no sync from now on), then a sync. An empty
    // password: the keychain's. False when it cannot be used; the user has been told why.
    bool setUp(const QUrl &url, const QString &user, const QString &password);
    // A sync asked for by the user: a password is asked for again, and every failure told.
    void syncNow();
    // The window closes: a sync still running ends where it is (the next one goes on from there).
    // True when it was running.
    bool stop();
    // The day file was moved to newPath: the sync stops, and its state goes with the file (the
    // next sync compares anew what the day file at its new place may not agree with).
    void dayFileMoved(const QString &newPath);

    State state() const { return m_state; }
    // For the menu item: a few words on the last sync, and its details for a tooltip.
    QString status() const { return m_status; }
    QString details() const { return m_details; }

signals:
    void stateChanged();

private:
    void trigger(bool byHand);
    void withPassword(bool byHand);
    void askPassword(bool byHand);
    void run(bool byHand);
    void finished(const SyncReport &report, bool loginRefused, bool byHand);
    void settleConflicts(const SyncReport &report, bool byHand);
    // The user's word on deleting many things at once; true when the sync goes on.
    bool allowDeletions(const SyncReport &report);
    // The user's word on another server the address led to; true when the sync goes on.
    bool trustOtherServer(const SyncReport &report);
    void setState(State state, const QString &status, const QString &details = QString());

    ShownDay &m_day;
    const TimeSource &m_time;
    Prompts &m_prompts;
    PasswordKeeper &m_passwords;
    QNetworkAccessManager &m_network;
    Timings m_timings;
    SyncStateDatabase m_stateStore;
    ShownBookThings m_things;

    QUrl m_url;
    QString m_user;
    std::optional<QString> m_password; // this session's, in memory only
    bool m_keychainAsked = false;      // this session
    bool m_passwordAsked = false;      // this session: syncs of their own do not ask again
    bool m_passwordTyped = false;      // kept in the keychain once the server took it

    QTimer m_soon; // after start-up, and after a change
    QTimer m_every;
    std::unique_ptr<DavClient> m_client;
    std::unique_ptr<CalDavSync> m_job;
    bool m_running = false; // from the password to the end of what the sync asks the user
    bool m_again = false;   // something asked for a sync while one ran
    bool m_againByHand = false;
    bool m_stopped = false;
    bool m_cancelled = false; // the running sync was stopped for a new account
    bool m_failureTold = false;
    std::set<ThingKey> m_putOff; // conflicts the user put off: asked again only by hand
    std::map<ThingKey, syncplanner::SettledConflict> m_settle; // the user's choices, for the next sync
    int m_allowDeletions = 0; // deletions at once the user agreed to, for the next sync
    std::vector<QUrl> m_trustedOrigins; // other servers the password may go to

    State m_state = State::Off;
    QString m_status;
    QString m_details;
    QString m_leftTold; // what stays on the server, as last told
};
