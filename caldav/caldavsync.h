#pragma once

#include "syncreport.h"
#include "syncstate.h"
#include "thingdecision.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <QUrl>
#include <deque>
#include <set>

class CollectionDiscovery;
class DavClient;
class LocalThings;
class ServerChanges;
class SyncStateStore;
class TimeSource;

struct SyncOptions
{
    QUrl url;     // as the user gave it: a calendar, a principal or the server
    QString user;
    thingdecision::Settle settle = thingdecision::Settle::Ask; // for every conflict
    // The user's choice for single conflicts of an earlier report (a window's "keep mine",
    // "take theirs", "keep both"), applied by the next sync.
    std::map<ThingKey, thingdecision::Settle> settleByThing;
    bool useSyncCollection = true; // false: always compare ETags from a calendar-query
    int requestsAtOnce = 4;
};

// One two-way sync of the day book with a CalDAV collection, run on the event loop; nothing in it
// blocks. start() begins, finished() ends it, once, always from the event loop.
//
// 1. Load the state; find the collection on the first run (or when the address changed).
// 2. List what changed on the server (sync-collection, else every ETag) and fetch those to-dos.
// 3. Decide every thing (syncplanner, on a thread of its own), save what comes in to the day
//    book in one save, then the state.
// 4. Send the creations, changes and deletions, each conditional on the version decided on,
//    saving the state as they succeed. A 412 (changed meanwhile) fetches that to-do again and
//    decides again, at most a few rounds.
// 5. Save the server's new sync token only when every change it covers is settled.
//
// A window runs it with its own LocalThings over the day book it shows (things typed after the
// sync read them are decided again, never overwritten), one QNetworkAccessManager, the state file
// beside the day file, and the password from passwordstore or asked once a session.
class CalDavSync : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxRounds = 4;

    CalDavSync(DavClient &client, LocalThings &local, SyncStateStore &store, const TimeSource &clock,
               const SyncOptions &options, QObject *parent = nullptr);
    ~CalDavSync() override;

    void start();
    // Stops the requests; the state stays as last saved, which the next sync goes on from.
    void cancel();

signals:
    void finished(const SyncReport &report);

private:
    void discovered(const QUrl &collection, bool syncCollection, const QString &note);
    void listChanges();
    void round(const syncplanner::ServerChanges &changes);
    void planRound();
    void carryOut(const syncplanner::Plan &plan, const std::map<ThingKey, ThingInput> &planned);
    void sendNext();
    void sent(const syncplanner::ServerOp &op, const struct DavReply &reply);
    void learnt(LinkedTodo &link, bool afterListing);
    void roundDone();
    bool saveState(bool now);
    void fail(SyncReport::Status status, const QString &failure);
    void finish();

    DavClient &m_client;
    LocalThings &m_local;
    SyncStateStore &m_store;
    const TimeSource &m_clock;
    SyncOptions m_options;

    SyncState m_state;
    SyncReport m_report;
    QPointer<ServerChanges> m_changes;
    QPointer<CollectionDiscovery> m_discovery;
    QString m_newToken;
    bool m_tokenMode = false;
    std::set<QString> m_gone; // hrefs gone from the server, from the listing
    int m_round = 0;
    std::deque<syncplanner::ServerOp> m_queue;
    int m_inFlight = 0;
    std::set<QString> m_again;  // changed meanwhile: fetch and decide again
    std::set<QString> m_learntAfterListing; // hrefs whose version this run learnt after its listing
    bool m_failed = false;
    bool m_finished = false;
    bool m_dirty = false; // the state holds what the state file does not
    QElapsedTimer m_sinceSave;
    qint64 m_saveInterval = 0;
    syncplanner::ServerChanges m_roundChanges;
    int m_plansThisRound = 0;
    QThreadPool m_planner;
};
