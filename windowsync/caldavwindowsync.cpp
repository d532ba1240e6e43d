#include "caldavwindowsync.h"

#include "caldavsync.h"
#include "davclient.h"
#include "passwordkeeper.h"
#include "prompts.h"
#include "shownday.h"
#include "syncstatelocation.h"
#include "syncwords.h"
#include "timesource.h"

#include <QFileInfo>
#include <utility>


CalDavWindowSync::CalDavWindowSync(ShownDay &day, const TimeSource &time, Prompts &prompts, PasswordKeeper &passwords,
                                   QNetworkAccessManager &network, const QString &stateFolder, Timings timings)
    : m_day(day)
    , m_time(time)
    , m_prompts(prompts)
    , m_passwords(passwords)
    , m_network(network)
    , m_timings(timings)
    , m_stateStore(stateFolder, day.dayFile().path())
    , m_things(day)
{
    auto state = m_stateStore.loadAccount();
    if (const SyncState *known = std::get_if<SyncState>(&state)) {
        m_url = known->url;
        m_user = known->user;
        m_trustedOrigins = known->trustedOrigins;
        m_sinceDays = known->sinceDays;
    } else {
        // Set up, but the state cannot be read: every sync says so, and the menu does too.
        m_url = QUrl(QStringLiteral("unreadable:"));
    }
    if (isSetUp())
        m_stateStore.preload(); // the links, read on a thread of its own before the first sync
    // An account an earlier version turned off has no mark yet: the next start need not load the sync.
    else if (QFileInfo::exists(m_stateStore.path()))
        (void)syncstatelocation::markOff(m_stateStore.path(), true); // unmarked, only loaded again
    setState(isSetUp() ? State::Waiting : State::Off, QString());

    m_soon.setSingleShot(true);
    connect(&m_soon, &QTimer::timeout, this, [this] { trigger(false); });
    m_every.setInterval(m_timings.every);
    connect(&m_every, &QTimer::timeout, this, [this] { trigger(false); });
    // A change written into the day book goes to the server a few seconds later (several changes
    // in a row, once); the sync's own writes are not changes to send back.
    m_day.setAfterChange([this] {
        if (m_things.isApplying() || !isSetUp())
            return;
        if (m_running)
            m_again = true;
        else
            m_soon.start(m_timings.afterChange);
    });
}

CalDavWindowSync::~CalDavWindowSync()
{
    m_day.setAfterChange({});
    stop();
}

void CalDavWindowSync::start()
{
    m_every.start();
    if (isSetUp())
        m_soon.start(m_timings.atStart);
}

bool CalDavWindowSync::setUp(const QUrl &url, const QString &user, const QString &password)
{
    if (!url.isEmpty() && !DavClient::refusalFor(url).isEmpty()) {
        m_prompts.inform(syncwords::addressRefused(url));
        return false;
    }
    // Stopped before the new account is written: a sync stopped saves its state, which names the old one.
    if (m_job) {
        m_job->cancel(); // its end starts the sync with the new account
        m_cancelled = true;
    }
    auto loaded = m_stateStore.load();
    // An unreadable state is started afresh: the sync compares every thing again, and makes no doubles.
    SyncState state = std::holds_alternative<SyncState>(loaded) ? std::get<SyncState>(std::move(loaded)) : SyncState{};
    if (state.url != url || state.user != user) {
        state.forgetCollection();
        state.url = url;
        state.user = user;
        SyncStateChange all;
        all.account = all.everything = true;
        if (const SyncStateStore::Saved saved = m_stateStore.save(state, all); !saved.ok) {
            tellStateTrouble(syncwords::settingsNotSaved(m_stateStore.path()), saved.detail);
            return false;
        }
    }
    // The same account without a new password keeps this session's: without a keychain it is
    // the only one there is.
    const bool sameAccount = url == m_url && user == m_user;
    if (!password.isEmpty() || !sameAccount) {
        m_password = password.isEmpty() ? std::nullopt : std::optional<QString>(password);
        m_passwordTyped = !password.isEmpty();
    }
    m_url = url;
    m_user = user;
    m_keychainAsked = m_passwordAsked = m_failureTold = false;
    m_putOff.clear();
    m_settle.clear();
    m_allowDeletions = 0;
    m_trustedOrigins = state.trustedOrigins;
    if (!isSetUp()) {
        m_soon.stop();
        setState(State::Off, QString());
        return true;
    }
    setState(State::Waiting, QString());
    trigger(true);
    return true;
}

bool CalDavWindowSync::setRange(int sinceDays)
{
    auto loaded = m_stateStore.load();
    SyncState state = std::holds_alternative<SyncState>(loaded) ? std::get<SyncState>(std::move(loaded)) : SyncState{};
    if (state.sinceDays != sinceDays) {
        state.sinceDays = sinceDays;
        SyncStateChange account;
        account.account = true;
        if (const SyncStateStore::Saved saved = m_stateStore.save(state, account); !saved.ok) {
            tellStateTrouble(syncwords::settingsNotSaved(m_stateStore.path()), saved.detail);
            return false;
        }
    }
    m_sinceDays = sinceDays;
    return true;
}

void CalDavWindowSync::syncNow()
{
    trigger(true);
}

bool CalDavWindowSync::stop()
{
    m_stopped = true;
    m_soon.stop();
    m_every.stop();
    if (!m_job)
        return false;
    m_job->cancel();
    return true;
}

void CalDavWindowSync::dayFileMoved(const QString &newPath)
{
    [[maybe_unused]] const bool wasRunning = stop(); // the move waits for no sync
    if (const SyncStateStore::Saved moved = m_stateStore.moveTo(newPath); !moved.ok)
        tellStateTrouble(syncwords::stateNotMoved(m_stateStore.path()), moved.detail);
}

void CalDavWindowSync::trigger(bool byHand)
{
    if (m_stopped || !isSetUp())
        return;
    if (m_running) {
        m_again = true;
        m_againByHand = m_againByHand || byHand;
        return;
    }
    if (m_day.isReadOnly()) {
        setState(State::Failed, QStringLiteral("未同步"), QStringLiteral("日程文件这次只能读取，不能同步。"));
        return;
    }
    // A book read in part would look emptied where it was not read: nothing of it goes out.
    if (!m_things.whyNotSyncable().isEmpty()) {
        setState(State::Failed, QStringLiteral("未同步"),
                 QStringLiteral("日程文件这次没有完整读入（或不能写入），为了不让服务器上的待办被当作已删除，不同步。"
                                "请检查日程文件后重新启动程序。"));
        return;
    }
    if (!m_stateStore.isReady()) { // the links are still being read
        m_soon.start(m_timings.afterChange);
        return;
    }
    if (m_day.isAsking()) { // a merge is asking the user: later
        m_soon.start(m_timings.afterChange);
        return;
    }
    m_running = true;
    m_askedAfterRefusal = false;
    withPassword(byHand);
}

void CalDavWindowSync::withPassword(bool byHand)
{
    if (m_password)
        return run(byHand);
    if (m_keychainAsked)
        return askPassword(byHand);
    m_keychainAsked = true;
    setState(State::Running, QStringLiteral("正在同步…"));
    m_passwords.read(passwordstore::keyFor(m_url, m_user), this, [this, byHand](const passwordstore::Result &kept) {
        if (m_stopped) {
            m_running = false;
            return;
        }
        noteKeychain(kept);
        if (kept.status == passwordstore::Result::Status::Found) {
            m_password = kept.password;
            return run(byHand);
        }
        askPassword(byHand);
    });
}

void CalDavWindowSync::askPassword(bool byHand)
{
    // Asked once a session by a sync of its own; every time the user asks for a sync.
    if (m_stopped || (m_passwordAsked && !byHand))
        return noPassword();
    if (askUser(false))
        return run(byHand);
    noPassword();
}

bool CalDavWindowSync::askUser(bool refused)
{
    m_passwordAsked = true;
    m_password = m_prompts.askPassword(syncwords::passwordQuestion(m_url, m_user, {!keepsPasswords(), refused}));
    m_passwordTyped = m_password.has_value();
    return m_password && !m_stopped;
}

void CalDavWindowSync::noPassword()
{
    m_running = false;
    setState(State::Failed, QStringLiteral("未同步"), QStringLiteral("没有密码：请选“立即同步”输入密码。"));
}

bool CalDavWindowSync::keepsPasswords() const
{
    return !m_keychainMissing && m_passwords.runs();
}

void CalDavWindowSync::noteKeychain(const passwordstore::Result &answer)
{
    if (answer.status == passwordstore::Result::Status::NoKeychain)
        m_keychainMissing = true;
    else if (answer.status != passwordstore::Result::Status::Failed)
        m_keychainMissing = false;
}

void CalDavWindowSync::tellStateTrouble(const QString &message, const QString &systemWords)
{
    m_prompts.inform(message);
    setState(m_state, m_status, QStringLiteral("%1\n\n系统的说明：%2").arg(message, systemWords));
}

void CalDavWindowSync::run(bool byHand)
{
    setState(State::Running, QStringLiteral("正在同步…"));
    m_client = std::make_unique<DavClient>(m_network, DavClient::Account{m_user, *m_password},
                                           DavClient::Limits{m_timings.serverTimeout, qint64(64) << 20});
    SyncOptions options;
    options.url = m_url;
    options.user = m_user;
    options.settled = m_settle;
    options.trustedOrigins = m_trustedOrigins;
    options.allowDeletions = std::exchange(m_allowDeletions, 0);
    m_job = std::make_unique<CalDavSync>(*m_client, m_things, m_stateStore, m_time, options);
    connect(m_job.get(), &CalDavSync::progressed, this, [this](int done, int total) {
        // A long sync says how far it is; a short one is over before anyone reads it.
        if (total >= 20)
            setState(State::Running, syncwords::progress(done, total), syncwords::progress(done, total));
    });
    connect(m_job.get(), &CalDavSync::finished, this, [this, byHand](const SyncReport &report) {
        const bool refused = m_client->loginRefused();
        // Not deleted inside their own signal.
        m_job.release()->deleteLater();
        m_client.release()->deleteLater();
        finished(report, refused, byHand);
    });
    m_job->start();
}

void CalDavWindowSync::finished(const SyncReport &report, bool loginRefused, bool byHand)
{
    m_settle.clear(); // carried out, or asked again
    if (m_stopped || !isSetUp()) { // closing, or turned off meanwhile
        m_running = false;
        m_cancelled = false;
        return;
    }
    // Nothing is put on top of a question the window is asking, nor told of a sync stopped for a
    // new account: the next sync, soon, tells what there is to tell.
    const bool quiet = std::exchange(m_cancelled, false) || m_day.isAsking();
    if (quiet && !m_again)
        m_soon.start(m_timings.afterChange);
    const QDateTime when = m_time.now();
    const bool reached = report.status == SyncReport::Status::InStep || report.status == SyncReport::Status::Conflicts;
    if (reached) {
        m_failureTold = false;
        if (m_passwordTyped) { // the server took it: kept for the next sessions, where a keychain runs
            m_passwordTyped = false;
            m_passwords.write(passwordstore::keyFor(m_url, m_user), *m_password, this,
                              [this](const passwordstore::Result &stored) { noteKeychain(stored); });
        }
        // What stays on the server is said in the details, once for each version of each to-do,
        // never in a message of its own at every sync.
        if (!report.left.empty())
            m_leftTold = syncwords::leftOnServer(report.left);
        else if (report.leftOnServer == 0)
            m_leftTold.clear();
        QString details = QStringLiteral("%1：收到 %2 件改动，发出 %3 件，%4 件冲突待定。")
                              .arg(report.collection.toDisplayString())
                              .arg(report.received)
                              .arg(report.sent + report.deletedThere)
                              .arg(report.conflicts.size());
        if (!m_leftTold.isEmpty())
            details += QStringLiteral("\n\n") + m_leftTold;
        setState(report.ok() ? State::InStep : State::Conflicts, syncwords::lastSync(report, when), details);
        if (!report.conflicts.empty() && !quiet)
            settleConflicts(report, byHand);
    } else if (report.status == SyncReport::Status::Setup && report.otherServer.isValid() && !quiet
               && trustOtherServer(report)) {
        m_again = true;
    } else if (report.status == SyncReport::Status::TooManyDeletions && !quiet) {
        setState(State::Failed, syncwords::lastSync(report, when), syncwords::failureDetails(report, false));
        if (allowDeletions(report))
            m_again = true;
    } else if (loginRefused && !quiet && !m_askedAfterRefusal && !m_stopped
               && (byHand || m_passwordTyped || !m_passwordAsked)) {
        // Asked again at once, while the user is there (a password just typed, a sync asked
        // for), or where this session has not asked yet; once, so that a wrong name ends it.
        m_askedAfterRefusal = true;
        if (askUser(true))
            return run(byHand);
        return noPassword();
    } else {
        if (loginRefused) { // asked again when the user syncs by hand
            m_password.reset();
            m_passwordTyped = false;
        }
        setState(State::Failed, syncwords::lastSync(report, when), syncwords::failureDetails(report, loginRefused));
        if (!quiet && (!m_failureTold || byHand)) {
            m_prompts.inform(syncwords::failure(report, loginRefused));
            m_failureTold = true;
        }
    }
    m_running = false;
    if (!m_settle.empty() || m_again) { // the user's choices are carried out at once
        const bool again = m_againByHand;
        m_again = m_againByHand = false;
        trigger(again);
    }
}

void CalDavWindowSync::setState(State state, const QString &status, const QString &details)
{
    m_state = state;
    m_status = status;
    m_details = details;
    if (m_onStateChanged)
        m_onStateChanged();
}
