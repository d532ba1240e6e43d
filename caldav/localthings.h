#pragma once

#include "dayfilestamp.h"
#include "daythings.h"
#include "thingkey.h"

#include <QString>
#include <map>
#include <set>

// What a save of synced things did.
struct [[nodiscard]] ApplyResult
{
    enum class Status {
        Saved,   // every change is on disk
        Failed,  // nothing changed on disk (see detail)
    };
    Status status = Status::Saved;
    QString detail; // the system's words, naming the file

    bool saved() const { return status == Status::Saved; }
};

// The day book as the sync sees it. The sync never touches the day file itself: the tool passes
// an adapter over the day file, the window one over the day book it shows, tests one in memory.
class LocalThings
{
public:
    virtual ~LocalThings() = default;

    // Every thing the day book has a record of, as the day file stores it (texts trimmed, at most
    // 160 GBK bytes; bytes that are no GBK character as gbk.h's stand-ins). A thing the user
    // emptied is there, empty; a thing with no record at all is not: the sync never takes its
    // absence for the user's act. Only things of from and later days (every day when from is
    // invalid): a sync that reaches back a year reads no more of a book of decades.
    virtual std::map<ThingKey, ThingInput> things(QDate from) const = 0;

    // Sets each thing to its value, an empty ThingInput emptying it, in one all-or-nothing save.
    virtual ApplyResult apply(const std::map<ThingKey, ThingInput> &changes) = 0;

    // Why the day book cannot be synced now (empty when it can): one that did not load whole, or
    // that cannot be written, would look to the sync as if its unread things had been emptied.
    virtual QString whyNotSyncable() const = 0;

    // The day file as it is on disk now, for the state to hold itself against.
    virtual DayFileStamp stamp() const = 0;

    // Things held between two versions until the user chooses (another computer's copy of the day
    // file changed them too): the sync leaves them alone on both sides until then.
    virtual std::set<ThingKey> held() const { return {}; }
};
