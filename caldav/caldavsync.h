#pragma once

#include "statekeeper.h"
#include "syncplanner.h"
#include "syncreport.h"

#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <QUrl>
#include <set>

class CollectionDiscovery;
class DavClient;
class LocalThings;
class ServerChanges;
class TimeSource;
class TodoSender;

struct SyncOptions
{
    QUrl url;     // as the user gave it: a calendar, a principal or the server
    QString user;
    // A choice for every conflict (the tool's --prefer); nothing: each conflict is put to the user.
    std::optional<thingdecision::Choice> settleAll;
    // The user's choices for single conflicts of an earlier report, carried out only while both
    // versions are still the ones the user saw.
    std::map<ThingKey, syncplanner::SettledConflict> settled;
    // How many deletions (on the server, or things emptied here) the user agreed to at once; a
    // plan with more, past MassDeletion's bound, stops before anything is done. -1: any number.
    int allowDeletions = 0;
    // How many days back the sync reaches (-1: every day); nothing: as the last sync did. Days
    // before are left alone on both sides; a wider range than the last reads them again.
    std::optional<int> sinceDays;
    bool useSyncCollection = true; // false: always compare ETags from a calendar-query
    // Origins besides url's own that the user let the password go to, after a report named one
    // of their addresses (SyncReport::otherServer).
    std::vector<QUrl> trustedOrigins;
    int requestsAtOnce = 4;
};

// One two-way sync of the day book with a CalDAV collection, run on the event loop; nothing in it
// blocks. start() begins, finished() ends it, once, always from the event loop.
//
// 1. Load the state (StateKeeper) and hold it against the day file it describes: an agreement
//    the day file may not have seen is not trusted (syncplanner's Inputs::trusted). A day book
//    that did not load whole is not synced at all.
// 2. Find the collection on the first run, or when the address changed (CollectionDiscovery).
// 3. List what changed on the server and fetch those to-dos (ServerChanges, changelisting).
// 4. Decide every thing (syncplanner, on a thread of its own); stop when the plan would delete
//    more than the user agreed to; save what comes in to the day book in one save, then the state.
// 5. Send the creations, changes and deletions (TodoSender), saving the state as they succeed.
//    A to-do changed meanwhile is fetched and decided again, at most a few rounds.
// 6. Save the server's new sync token only when every change it covers is settled, and the day
//    file's stamp: from now on the state describes the day file as it is.
//
// Invariants (scripts/check-mutations breaks each; the sync tests must notice):
// S1 What comes in is saved to the day book before the state records it as agreed: a crash
//    between the two leaves a thing that already agrees, never an old one that looks edited.
// S2 A day book that did not load whole, or cannot be written, is not synced: a thing it lacks
//    is no deletion.
// S3 The sync token is stored only once every change its listing covers is settled.
// S4 A to-do this side sent or read after the stored token's listing is read once more when the
//    next listing leaves it out (servers that list the difference of two snapshots miss it).
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

    // Whether deletions many at once call for the user's word: more than five that are more than
    // a tenth of the linked to-dos, or every one of two or more.
    static bool isMassDeletion(int deletions, int linked);

signals:
    void finished(const SyncReport &report);
    // While the changes go to the server: how many of how many are answered.
    void progressed(int done, int total);

private:
    void discovered(const QUrl &collection, bool syncCollection, const QString &note);
    void listChanges();
    void round(const syncplanner::ServerChanges &changes);
    void planRound();
    void carryOut(const syncplanner::Plan &plan, const std::map<ThingKey, ThingInput> &planned);
    void sent(const syncplanner::ServerOp &op, const QByteArray &etag);
    void learnt(LinkedTodo &link, bool afterListing);
    void roundDone();
    bool saveState(bool paced = false);
    void fail(SyncReport::Status status, const QString &failure, const SyncProblem &problem);
    static SyncProblem problem(SyncProblem::Kind kind, qint64 count = 0, const QString &systemWords = QString());
    void leadsElsewhere(const QUrl &address);
    void finish();

    DavClient &m_client;
    LocalThings &m_local;
    const TimeSource &m_clock;
    SyncOptions m_options;
    StateKeeper m_keeper;

    SyncReport m_report;
    bool m_trusted = true;
    QDate m_firstDay; // invalid: every day
    int m_sent = 0;   // requests of this round answered, for progress
    QPointer<ServerChanges> m_changes;
    QPointer<CollectionDiscovery> m_discovery;
    QPointer<TodoSender> m_sender;
    QString m_newToken;
    bool m_tokenMode = false;
    std::set<QString> m_gone;     // hrefs gone from the server, from the listing
    std::set<QString> m_learntAfterListing; // hrefs sent or fetched again by this run, after its listing
    std::set<QString> m_again;    // changed meanwhile: fetch and decide again
    int m_round = 0;
    bool m_failed = false;
    bool m_finished = false;
    syncplanner::ServerChanges m_roundChanges;
    int m_plansThisRound = 0;
    QThreadPool m_planner;
};
