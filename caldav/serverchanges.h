#pragma once

#include "syncplanner.h"
#include "syncproblem.h"

#include <QObject>
#include <QUrl>
#include <map>
#include <set>
#include <vector>

class DavClient;
struct DavReply;

// What changed in the collection since the last run, and the changed to-dos themselves.
// With a sync token (RFC 6578) the server lists only what changed; without one, a
// calendar-query lists every to-do's ETag and the caller compares. Bodies come by
// calendar-multiget, a batch at a time; a batch whose answer cannot be read is fetched one
// to-do at a time, so one bad object cannot hide the others.
class ServerChanges : public QObject
{
    Q_OBJECT
public:
    struct Listing
    {
        std::map<QString, QByteArray> present; // href -> ETag: changed, or with complete every to-do
        std::set<QString> gone;
        bool complete = false; // present names every to-do: one not named is gone (an empty ETag: unknown)
        QString token;         // to ask from next time
        QString failure;
        SyncProblem problem; // with failure, as data
    };

    static constexpr int BatchSize = 200;
    static constexpr int MaxFollowUps = 1000;

    ServerChanges(DavClient &client, const QUrl &collection, QObject *parent = nullptr);

    void list(bool useSyncCollection, const QString &token);
    void fetch(const std::vector<QString> &hrefs);
    // The last failure fetched() told, as data.
    const SyncProblem &fetchProblem() const { return m_fetchProblem; }

signals:
    void listed(const ServerChanges::Listing &listing);
    void fetched(const syncplanner::ServerChanges &changes, const QString &failure);

private:
    void report(const QString &token, bool retried);
    void query();
    void fetchBatch();
    void fetchOne(std::vector<QString> hrefs);
    std::optional<QString> hrefOf(const QUrl &url) const;
    bool isCollection(const QUrl &url) const;
    QUrl urlOf(const QString &href) const;
    static QString failureOf(const DavReply &reply, const QString &what);
    void failFetch(const DavReply &reply, const QString &what);

    DavClient &m_client;
    QUrl m_collection;
    Listing m_listing;
    int m_followUps = 0; // parts of a list the server cut short, asked for after it
    std::vector<QString> m_toFetch;
    size_t m_nextBatch = 0;
    syncplanner::ServerChanges m_fetched;
    SyncProblem m_fetchProblem;
};
