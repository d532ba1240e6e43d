#include "serverchanges.h"

#include "davclient.h"
#include "davrequests.h"
#include "multistatus.h"

namespace {

constexpr QStringView D = dav::Namespace;
constexpr QStringView C = dav::CalDavNamespace;

DavRequest reportRequest(const QUrl &url, int depth, const QByteArray &body)
{
    return {"REPORT", url, body, "application/xml; charset=utf-8", depth, {}, false, false};
}

// Whether an answer to a sync-collection with a token may say that the server no longer knows the
// token (expired, or the collection restored from a backup). Servers say so differently: 403 with
// valid-sync-token (RFC 6578), 400, 404, or 500 (Xandikos, asked for a snapshot it does not
// have). A refused password, a server busy or out of reach, or no answer at all says nothing
// about the token: listing everything would fail the same way, at a higher cost.
bool mayBeRefusedToken(const DavReply &reply)
{
    const int s = reply.status;
    return reply.answered() && s != 207 && s != 401 && s != 429 && !(s >= 502 && s <= 504);
}

} // namespace

ServerChanges::ServerChanges(DavClient &client, const QUrl &collection, QObject *parent)
    : QObject(parent), m_client(client), m_collection(collection)
{
}

QString ServerChanges::failureOf(const DavReply &reply, const QString &what)
{
    if (reply.answered() && reply.status == 401)
        return QStringLiteral("%1 refused the name or the password").arg(reply.url.host());
    return QStringLiteral("%1: %2").arg(what, reply.describe());
}

// Members of the collection only: a server cannot make us read or write anywhere else.
std::optional<QString> ServerChanges::hrefOf(const QUrl &url) const
{
    const QString path = url.path(QUrl::FullyDecoded);
    const QString folder = m_collection.path(QUrl::FullyDecoded);
    const int defaultPort = url.scheme() == u"https" ? 443 : 80; // ":443" spelt out is the same server
    if (url.scheme() != m_collection.scheme() || url.host().compare(m_collection.host(), Qt::CaseInsensitive) != 0
        || url.port(defaultPort) != m_collection.port(defaultPort) || !path.startsWith(folder) || path.size() == folder.size()
        || path.sliced(folder.size()).contains(u'/'))
        return std::nullopt;
    return path;
}

bool ServerChanges::isCollection(const QUrl &url) const
{
    auto trimmed = [](QString path) {
        while (path.endsWith(u'/'))
            path.chop(1);
        return path;
    };
    return trimmed(url.path(QUrl::FullyDecoded)) == trimmed(m_collection.path(QUrl::FullyDecoded));
}

QUrl ServerChanges::urlOf(const QString &href) const
{
    QUrl url = m_collection;
    url.setPath(href, QUrl::DecodedMode);
    return url;
}

void ServerChanges::list(bool useSyncCollection, const QString &token)
{
    m_listing = {};
    m_followUps = 0;
    if (useSyncCollection)
        report(token, false);
    else
        query();
}

void ServerChanges::report(const QString &token, bool retried)
{
    m_client.send(reportRequest(m_collection, 1, davrequests::syncCollection(token)), this,
                  [this, token, retried](const DavReply &reply) {
        // A token the server may no longer know: list everything afresh, once.
        if (!token.isEmpty() && !retried && mayBeRefusedToken(reply))
            return report(QString(), true);
        if (!reply.answered() || reply.status != 207) {
            m_listing.failure = failureOf(reply, QStringLiteral("cannot list the changes"));
            return emit listed(m_listing);
        }
        const auto answer = dav::parseMultistatus(reply.body, reply.url);
        if (const QString *why = std::get_if<QString>(&answer)) {
            m_listing.failure = QStringLiteral("cannot read the list of changes: %1").arg(*why);
            return emit listed(m_listing);
        }
        const auto &ms = std::get<dav::Multistatus>(answer);
        if (token.isEmpty())
            m_listing.complete = true;
        bool truncated = false;
        for (const dav::Response &r : ms.responses) {
            if (isCollection(r.href)) {
                truncated = truncated || r.status == 507;
                continue;
            }
            const std::optional<QString> href = hrefOf(r.href);
            if (!href) { // a list naming what is not ours may leave out what is: nothing is taken as gone
                m_listing.complete = false;
                continue;
            }
            if (r.status == 404 || r.status == 410) {
                m_listing.gone.insert(*href);
                m_listing.present.erase(*href);
            } else { // changed; without its tag, fetched to see
                const dav::Property *etag = r.found(D, u"getetag");
                m_listing.present[*href] = etag ? etag->text.trimmed().toUtf8() : QByteArray();
                m_listing.gone.erase(*href);
            }
        }
        m_listing.token = ms.syncToken;
        if (truncated) {
            if (ms.syncToken.isEmpty() || ms.syncToken == token || ++m_followUps > MaxFollowUps) {
                m_listing.failure = QStringLiteral("the server cut the list of changes short and gave no way to the rest");
                return emit listed(m_listing);
            }
            return report(ms.syncToken, true); // the rest, from where this part ended
        }
        emit listed(m_listing);
    });
}

void ServerChanges::query()
{
    m_client.send(reportRequest(m_collection, 1, davrequests::todoEtags()), this, [this](const DavReply &reply) {
        if (!reply.answered() || reply.status != 207) {
            m_listing.failure = failureOf(reply, QStringLiteral("cannot list the to-dos"));
            return emit listed(m_listing);
        }
        const auto answer = dav::parseMultistatus(reply.body, reply.url);
        if (const QString *why = std::get_if<QString>(&answer)) {
            m_listing.failure = QStringLiteral("cannot read the list of to-dos: %1").arg(*why);
            return emit listed(m_listing);
        }
        m_listing.complete = true;
        for (const dav::Response &r : std::get<dav::Multistatus>(answer).responses) {
            if (isCollection(r.href)) {
                if (r.status == 507) {
                    m_listing.failure = QStringLiteral("the server cut the list of to-dos short");
                    return emit listed(m_listing);
                }
                continue;
            }
            const std::optional<QString> href = hrefOf(r.href);
            if (!href) { // see report()
                m_listing.complete = false;
                continue;
            }
            if (r.status == 404 || r.status == 410)
                continue;
            // Without its tag (or with an error for the tag alone), fetched to see: never taken as gone.
            const dav::Property *etag = r.found(D, u"getetag");
            m_listing.present[*href] = etag ? etag->text.trimmed().toUtf8() : QByteArray();
        }
        emit listed(m_listing);
    });
}

void ServerChanges::fetch(const std::vector<QString> &hrefs)
{
    m_toFetch = hrefs;
    m_nextBatch = 0;
    m_fetched.clear();
    fetchBatch();
}

void ServerChanges::fetchBatch()
{
    if (m_nextBatch >= m_toFetch.size())
        return emit fetched(m_fetched, {});
    const size_t end = std::min(m_toFetch.size(), m_nextBatch + BatchSize);
    std::vector<QString> batch(m_toFetch.begin() + qsizetype(m_nextBatch), m_toFetch.begin() + qsizetype(end));
    m_nextBatch = end;
    std::vector<QUrl> urls;
    for (const QString &href : batch)
        urls.push_back(urlOf(href));
    m_client.send(reportRequest(m_collection, 1, davrequests::multiget(urls)), this, [this, batch](const DavReply &reply) {
        if (!reply.answered() || reply.status != 207) {
            // A batch too large, or answered otherwise than asked: each on its own.
            if (reply.tooLarge || (reply.answered() && reply.status >= 200 && reply.status < 300))
                return fetchOne(batch);
            return emit fetched(m_fetched, failureOf(reply, QStringLiteral("cannot fetch the changed to-dos")));
        }
        const auto answer = dav::parseMultistatus(reply.body, reply.url);
        if (!std::holds_alternative<dav::Multistatus>(answer))
            return fetchOne(batch);
        std::set<QString> asked(batch.begin(), batch.end());
        for (const dav::Response &r : std::get<dav::Multistatus>(answer).responses) {
            const std::optional<QString> href = hrefOf(r.href);
            if (!href || !asked.count(*href))
                continue;
            const dav::Property *etag = r.found(D, u"getetag");
            const dav::Property *data = r.found(C, u"calendar-data");
            if (r.status == 404 || r.status == 410) {
                m_fetched[*href] = std::nullopt;
            } else if (data) {
                const QByteArray body = data->text.toUtf8();
                m_fetched[*href] = syncplanner::ServerVersion{etag ? etag->text.trimmed().toUtf8() : QByteArray(), body,
                                                              todomapping::read(body)};
            } else {
                continue; // an error for this one alone: fetched on its own below
            }
            asked.erase(*href);
        }
        // A member the answer leaves out or could not send is fetched on its own: taken as
        // unchanged, it would be passed over for good once the sync token moves on.
        fetchOne({asked.begin(), asked.end()});
    });
}

void ServerChanges::fetchOne(std::vector<QString> hrefs)
{
    if (hrefs.empty())
        return fetchBatch();
    const QString href = hrefs.back();
    hrefs.pop_back();
    const DavRequest get{"GET", urlOf(href), {}, {}, -1, {}, false, false};
    m_client.send(get, this, [this, href, hrefs](const DavReply &reply) {
        if (reply.answered() && (reply.status == 404 || reply.status == 410))
            m_fetched[href] = std::nullopt;
        else if (reply.tooLarge) // set aside as it is, until it changes
            m_fetched[href] = syncplanner::ServerVersion{
                reply.etag, {}, todomapping::Refusal{todomapping::Refusal::Kind::Unreadable, reply.failure, {}, {}, {}}};
        else if (reply.succeeded())
            m_fetched[href] = syncplanner::ServerVersion{reply.etag, reply.body, todomapping::read(reply.body)};
        else
            return emit fetched(m_fetched, failureOf(reply, QStringLiteral("cannot fetch %1").arg(href)));
        fetchOne(hrefs);
    });
}
