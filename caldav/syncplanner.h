#pragma once

#include "localthings.h"
#include "syncstate.h"
#include "thingdecision.h"
#include "todomapping.h"

#include <QDateTime>
#include <QStringList>
#include <map>
#include <optional>
#include <vector>

// One round of the reconciliation, decided without any I/O: from what the state file says, what
// the day book holds and what the server changed, the things to set here, the requests to send
// and the links to keep. The sync sends and saves; this only decides.
namespace syncplanner {

struct ServerVersion
{
    QByteArray etag;
    QByteArray body;
    todomapping::Reading reading;
};
// By href; nothing when the to-do is gone from the server.
using ServerChanges = std::map<QString, std::optional<ServerVersion>>;

struct Conflict
{
    ThingKey key;
    ThingInput here;
    std::optional<ThingInput> server; // nothing: deleted on the server
    bool tooLongToJoin = false;
};

// A to-do no thing shows, or a thing's to-do whose new version cannot be shown here.
struct LeftOnServer
{
    QString href;
    QString uid;
    QString summary;
    QString why;
    std::optional<ThingKey> key;
};

struct ServerOp
{
    enum class Kind { Create, Update, Delete };
    Kind kind = Kind::Create;
    ThingKey key;
    QString href;
    QByteArray ifMatch; // Update and Delete
    QByteArray body;    // Create and Update
    std::optional<LinkedTodo> after; // the link once the server took it; its ETag comes with the answer
};

struct Plan
{
    std::map<ThingKey, ThingInput> setHere;
    std::map<QString, std::optional<LinkedTodo>> links; // saved with setHere; nothing: unlinked
    std::map<QString, std::optional<SetAsideTodo>> setAside;
    std::vector<ServerOp> ops;
    std::vector<Conflict> conflicts;
    std::vector<LeftOnServer> left;
    QStringList notes;
};

struct Inputs
{
    const SyncState &state;
    const std::map<ThingKey, ThingInput> &here;
    const ServerChanges &changes;
    thingdecision::Settle settle = thingdecision::Settle::Ask;
    std::map<ThingKey, thingdecision::Settle> settleByThing; // the user's choice for single conflicts
    QDateTime now;
};

Plan plan(const Inputs &inputs);

// The href of a thing made here: the collection's path and the UID's part before the "@".
QString hrefFor(const QUrl &collection, const QString &uid);

} // namespace syncplanner
