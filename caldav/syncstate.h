#pragma once

#include "dayfilestamp.h"
#include "daythings.h"
#include "thingkey.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <map>
#include <optional>
#include <set>
#include <vector>

// What the sync knows between runs: where the collection is, how far the server's changes have
// been read, and for each to-do the version both sides last agreed on. Never the password.
struct LinkedTodo
{
    QString href;   // the to-do's path on the server, percent-decoded
    QString uid;
    QByteArray etag; // the server's tag of the version that holds base; empty when not known
    ThingKey key;   // the thing that shows it
    std::optional<ThingInput> base; // nothing: linked, but the two sides never agreed
    QByteArray body;  // the server's object when it holds more than Tallyleaf writes
    bool refetch = false; // the server's version is not base (a conflict): read it again next time
    // This version was learnt after the listing that gave the stored sync token (by a run that
    // could not store its own token, or sent or fetched after its listing), so that listing's
    // snapshot may not hold it. A server that lists the difference of two snapshots (Xandikos)
    // never names a to-do that is in neither, such as one made here and deleted by another client
    // before the next sync: the next listing that does not name it has it read once. Cleared once
    // a token is stored whose listing came after the version was learnt.
    bool learntAfterToken = false;

    bool mustFetch() const { return refetch || etag.isEmpty() || !base; }
    friend bool operator==(const LinkedTodo &, const LinkedTodo &) = default;
};

// A to-do that no thing shows: the user has been told why, once for each version of it.
struct SetAsideTodo
{
    QString href;
    QByteArray etag;
    QString why; // empty for objects that are no to-do at all (events), which are not worth a word
    // A to-do of a day before the sync's range: left alone, and read again when the range widens.
    bool outsideRange = false;
    friend bool operator==(const SetAsideTodo &, const SetAsideTodo &) = default;
};

struct SyncState
{
    static constexpr int DefaultSinceDays = 365;

    QUrl url;          // as the user gave it
    QString user;
    QUrl collection;   // the calendar found there; empty until found
    bool syncCollection = false; // the collection answers sync-collection reports
    QString syncToken;
    // How far back the sync reaches: days before today (-1: every day); and the first day the last
    // sync reached, so that a wider range reads again what lay outside.
    int sinceDays = DefaultSinceDays;
    QDate firstDay;
    // The day file the state describes, as it was when the state last agreed with it; the agreed
    // versions below are trusted only while the day file still matches it (DayFileStamp).
    DayFileStamp dayFile;
    // Other servers the collection's address led to, which the user let the password go to, or
    // not (asked once each; see DavClient::originOf).
    std::vector<QUrl> trustedOrigins;
    std::vector<QUrl> refusedOrigins;
    std::map<QString, LinkedTodo> linked;     // by href
    std::map<QString, SetAsideTodo> setAside; // by href

    // Forgets the collection and everything learnt from it.
    void forgetCollection();
};

// What changed in a state since it was last saved: the store writes only that.
struct SyncStateChange
{
    bool account = false;    // the address, the collection, the token, the day file's stamp
    bool everything = false; // every link and set-aside to-do, written anew
    std::set<QString> linked;   // hrefs whose link changed or went
    std::set<QString> setAside; // hrefs whose entry changed or went

    bool isEmpty() const { return !account && !everything && linked.empty() && setAside.empty(); }
    void add(const SyncStateChange &other);
};
