#pragma once

#include "daythings.h"
#include "thingkey.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <map>
#include <optional>
#include <variant>

// What the sync knows between runs, kept beside the day file: where the collection is, how far
// the server's changes have been read, and for each to-do the version both sides last agreed on.
// Never the password.
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
    // never names a to-do that is in neither, such as one made here and deleted by another
    // client before the next sync: the next listing that does not name it has it read once.
    // Cleared once a token is stored whose listing came after the version was learnt.
    bool learntAfterToken = false;

    bool mustFetch() const { return refetch || etag.isEmpty() || !base; }
};

// A to-do that no thing shows: the user has been told why, once.
struct SetAsideTodo
{
    QString href;
    QByteArray etag;
    QString why; // empty for objects that are no to-do at all (events), which are not worth a word
};

struct SyncState
{
    QUrl url;          // as the user gave it
    QString user;
    QUrl collection;   // the calendar found there; empty until found
    bool syncCollection = false; // the collection answers sync-collection reports
    QString syncToken;
    std::map<QString, LinkedTodo> linked;     // by href
    std::map<QString, SetAsideTodo> setAside; // by href

    // Forgets the collection and everything learnt from it.
    void forgetCollection();
};

namespace syncstate {

// The state as the state file holds it: a CBOR map (RFC 8949) of format 1.
QByteArray toBytes(const SyncState &state);
// The state, or what is wrong with the bytes.
std::variant<SyncState, QString> fromBytes(const QByteArray &bytes);

} // namespace syncstate
