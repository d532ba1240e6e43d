#include "caldavsync.h"

#include "changelisting.h"
#include "collectiondiscovery.h"
#include "davclient.h"
#include "localthings.h"
#include "serverchanges.h"
#include "timesource.h"
#include "todosender.h"

#include <QFutureWatcher>
#include <QPromise>

CalDavSync::CalDavSync(DavClient &client, LocalThings &local, SyncStateStore &store, const TimeSource &clock,
                       const SyncOptions &options, QObject *parent)
    : QObject(parent), m_client(client), m_local(local), m_clock(clock), m_options(options), m_keeper(store)
{
    m_planner.setMaxThreadCount(1);
}

CalDavSync::~CalDavSync()
{
    m_planner.waitForDone(); // a plan still being made works on copies, but inside this object's pool
}

bool CalDavSync::isMassDeletion(int deletions, int linked)
{
    return (deletions > 5 && deletions * 10 > linked) || (deletions >= 2 && deletions >= linked);
}

void CalDavSync::start()
{
    // A book read in part looks emptied where it was not read: it is not held against the server.
    if (const QString why = m_local.whyNotSyncable(); !why.isEmpty())
        return fail(SyncReport::Status::LocalFailed, why, problem(SyncProblem::Kind::BookNotWhole));
    if (const QString why = m_keeper.load(); !why.isEmpty())
        return fail(SyncReport::Status::StateFailed, why, problem(SyncProblem::Kind::StateUnusable, 0, why));
    if (const QString refusal = DavClient::refusalFor(m_options.url); !refusal.isEmpty())
        return fail(SyncReport::Status::Setup, refusal, DavClient::addressProblem(m_options.url));
    std::vector<QUrl> origins = m_options.trustedOrigins;
    origins.push_back(m_options.url);
    m_client.setPasswordOrigins(origins);
    const SyncState &state = m_keeper.state();
    if (state.url != m_options.url || state.user != m_options.user) {
        // Another collection or account: nothing learnt from the old one holds for it.
        if (!state.url.isEmpty())
            m_report.notes << QStringLiteral("syncing with %1 as %2 for the first time: every thing is compared afresh")
                                  .arg(m_options.url.toDisplayString(), m_options.user);
        m_keeper.forgetCollection();
        m_keeper.account().url = m_options.url;
        m_keeper.account().user = m_options.user;
    }
    m_firstDay = m_keeper.reachBack(m_options.sinceDays.value_or(state.sinceDays), m_clock.now().date());
    m_trusted = m_keeper.state().dayFile.stillDescribes(m_local.stamp());
    if (!m_trusted && !m_keeper.state().linked.empty())
        m_report.notes << QStringLiteral("the day file is not the one the last sync saw (restored, replaced or moved): "
                                         "where a thing differs from what both sides last agreed on, that is a "
                                         "conflict");
    if (const QUrl collection = m_keeper.state().collection; !collection.isEmpty()) {
        // Found on another origin, by an older version or while the user trusted it: asked again.
        if (!m_client.mayReach(collection))
            return leadsElsewhere(collection);
        return listChanges();
    }
    m_discovery = new CollectionDiscovery(m_client, this);
    connect(m_discovery, &CollectionDiscovery::finished, this, [this](const CollectionDiscovery::Result &found) {
        if (m_finished)
            return;
        if (found.otherServer.isValid())
            return leadsElsewhere(found.otherServer);
        if (!found.failure.isEmpty())
            return fail(SyncReport::Status::ServerFailed, found.failure, found.problem);
        if (!found.choice.isEmpty())
            return fail(SyncReport::Status::Setup, found.choice, found.problem);
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
    m_report.problem = problem(SyncProblem::Kind::Stopped);
    finish(); // the answers of the requests still running no longer count
    m_client.abortAll();
}

void CalDavSync::discovered(const QUrl &collection, bool syncCollection, const QString &note)
{
    m_keeper.account().collection = collection;
    m_keeper.account().syncCollection = syncCollection;
    if (!note.isEmpty())
        m_report.notes << note;
    // The address and the name are remembered once the server has answered for them.
    if (saveState())
        listChanges();
}

void CalDavSync::listChanges()
{
    const SyncState &state = m_keeper.state();
    m_report.collection = state.collection;
    m_changes = new ServerChanges(m_client, state.collection, this);
    connect(m_changes, &ServerChanges::fetched, this,
            [this](const syncplanner::ServerChanges &fetched, const QString &failure) {
        if (m_finished)
            return;
        if (!failure.isEmpty())
            return fail(SyncReport::Status::ServerFailed, failure, m_changes->fetchProblem());
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
            return fail(SyncReport::Status::ServerFailed, listing.failure, listing.problem);
        m_newToken = listing.token;
        const bool tokenListing = m_tokenMode && !listing.complete;
        changelisting::Reading reading = changelisting::read(listing, m_keeper.state(), tokenListing);
        m_gone = std::move(reading.gone);
        m_changes->fetch(reading.toFetch);
    });
    m_tokenMode = state.syncCollection && m_options.useSyncCollection;
    m_changes->list(m_tokenMode, state.syncToken);
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
    auto here = std::make_shared<const std::map<ThingKey, ThingInput>>(m_local.things(m_firstDay));
    auto state = std::make_shared<const SyncState>(m_keeper.state());
    auto changes = std::make_shared<const syncplanner::ServerChanges>(m_roundChanges);
    auto promise = std::make_shared<QPromise<syncplanner::Plan>>();
    auto *watcher = new QFutureWatcher<syncplanner::Plan>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, here] {
        watcher->deleteLater();
        if (!m_finished)
            carryOut(watcher->result(), *here);
    });
    watcher->setFuture(promise->future());
    m_planner.start([promise, here, state, changes, trusted = m_trusted, settleAll = m_options.settleAll,
                     settled = m_options.settled, now = m_clock.now(), firstDay = m_firstDay,
                     held = m_local.held()] {
        promise->start();
        promise->addResult(
            syncplanner::plan({*state, *here, *changes, trusted, settleAll, settled, now, firstDay, held}));
        promise->finish();
    });
}

void CalDavSync::carryOut(const syncplanner::Plan &plan, const std::map<ThingKey, ThingInput> &planned)
{
    // A thing changed here while the plan was made must not be overwritten with what the plan
    // decided for its old value: decide again.
    if (!plan.setHere.empty()) {
        const std::map<ThingKey, ThingInput> now = m_local.things(m_firstDay);
        const bool changed = std::any_of(plan.setHere.begin(), plan.setHere.end(), [&](const auto &entry) {
            const auto was = planned.find(entry.first);
            const auto is = now.find(entry.first);
            return (was == planned.end()) != (is == now.end()) || (was != planned.end() && was->second != is->second);
        });
        if (changed) {
            if (++m_plansThisRound >= MaxRounds)
                return fail(SyncReport::Status::LocalFailed,
                            QStringLiteral("the day book kept changing while the sync decided; sync again"),
                            problem(SyncProblem::Kind::BookKeptChanging));
            return planRound();
        }
    }

    // Many deletions at once are more likely a book or a server that lost its things than the
    // user's work: nothing is done until the user says so.
    const int deletions = plan.deletions();
    if (isMassDeletion(deletions, int(m_keeper.state().linked.size())) && m_options.allowDeletions >= 0
        && deletions > m_options.allowDeletions) {
        m_report.deletions = deletions;
        return fail(SyncReport::Status::TooManyDeletions,
                    QStringLiteral("this sync would delete %1 to-do(s) or thing(s) at once; nothing was changed")
                        .arg(deletions),
                    problem(SyncProblem::Kind::TooManyDeletions, deletions));
    }

    // What comes in reaches the day file before the state says it was agreed: a crash between
    // the two leaves a thing that already holds the server's version, which the next run finds
    // agreeing. The other order would make the old thing look like a change made here.
    if (!plan.setHere.empty()) {
        const ApplyResult applied = m_local.apply(plan.setHere);
        if (!applied.saved()) {
            SyncProblem notWritten = problem(SyncProblem::Kind::DayFileNotWritten);
            notWritten.detail = applied.detail;
            return fail(SyncReport::Status::LocalFailed, applied.detail, notWritten);
        }
        for (const auto &[key, thing] : plan.setHere) {
            ++m_report.received;
            if (thing.isEmpty())
                ++m_report.emptiedHere;
        }
    }
    for (auto [href, link] : plan.links) {
        // Newer than the stored token's listing; newer than this run's own listing too when it
        // was fetched again after a refused send (the rounds after the first).
        if (link)
            learnt(*link, m_round > 0);
        m_keeper.setLink(href, link);
    }
    for (const auto &[href, todo] : plan.setAside)
        m_keeper.setAside(href, todo);
    m_report.conflicts.insert(m_report.conflicts.end(), plan.conflicts.begin(), plan.conflicts.end());
    m_report.left.insert(m_report.left.end(), plan.left.begin(), plan.left.end());
    m_report.unshowable = plan.unshowable;
    m_report.notes << plan.notes;
    if (!saveState())
        return;
    m_sender = new TodoSender(m_client, m_keeper.state().collection, m_options.requestsAtOnce, this);
    connect(m_sender, &TodoSender::done, this, [this] {
        m_sender->deleteLater();
        m_sender = nullptr; // nothing of it is in flight any more
        if (m_failed)
            return finish();
        roundDone();
    });
    const int total = int(plan.ops.size());
    m_sent = 0;
    m_sender->send(plan.ops, [this, total](const syncplanner::ServerOp &op, const TodoSender::Outcome &outcome) {
        if (m_finished)
            return;
        emit progressed(++m_sent, total);
        switch (outcome.kind) {
        case TodoSender::Outcome::Kind::Done:
            return sent(op, outcome.etag);
        case TodoSender::Outcome::Kind::Again:
            m_again.insert(op.href); // changed or deleted meanwhile
            return;
        case TodoSender::Outcome::Kind::Failed:
            return fail(SyncReport::Status::ServerFailed, outcome.failure, outcome.problem);
        }
    });
}

void CalDavSync::sent(const syncplanner::ServerOp &op, const QByteArray &etag)
{
    if (op.kind == syncplanner::ServerOp::Kind::Delete) {
        m_keeper.setLink(op.href, std::nullopt);
        ++m_report.deletedThere;
    } else {
        LinkedTodo after = *op.after;
        after.etag = etag; // none: the server changed what it stored, so it is read next time
        learnt(after, true);
        m_keeper.setLink(op.href, after);
        ++m_report.sent;
    }
    saveState(true);
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
        // Every change the token covers is settled: the next run asks only for later ones, and
        // what this run's listing looked at needs no second look.
        if (m_tokenMode) {
            if (m_keeper.state().syncToken != m_newToken)
                m_keeper.account().syncToken = m_newToken;
            std::vector<LinkedTodo> checked;
            for (const auto &[href, link] : m_keeper.state().linked) {
                if (link.learntAfterToken != bool(m_learntAfterListing.count(href)))
                    checked.push_back(link);
            }
            for (LinkedTodo &link : checked) {
                link.learntAfterToken = !link.learntAfterToken;
                m_keeper.setLink(link.href, link);
            }
        }
        // From now on the state describes the day file as it is.
        m_keeper.account().dayFile = m_local.stamp();
        if (saveState())
            finish();
        return;
    }
    if (!saveState())
        return;
    if (++m_round >= MaxRounds)
        return fail(SyncReport::Status::ServerFailed,
                    QStringLiteral("%1 to-do(s) kept changing on the server while they were synced; sync again")
                        .arg(m_again.size()),
                    problem(SyncProblem::Kind::ServerKeptChanging, qint64(m_again.size())));
    const std::vector<QString> again(m_again.begin(), m_again.end());
    m_again.clear();
    m_changes->fetch(again);
}

bool CalDavSync::saveState(bool paced)
{
    const SyncStateStore::Saved saved = m_keeper.save(paced);
    if (!saved.ok)
        fail(SyncReport::Status::StateFailed, saved.detail, problem(SyncProblem::Kind::StateUnusable, 0, saved.detail));
    return saved.ok;
}

SyncProblem CalDavSync::problem(SyncProblem::Kind kind, qint64 count, const QString &systemWords)
{
    SyncProblem problem(kind);
    problem.count = count;
    problem.systemWords = systemWords;
    return problem;
}

void CalDavSync::fail(SyncReport::Status status, const QString &failure, const SyncProblem &problem)
{
    if (!m_failed) {
        m_failed = true;
        m_report.status = status;
        m_report.failure = failure;
        m_report.problem = problem;
    }
    if (m_sender)
        m_sender->stop(); // it says done() once nothing it sent is in flight
    else
        finish();
}

void CalDavSync::leadsElsewhere(const QUrl &address)
{
    m_report.otherServer = address;
    SyncProblem elsewhere = problem(SyncProblem::Kind::OtherServer);
    elsewhere.url = m_options.url;
    elsewhere.other = address;
    fail(SyncReport::Status::Setup,
         QStringLiteral("%1 leads to %2, on another server; the password goes there only if you trust it")
             .arg(m_options.url.toDisplayString(), address.toDisplayString()),
         elsewhere);
}

void CalDavSync::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    if (m_failed && m_keeper.hasUnsaved()) {
        // What was learnt before the failure, kept if it can be: the next sync goes on from there.
        // When it cannot, the next sync starts from the last state saved, which is still true.
        if (const SyncStateStore::Saved saved = m_keeper.save(); !saved.ok)
            m_report.notes << QStringLiteral("the sync's state could not be saved as well: %1").arg(saved.detail);
    }
    for (const auto &[href, todo] : m_keeper.state().setAside)
        m_report.leftOnServer += todo.why.isEmpty() ? 0 : 1;
    m_report.leftOnServer += m_report.unshowable;
    if (!m_failed) {
        m_report.status = m_report.conflicts.empty() && m_report.leftOnServer == 0 ? SyncReport::Status::InStep
                                                                                   : SyncReport::Status::Conflicts;
    }
    m_report.requests = m_client.requestsSent();
    // Always from the event loop, never from inside start() or cancel().
    QMetaObject::invokeMethod(this, [this, report = m_report] { emit finished(report); }, Qt::QueuedConnection);
}
