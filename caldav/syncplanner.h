#pragma once

#include "localthings.h"
#include "syncstate.h"
#include "thingdecision.h"
#include "todomapping.h"

#include <QDateTime>
#include <QStringList>
#include <map>
#include <optional>
#include <set>
#include <vector>

// One round of the reconciliation, decided without any I/O: from what the state says, what the
// day book holds and what the server changed, the things to set here, the requests to send and
// the links to keep. Each thing follows thingdecision's rule; the sync sends and saves, this only
// decides.
namespace syncplanner {

struct ServerVersion
{
    QByteArray etag;
    QByteArray body;
    todomapping::Reading reading;
};
// By href; nothing when the to-do is gone from the server.
using ServerChanges = std::map<QString, std::optional<ServerVersion>>;

// Why a to-do stays on the server, as data for the window's words (LeftOnServer::why is the tool's).
struct LeftReason
{
    enum class Kind { Unreadable, Repeating, NoGbkForm, TooLong, LineBreak, NoDate, DayFull };
    Kind kind = Kind::Unreadable;
    QDate day;          // DayFull
    QString characters; // NoGbkForm: those without a GBK form
    int bytes = 0;      // TooLong: the summary's length in GBK

    static LeftReason of(const todomapping::Refusal &refusal);
};

// A to-do no thing shows, or a thing's to-do whose new version cannot be shown here.
struct LeftOnServer
{
    QString href;
    QString uid;
    QString summary;
    QString why;
    std::optional<ThingKey> key;
    LeftReason reason;
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

// A choice the user made for one conflict, as it was put to them: it is carried out only while
// both versions are still the ones shown.
struct SettledConflict
{
    thingdecision::Choice choice = thingdecision::Choice::Mine;
    thingdecision::Conflict seen;
};

struct Plan
{
    std::map<ThingKey, ThingInput> setHere;
    std::map<QString, std::optional<LinkedTodo>> links; // saved with setHere; nothing: unlinked
    std::map<QString, std::optional<SetAsideTodo>> setAside;
    std::vector<ServerOp> ops;
    std::vector<thingdecision::Conflict> conflicts;
    std::vector<LeftOnServer> left; // told now: new, or changed since they were told
    int unshowable = 0;             // linked to-dos the day book cannot show, told or not
    QStringList notes;

    // To-dos the plan deletes on the server, and things it empties here on the server's word.
    int deletions() const;
};

struct Inputs
{
    const SyncState &state;
    // Every thing the day book has a record of, an emptied one as an empty thing (see LocalThings).
    const std::map<ThingKey, ThingInput> &here;
    const ServerChanges &changes;
    // The state describes this day book (its stamp matches): where a thing here differs from the
    // version agreed on, that is a change made here. When not, the difference is a conflict.
    bool trusted = true;
    std::optional<thingdecision::Choice> settleAll; // a choice for every conflict (the tool's --prefer)
    std::map<ThingKey, SettledConflict> settled;    // the user's choices for single conflicts
    QDateTime now;
    // The first day the sync reaches (invalid: every day). Things and to-dos of days before it
    // are left alone on both sides: never sent, never changed, never deleted.
    QDate firstDay;
    std::set<ThingKey> held; // waiting for the user's choice between two versions here: left alone
};

Plan plan(const Inputs &inputs);

// The href of a thing made here: the collection's path and the UID's part before the "@".
QString hrefFor(const QUrl &collection, const QString &uid);

} // namespace syncplanner
