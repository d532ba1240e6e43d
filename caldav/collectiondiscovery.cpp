#include "collectiondiscovery.h"

#include "davclient.h"
#include "davrequests.h"
#include "multistatus.h"

#include <QStringList>

namespace {

constexpr QStringView D = dav::Namespace;
constexpr QStringView C = dav::CalDavNamespace;

DavRequest propfind(const QUrl &url, int depth, const QByteArray &body)
{
    return {"PROPFIND", url, body, "application/xml; charset=utf-8", depth, {}, false, true};
}

QUrl asFolder(QUrl url)
{
    if (!url.path().endsWith(u'/'))
        url.setPath(url.path() + u'/');
    return url;
}

bool isCalendar(const dav::Response &r)
{
    const dav::Property *type = r.found(D, u"resourcetype");
    return type && type->has(C, u"calendar");
}

bool takesTodos(const dav::Response &r)
{
    const dav::Property *set = r.found(C, u"supported-calendar-component-set");
    return !set || set->compNames.isEmpty() || set->compNames.contains(QStringLiteral("VTODO"));
}

bool answersSyncCollection(const dav::Response &r)
{
    const dav::Property *reports = r.found(D, u"supported-report-set");
    return reports && reports->has(D, u"sync-collection");
}

QUrl firstHref(const dav::Response &r, QStringView ns, QStringView name)
{
    const dav::Property *p = r.found(ns, name);
    return p && !p->hrefs.empty() ? p->hrefs.front() : QUrl();
}

QString nameOf(const dav::Response &r)
{
    const dav::Property *name = r.found(D, u"displayname");
    const QString shown = name ? name->text.trimmed() : QString();
    const QString path = r.href.path(QUrl::FullyDecoded);
    return shown.isEmpty() ? path.section(u'/', -2, -2) : shown;
}

CollectionDiscovery::Result chosen(const QUrl &collection, bool syncCollection)
{
    CollectionDiscovery::Result result;
    result.collection = collection;
    result.syncCollection = syncCollection;
    return result;
}

SyncProblem problem(SyncProblem::Kind kind, const QUrl &url, const QString &systemWords = QString())
{
    SyncProblem problem(kind);
    problem.url = url;
    problem.systemWords = systemWords;
    return problem;
}

CollectionDiscovery::Result failed(const QString &why, const SyncProblem &problem)
{
    CollectionDiscovery::Result result;
    result.failure = why;
    result.problem = problem;
    return result;
}

CollectionDiscovery::Result userChooses(const QString &why, const SyncProblem &problem)
{
    CollectionDiscovery::Result result;
    result.choice = why;
    result.problem = problem;
    return result;
}

} // namespace

CollectionDiscovery::CollectionDiscovery(DavClient &client, QObject *parent) : QObject(parent), m_client(client)
{
}

void CollectionDiscovery::start(const QUrl &url)
{
    examine(url);
}

void CollectionDiscovery::fail(const DavReply &reply, SyncProblem::Step step, const QString &what)
{
    Result result;
    result.otherServer = reply.otherOrigin.isEmpty() ? QUrl() : reply.url;
    result.problem = reply.problemAt(step);
    if (reply.answered() && reply.status == 401)
        result.failure = QStringLiteral("%1 refused the name or the password").arg(reply.url.host());
    else
        result.failure = QStringLiteral("%1: %2").arg(what, reply.describe());
    finish(result);
}

void CollectionDiscovery::finish(Result result)
{
    // A home may list a calendar anywhere: one the password may not go to is not taken.
    if (result.collection.isValid() && !m_client.mayReach(result.collection)) {
        result.otherServer = result.collection;
        result.failure = QStringLiteral("the calendar %1 is on another server").arg(result.collection.toDisplayString());
        result.problem = problem(SyncProblem::Kind::OtherServer, result.collection);
        result.problem.other = result.collection;
        result.collection.clear();
    }
    result.note = m_note;
    emit finished(result);
}

void CollectionDiscovery::examine(const QUrl &url)
{
    m_client.send(propfind(url, 0, davrequests::propfindCollection()), this, [this](const DavReply &reply) {
        if (!reply.answered() || reply.status != 207)
            return fail(reply, SyncProblem::Step::ReadCollection, QStringLiteral("cannot read the collection"));
        const auto answer = dav::parseMultistatus(reply.body, reply.url);
        const auto *ms = std::get_if<dav::Multistatus>(&answer);
        if (!ms || ms->responses.empty())
            return finish(failed(QStringLiteral("%1: %2").arg(reply.url.toDisplayString(), ms ? QStringLiteral("no answer") : std::get<QString>(answer)),
                                 problem(SyncProblem::Kind::UnreadableAnswer, reply.url, ms ? QString() : std::get<QString>(answer))));
        const dav::Response &r = ms->responses.front();
        if (isCalendar(r)) {
            if (!takesTodos(r))
                return finish(userChooses(QStringLiteral("%1 is a calendar that takes no to-dos").arg(reply.url.toDisplayString()),
                                          problem(SyncProblem::Kind::NotForTodos, reply.url)));
            return finish(chosen(asFolder(reply.url), answersSyncCollection(r)));
        }
        if (const QUrl home = firstHref(r, C, u"calendar-home-set"); home.isValid())
            return listHome(home);
        if (const QUrl principal = firstHref(r, D, u"current-user-principal"); principal.isValid())
            return findHome(principal);
        finish(userChooses(QStringLiteral("%1 is no calendar and names none of yours").arg(reply.url.toDisplayString()),
                           problem(SyncProblem::Kind::NoCalendar, reply.url)));
    });
}

void CollectionDiscovery::findHome(const QUrl &principal)
{
    m_client.send(propfind(principal, 0, davrequests::propfindPrincipal()), this, [this](const DavReply &reply) {
        if (!reply.answered() || reply.status != 207)
            return fail(reply, SyncProblem::Step::ReadPrincipal, QStringLiteral("cannot read your principal"));
        const auto answer = dav::parseMultistatus(reply.body, reply.url);
        const auto *ms = std::get_if<dav::Multistatus>(&answer);
        const QUrl home = ms && !ms->responses.empty() ? firstHref(ms->responses.front(), C, u"calendar-home-set") : QUrl();
        if (!home.isValid())
            return finish(failed(QStringLiteral("%1 names no calendar home").arg(reply.url.toDisplayString()),
                                 problem(SyncProblem::Kind::NoCalendarHome, reply.url)));
        listHome(home);
    });
}

void CollectionDiscovery::listHome(const QUrl &home)
{
    m_client.send(propfind(home, 1, davrequests::propfindCollection()), this, [this, home](const DavReply &reply) {
        if (!reply.answered() || reply.status != 207)
            return fail(reply, SyncProblem::Step::ListCalendars, QStringLiteral("cannot list your calendars"));
        const auto answer = dav::parseMultistatus(reply.body, reply.url);
        const auto *ms = std::get_if<dav::Multistatus>(&answer);
        if (!ms)
            return finish(failed(QStringLiteral("%1: %2").arg(reply.url.toDisplayString(), std::get<QString>(answer)),
                                 problem(SyncProblem::Kind::UnreadableAnswer, reply.url, std::get<QString>(answer))));
        std::vector<const dav::Response *> calendars;
        for (const dav::Response &r : ms->responses) {
            if (isCalendar(r) && takesTodos(r))
                calendars.push_back(&r);
        }
        if (calendars.empty())
            return make(asFolder(reply.url));
        if (calendars.size() > 1) {
            const auto named = std::find_if(calendars.begin(), calendars.end(), [](const dav::Response *r) {
                return nameOf(*r).compare(u"tallyleaf", Qt::CaseInsensitive) == 0;
            });
            if (named == calendars.end()) {
                QStringList found;
                SyncProblem several = problem(SyncProblem::Kind::SeveralCalendars, home);
                for (const dav::Response *r : calendars) {
                    found << QStringLiteral("%1 (%2)").arg(asFolder(r->href).toDisplayString(), nameOf(*r));
                    several.names << asFolder(r->href).toDisplayString();
                }
                return finish(userChooses(QStringLiteral("%1 has several calendars for to-dos; give one of them with --url: %2")
                                             .arg(home.toDisplayString(), found.join(u", ")),
                                          several));
            }
            calendars = {*named};
        }
        finish(chosen(asFolder(calendars.front()->href), answersSyncCollection(*calendars.front())));
    });
}

void CollectionDiscovery::make(const QUrl &home)
{
    const QUrl calendar = home.resolved(QUrl(QStringLiteral("tallyleaf/")));
    const DavRequest request{"MKCALENDAR", calendar, davrequests::makeTodoCalendar(QStringLiteral("Tallyleaf")),
                             "application/xml; charset=utf-8", -1, {}, false, false};
    m_client.send(request, this, [this, calendar](const DavReply &reply) {
        if (!reply.succeeded())
            return fail(reply, SyncProblem::Step::MakeCalendar, QStringLiteral("found no calendar for to-dos and cannot make one"));
        m_note = QStringLiteral("made the calendar %1 for your things").arg(calendar.toDisplayString());
        examine(calendar);
    });
}
