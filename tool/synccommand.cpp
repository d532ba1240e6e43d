#include "synccommand.h"

#include "caldavsync.h"
#include "davclient.h"
#include "dayfile.h"
#include "messages.h"
#include "daybookthings.h"
#include "exitstatus.h"
#include "passwordprompt.h"
#include "passwordstore.h"
#include "syncstatedatabase.h"
#include "timesource.h"
#include "writabledaybook.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

namespace {

const char *const PasswordVariable = "TALLYLEAF_CALDAV_PASSWORD";

// Waits for a keychain job; a keychain that does not answer counts as none.
passwordstore::Result waitFor(const std::function<void(QObject *, std::function<void(const passwordstore::Result &)>)> &job)
{
    QEventLoop loop;
    QObject context;
    std::optional<passwordstore::Result> result;
    job(&context, [&](const passwordstore::Result &r) {
        result = r;
        loop.quit();
    });
    QTimer::singleShot(10'000, &loop, &QEventLoop::quit);
    if (!result)
        loop.exec();
    return result.value_or(passwordstore::Result{passwordstore::Result::Status::NoKeychain, {},
                                                 QStringLiteral("the keychain did not answer")});
}

QString shown(const ThingInput &thing)
{
    return QStringLiteral("\"%1\"%2").arg(thing.text, thing.done ? QStringLiteral(" (done)") : QString());
}

void print(const SyncReport &report)
{
    for (const QString &n : report.notes)
        note(n);
    for (const thingdecision::Conflict &c : report.conflicts) {
        const QString server = c.theirs ? shown(*c.theirs) : QStringLiteral("deleted");
        std::printf("conflict: %s: here %s, on the server %s\n", qPrintable(c.key.toString()), qPrintable(shown(c.mine)),
                    qPrintable(server));
    }
    for (const syncplanner::LeftOnServer &l : report.left) {
        const QString name = l.summary.isEmpty() ? l.uid : QStringLiteral("\"%1\"").arg(l.summary);
        const QString thing = l.key ? QStringLiteral(" (%1 keeps its own version)").arg(l.key->toString()) : QString();
        std::printf("left on the server: %s: %s%s\n", qPrintable(name.isEmpty() ? l.href : name), qPrintable(l.why),
                    qPrintable(thing));
    }
    if (report.status == SyncReport::Status::InStep || report.status == SyncReport::Status::Conflicts)
        std::printf("%s\n", qPrintable(QStringLiteral("synced with %1: %2 thing(s) changed here (%3 emptied), %4 to-do(s) "
                                                      "sent, %5 deleted on the server, %6 conflict(s), %7 to-do(s) no thing shows, %8 request(s)")
                                           .arg(report.collection.toDisplayString())
                                           .arg(report.received)
                                           .arg(report.emptiedHere)
                                           .arg(report.sent)
                                           .arg(report.deletedThere)
                                           .arg(report.conflicts.size())
                                           .arg(report.leftOnServer)
                                           .arg(report.requests)));
}

int exitStatus(const SyncReport &report, const QUrl &url)
{
    switch (report.status) {
    case SyncReport::Status::InStep:
        return Success;
    case SyncReport::Status::Conflicts:
        return Conflicts;
    case SyncReport::Status::ServerFailed:
        return fail(ServerFailed, report.failure);
    case SyncReport::Status::LocalFailed:
    case SyncReport::Status::StateFailed:
        return fail(NotWritten, report.failure);
    case SyncReport::Status::Setup:
        if (report.otherServer.isValid())
            return fail(BadUsage, QStringLiteral("%1 leads to %2, on another server, and the password goes only to the "
                                                 "server you named; if you trust that server, sync with --url %2")
                                      .arg(url.toDisplayString(), report.otherServer.toDisplayString()));
        return fail(BadUsage, report.failure);
    case SyncReport::Status::TooManyDeletions:
        return fail(Conflicts, report.failure + QStringLiteral("; if you emptied or deleted them yourself, sync again "
                                                               "with --allow-deletions"));
    }
    return ServerFailed;
}

} // namespace

int syncThings(FileOps &ops, const Command &command, const QString &dayFilePath)
{
    SyncStateDatabase stateStore(SyncStateDatabase::defaultFolder(), dayFilePath);
    const auto remembered = stateStore.loadAccount();
    if (const QString *why = std::get_if<QString>(&remembered))
        return fail(Unreadable, *why);
    const SyncState &state = std::get<SyncState>(remembered);
    const QUrl url = command.url.isEmpty() ? state.url : QUrl(command.url, QUrl::StrictMode);
    const QString user = !command.user.isEmpty() ? command.user : url == state.url ? state.user : QString();
    if (url.isEmpty() || user.isEmpty())
        return fail(BadUsage, QStringLiteral("the first sync needs --url and --user"));
    if (const QString refusal = DavClient::refusalFor(url); !refusal.isEmpty())
        return fail(BadUsage, refusal);

    DayFile dayFile(ops, dayFilePath);
    if (const std::optional<int> status = openForWriting(dayFile, QStringLiteral("sync"), QStringLiteral("synced")))
        return *status;

    QString password = qEnvironmentVariable(PasswordVariable);
    bool asked = false;
    const QString key = passwordstore::keyFor(url, user);
    if (!qEnvironmentVariableIsSet(PasswordVariable)) {
        const passwordstore::Result kept = waitFor([&](QObject *context, auto done) { passwordstore::read(key, context, done); });
        if (kept.status == passwordstore::Result::Status::Found) {
            password = kept.password;
        } else if (std::optional<QString> typed = askPassword(QStringLiteral("Password for %1 at %2: ").arg(user, url.host()))) {
            password = *typed;
            asked = true;
        } else {
            const QString keychain = kept.status == passwordstore::Result::Status::NotFound
                ? QStringLiteral("the keychain holds none for %1").arg(key)
                : QStringLiteral("no keychain answers (%1)").arg(kept.detail);
            return fail(BadUsage, QStringLiteral("no password: %1, and there is no terminal to ask on; set %2")
                                      .arg(keychain, QString::fromLatin1(PasswordVariable)));
        }
    }

    QNetworkAccessManager network;
    DavClient client(network, {user, password}, {std::chrono::seconds(command.timeoutSeconds), qint64(64) << 20});
    DayBookThings local(dayFile);
    SystemTime clock;
    SyncOptions options;
    options.url = url;
    options.user = user;
    if (command.prefer != Command::Prefer::Ask)
        options.settleAll = command.prefer == Command::Prefer::Here ? thingdecision::Choice::Mine : thingdecision::Choice::Theirs;
    options.allowDeletions = command.allowDeletions ? -1 : 0;
    options.sinceDays = command.sinceDays;
    CalDavSync sync(client, local, stateStore, clock, options);
    SyncReport report;
    QEventLoop loop;
    QObject::connect(&sync, &CalDavSync::finished, &loop, [&](const SyncReport &r) {
        report = r;
        loop.quit();
    });
    // How far a long sync is, on a terminal only: a pipe or a log gets the summary alone.
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    QElapsedTimer sinceShown;
    bool shown = false;
    QObject::connect(&sync, &CalDavSync::progressed, &loop, [&](int done, int total) {
        if (!terminal || (done != total && sinceShown.isValid() && sinceShown.elapsed() < 200))
            return;
        std::fprintf(stderr, "\rsyncing: %d / %d sent", done, total);
        std::fflush(stderr);
        sinceShown.start();
        shown = true;
    });
    QTimer::singleShot(0, &sync, &CalDavSync::start);
    loop.exec();
    if (shown)
        std::fputc('\n', stderr);

    print(report);
    const bool accepted = report.status == SyncReport::Status::InStep || report.status == SyncReport::Status::Conflicts;
    if (asked && accepted) {
        const passwordstore::Result stored =
            waitFor([&](QObject *context, auto done) { passwordstore::write(key, password, context, done); });
        if (stored.status != passwordstore::Result::Status::Found)
            note(QStringLiteral("the password is not kept (%1); you will be asked again").arg(stored.detail));
    }
    return exitStatus(report, url);
}
