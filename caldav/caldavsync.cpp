#include "caldavsync.h"

#include "collectiondiscovery.h"
#include "davclient.h"
#include "localthings.h"
#include "serverchanges.h"
#include "syncstatestore.h"
#include "timesource.h"

#include <QFutureWatcher>
#include <QPromise>

namespace {

// Saving the state after each request keeps a cut-off run cheap to repeat; for a first sync of
// thousands of things, saving at most this often (or less, see saveState) keeps the state file
// from costing more than the server. What is not saved yet is found again by the next run.
constexpr qint64 SaveEveryMs = 500;

} // namespace

CalDavSync::CalDavSync(DavClient &client, LocalThings &local, SyncStateStore &store, const TimeSource &clock,
                       const SyncOptions &options, QObject *parent)
    : QObject(parent), m_client(client), m_local(local), m_store(store), m_clock(clock), m_options(options)
{
    m_planner.setMaxThreadCount(1);
}

CalDavSync::~CalDavSync()
{
    m_planner.waitForDone(); // a plan still being made works on copies, but inside this object's pool
}

void CalDavSync::start()
{
    auto loaded = m_store.load();
    if (const QString *why = std::get_if<QString>(&loaded))
        return fail(SyncReport::Status::StateFailed, *why);
    m_state = std::get<SyncState>(std::move(loaded));
    if (const QString refusal = DavClient::refusalFor(m_options.url); !refusal.isEmpty())
        return fail(SyncReport::Status::Setup, refusal);
    if (m_state.url != m_options.url || m_state.user != m_options.user) {
        // Another collection or account: nothing learnt from the old one holds for it.
        if (!m_state.url.isEmpty())
            m_report.notes << QStringLiteral("syncing with %1 as %2 for the first time: every thing is compared afresh")
                                  .arg(m_options.url.toDisplayString(), m_options.user);
        m_state.forgetCollection();
        m_state.url = m_options.url;
        m_state.user = m_options.user;
    }
    if (!m_state.collection.isEmpty())
        return listChanges();
    m_discovery = new CollectionDiscovery(m_client, this);
    connect(m_discovery, &CollectionDiscovery::finished, this, [this](const CollectionDiscovery::Result &found) {
        if (m_finished)
            return;
        if (!found.failure.isEmpty())
            return fail(SyncReport::Status::ServerFailed, found.failure);
        if (!found.choice.isEmpty())
            return fail(SyncReport::Status::Setup, found.choice);
        discovered(found.collection, found.syncCollection, found.note);
    });
    m_discovery->start(m_options.url);
}

void CalDavSync::cancel()
{
    if (m_finished)
        return;
    m_failed = true;
    m_report.status = SyncReport::Status::ServerFailed;
    m_report.failure = QStringLiteral("the sync was stopped");
    finish(); // the answers of the requests still running no longer count
    m_client.abortAll();
}

void CalDavSync::discovered(const QUrl &collection, bool syncCollection, const QString &note)
{
    m_state.collection = collection;
    m_state.syncCollection = syncCollection;
    m_dirty = true;
    if (!note.isEmpty())
        m_report.notes << note;
    // The address and the name are remembered once the server has answered for them.
    if (saveState(true))
        listChanges();
}

void CalDavSync::listChanges()
{
    m_report.collection = m_state.collection;
    m_changes = new ServerChanges(m_client, m_state.collection, this);
    connect(m_changes, &ServerChanges::fetched, this,
            [this](const syncplanner::ServerChanges &fetched, const QString &failure) {
        if (m_finished)
            return;
        if (!failure.isEmpty())
            return fail(SyncReport::Status::ServerFailed, failure);
        syncplanner::ServerChanges changes = fetched;
        for (const QString &href : m_gone)
            changes.try_emplace(href, std::nullopt);
        m_gone.clear();
        round(changes);
    });
    connect(m_changes, &ServerChanges::listed, this, [this](const ServerChanges::Listing &listing) {
        if (m_finished)
            return;
        if (!listing.failure.isEmpty())
            return fail(SyncReport::Status::ServerFailed, listing.failure);
        m_newToken = listing.token;
        std::vector<QString> toFetch;
        std::set<QString> gone = listing.gone;
        auto known = [&](const QString &href) {
            return listing.present.count(href) || gone.count(href);
        };
        for (const auto &[href, etag] : listing.present) {
            if (etag.isEmpty()) { // listed without its tag: fetched to see what it holds
                toFetch.push_back(href);
                continue;
            }
            const auto linked = m_state.linked.find(href);
            if (linked != m_state.linked.end() && linked->second.etag == etag && !linked->second.mustFetch())
                continue;
            const auto setAside = m_state.setAside.find(href);
            if (setAside != m_state.setAside.end() && setAside->second.etag == etag)
                continue;
            toFetch.push_back(href);
        }
        for (const auto &[href, link] : m_state.linked) {
            if (listing.complete && !known(href))
                gone.insert(href);
            else if ((link.mustFetch() || link.learntAfterToken) && !gone.count(href) && !listing.present.count(href))
                toFetch.push_back(href);
        }
        for (const auto &[href, todo] : m_state.setAside) {
            if (listing.complete && !known(href))
                gone.insert(href);
        }
        m_gone = gone;
        m_changes->fetch(toFetch);
    });
    m_tokenMode = m_state.syncCollection && m_options.useSyncCollection;
    m_changes->list(m_tokenMode, m_state.syncToken);
}

void CalDavSync::round(const syncplanner::ServerChanges &changes)
{
    m_roundChanges = changes;
    m_plansThisRound = 0;
    planRound();
}

// Deciding thousands of things (a first sync) takes seconds of libical's work: it runs on a
// thread of its own, on copies, while the event loop goes on.
void CalDavSync::planRound()
{
    auto here = std::make_shared<const std::map<ThingKey, ThingInput>>(m_local.things());
    auto state = std::make_shared<const SyncState>(m_state);
    auto changes = std::make_shared<const syncplanner::ServerChanges>(m_roundChanges);
    auto promise = std::make_shared<QPromise<syncplanner::Plan>>();
    auto *watcher = new QFutureWatcher<syncplanner::Plan>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, here] {
        watcher->deleteLater();
        if (!m_finished)
            carryOut(watcher->result(), *here);
    });
    watcher->setFuture(promise->future());
    m_planner.start([promise, here, state, changes, settle = m_options.settle,
                     settleByThing = m_options.settleByThing, now = m_clock.now()] {
        promise->start();
        promise->addResult(syncplanner::plan({*state, *here, *changes, settle, settleByThing, now}));
        promise->finish();
    });
}

void CalDavSync::carryOut(const syncplanner::Plan &plan, const std::map<ThingKey, ThingInput> &planned)
{
    // A thing changed here while the plan was made must not be overwritten with what the plan
    // decided for its old value: decide again.
    if (!plan.setHere.empty()) {
        const std::map<ThingKey, ThingInput> now = m_local.things();
        const bool changed = std::any_of(plan.setHere.begin(), plan.setHere.end(), [&](const auto &entry) {
            const auto was = planned.find(entry.first);
            const auto is = now.find(entry.first);
            return (was == planned.end()) != (is == now.end()) || (was != planned.end() && was->second != is->second);
        });
        if (changed) {
            if (++m_plansThisRound >= MaxRounds)
                return fail(SyncReport::Status::LocalFailed,
                            QStringLiteral("the day book kept changing while the sync decided; sync again"));
            return planRound();
        }
    }

    // What comes in reaches the day file before the state says it was agreed: a crash between
    // the two leaves a thing that already holds the server's version, which the next run finds
    // agreeing. The other order would make the old thing look like a change made here.
    if (!plan.setHere.empty()) {
        const ApplyResult applied = m_local.apply(plan.setHere);
        if (!applied.saved())
            return fail(SyncReport::Status::LocalFailed, applied.detail);
        for (const auto &[key, thing] : plan.setHere) {
            ++m_report.received;
            if (thing.isEmpty())
                ++m_report.emptiedHere;
        }
    }
    for (const auto &[href, link] : plan.links) {
        if (!link) {
            m_state.linked.erase(href);
            continue;
        }
        m_state.linked[href] = *link;
        // Newer than the stored token's listing; newer than this run's own listing too when it
        // was fetched again after a refused send (the rounds after the first).
        learnt(m_state.linked[href], m_round > 0);
    }
    for (const auto &[href, todo] : plan.setAside) {
        if (todo)
            m_state.setAside[href] = *todo;
        else
            m_state.setAside.erase(href);
    }
    m_report.conflicts.insert(m_report.conflicts.end(), plan.conflicts.begin(), plan.conflicts.end());
    m_report.left.insert(m_report.left.end(), plan.left.begin(), plan.left.end());
    m_report.notes << plan.notes;
    m_dirty = m_dirty || !plan.links.empty() || !plan.setAside.empty();
    if (!saveState(true))
        return;
    m_queue.assign(plan.ops.begin(), plan.ops.end());
    sendNext();
}

void CalDavSync::sendNext()
{
    if (m_failed) {
        if (m_inFlight == 0)
            finish();
        return;
    }
    while (m_inFlight < m_options.requestsAtOnce && !m_queue.empty()) {
        const syncplanner::ServerOp op = m_queue.front();
        m_queue.pop_front();
        QUrl url = m_state.collection;
        url.setPath(op.href, QUrl::DecodedMode);
        const bool remove = op.kind == syncplanner::ServerOp::Kind::Delete;
        const DavRequest request{remove ? QByteArray("DELETE") : QByteArray("PUT"), url, op.body,
                                 remove ? QByteArray() : QByteArray("text/calendar; charset=utf-8"), -1, op.ifMatch,
                                 op.kind == syncplanner::ServerOp::Kind::Create, false};
        ++m_inFlight;
        m_client.send(request, this, [this, op](const DavReply &reply) {
            if (m_finished)
                return;
            --m_inFlight;
            sent(op, reply);
            sendNext();
        });
    }
    if (m_inFlight == 0 && m_queue.empty())
        roundDone();
}

void CalDavSync::sent(const syncplanner::ServerOp &op, const DavReply &reply)
{
    using Kind = syncplanner::ServerOp::Kind;
    const bool gone = reply.answered() && (reply.status == 404 || reply.status == 410);
    if (reply.answered() && (reply.status == 412 || (gone && op.kind == Kind::Update))) {
        m_again.insert(op.href); // changed or deleted meanwhile
        return;
    }
    if (!reply.succeeded() && !(gone && op.kind == Kind::Delete)) {
        const QString what = op.kind == Kind::Delete ? QStringLiteral("cannot delete the to-do of %1")
                                                     : QStringLiteral("cannot send %1");
        const QString failure = reply.answered() && reply.status == 401
            ? QStringLiteral("%1 refused the name or the password").arg(reply.url.host())
            : QStringLiteral("%1: %2").arg(what.arg(op.key.toString()), reply.describe());
        return fail(SyncReport::Status::ServerFailed, failure);
    }
    if (op.kind == Kind::Delete) {
        m_state.linked.erase(op.href);
        ++m_report.deletedThere;
    } else {
        LinkedTodo after = *op.after;
        after.etag = reply.etag; // none: the server changed what it stored, so it is read next time
        learnt(after, true);
        m_state.linked[op.href] = after;
        ++m_report.sent;
    }
    m_dirty = true;
    saveState(false);
}

// Until this run's token is stored, whatever it learnt is newer than the stored token's listing.
// Once it is, only what came after this run's own listing still is.
void CalDavSync::learnt(LinkedTodo &link, bool afterListing)
{
    if (!m_tokenMode)
        return; // a listing of every ETag names every to-do
    link.learntAfterToken = true;
    if (afterListing)
        m_learntAfterListing.insert(link.href);
}

void CalDavSync::roundDone()
{
    if (m_again.empty()) {
        // Every change the token covers is settled: the next run asks only for later ones.
        if (m_tokenMode && m_state.syncToken != m_newToken) {
            m_state.syncToken = m_newToken;
            m_dirty = true;
        }
        // The listing of the token now stored named or fetched whatever an earlier run learnt.
        for (auto &[href, link] : m_state.linked) {
            const bool after = m_tokenMode && m_learntAfterListing.count(href);
            m_dirty = m_dirty || link.learntAfterToken != after;
            link.learntAfterToken = after;
        }
        if (saveState(true))
            finish();
        return;
    }
    if (!saveState(true))
        return;
    if (++m_round >= MaxRounds)
        return fail(SyncReport::Status::ServerFailed,
                    QStringLiteral("%1 to-do(s) kept changing on the server while they were synced; sync again")
                        .arg(m_again.size()));
    const std::vector<QString> again(m_again.begin(), m_again.end());
    m_again.clear();
    m_changes->fetch(again);
}

// Saves the state if it changed: with now, at once; else only when the last save is long enough
// ago that saving costs at most a tenth of the sync.
bool CalDavSync::saveState(bool now)
{
    if (!m_dirty)
        return true;
    if (!now && m_sinceSave.isValid() && m_sinceSave.elapsed() < m_saveInterval)
        return true;
    QElapsedTimer took;
    took.start();
    const SyncStateStore::Saved saved = m_store.save(m_state);
    m_saveInterval = std::max(SaveEveryMs, 10 * took.elapsed());
    m_sinceSave.start();
    if (!saved.ok) {
        fail(SyncReport::Status::StateFailed, saved.detail);
        return false;
    }
    m_dirty = false;
    return true;
}

void CalDavSync::fail(SyncReport::Status status, const QString &failure)
{
    if (!m_failed) {
        m_failed = true;
        m_report.status = status;
        m_report.failure = failure;
    }
    m_queue.clear();
    if (m_inFlight == 0)
        finish();
}

void CalDavSync::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    if (m_failed && m_dirty) {
        // What was learnt before the failure, kept if it can be: the next sync goes on from there.
        // When it cannot, the next sync starts from the last state saved, which is still true.
        if (const SyncStateStore::Saved saved = m_store.save(m_state); !saved.ok)
            m_report.notes << QStringLiteral("the sync's state could not be saved as well: %1").arg(saved.detail);
    }
    if (!m_failed) {
        const bool leftLinked = std::any_of(m_report.left.begin(), m_report.left.end(),
                                            [](const syncplanner::LeftOnServer &l) { return l.key.has_value(); });
        m_report.status = m_report.conflicts.empty() && !leftLinked ? SyncReport::Status::InStep
                                                                    : SyncReport::Status::Conflicts;
    }
    m_report.requests = m_client.requestsSent();
    // Always from the event loop, never from inside start() or cancel().
    QMetaObject::invokeMethod(this, [this, report = m_report] { emit finished(report); }, Qt::QueuedConnection);
}
