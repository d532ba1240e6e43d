#pragma once

#include "passwordstore.h"
#include "shownbookthings.h"
#include "syncreport.h"
#include "syncplanner.h"
#include "syncstatedatabase.h"
#include "windowsync.h"

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

// The main window's sync with a calendar server (see WindowSync): once an account is set up, a sync runs a moment
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
// once a session and kept in memory, and in the keychain once the server took it; where no
// keychain runs, the question says it is kept only until the program closes. A password the
// server refuses is asked again once, at once. The sync's state lives in this computer's state
// folder (SyncStateDatabase).
class CalDavWindowSync : public QObject, public WindowSync
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

    CalDavWindowSync(ShownDay &day, const TimeSource &time, Prompts &prompts, PasswordKeeper &passwords,
                     QNetworkAccessManager &network, const QString &stateFolder, Timings timings);
    CalDavWindowSync(ShownDay &day, const TimeSource &time, Prompts &prompts, PasswordKeeper &passwords,
                     QNetworkAccessManager &network, const QString &stateFolder)
        : CalDavWindowSync(day, time, prompts, passwords, network, stateFolder, Timings{})
    {
    }
    ~CalDavWindowSync() override;

    void start() override;
    bool isSetUp() const override { return !m_url.isEmpty(); }
    QUrl url() const override { return m_url; }
    QString user() const override { return m_user; }
    bool setUp(const QUrl &url, const QString &user, const QString &password) override;
    int sinceDays() const override { return m_sinceDays; }
    bool setRange(int sinceDays) override;
    void syncNow() override;
    bool stop() override;
    void dayFileMoved(const QString &newPath) override;

    State state() const override { return m_state; }
    QString status() const override { return m_status; }
    QString details() const override { return m_details; }
    bool keepsPasswords() const override;
    void setOnStateChanged(std::function<void()> changed) override { m_onStateChanged = std::move(changed); }

private:
    void trigger(bool byHand);
    void withPassword(bool byHand);
    void askPassword(bool byHand);
    // The user's answer, kept for this session; false when they gave none.
    bool askUser(bool refused);
    void noPassword();
    void noteKeychain(const passwordstore::Result &answer);
    // The state file could not be written or moved: told, its system's words in the details.
    void tellStateTrouble(const QString &message, const QString &systemWords);
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
    int m_sinceDays = SyncState::DefaultSinceDays;
    QString m_user;
    std::optional<QString> m_password; // this session's, in memory only
    bool m_keychainAsked = false;      // this session
    bool m_passwordAsked = false;      // this session: syncs of their own do not ask again
    bool m_passwordTyped = false;      // kept in the keychain once the server took it
    bool m_askedAfterRefusal = false;  // this run: a refused password is asked again once
    bool m_keychainMissing = false;    // the keychain answered that none runs

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
    std::function<void()> m_onStateChanged;
};
