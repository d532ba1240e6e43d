#pragma once

#include "daythings.h"
#include "thingkey.h"

#include <QByteArray>
#include <optional>

// How one thing held on two sides comes together again: this computer's day book ("mine") and
// the other side ("theirs": a calendar server's to-do, or another computer's copy of the day
// file), each held against the base, the version both last agreed on. The one rule for every
// merge, the synced folder's and the calendar sync's alike.
//
// - What only one side changed comes through; text and tick are merged on their own (one side
//   ticking a thing while the other rewrites its text gives the new text, ticked).
// - The same field changed differently on both sides is a conflict: nothing is decided until the
//   user chooses, and neither version is lost.
// - A thing emptied on one side and changed in any way on the other is a conflict too: keeping
//   either half would undo the other side's act.
// - Without a base (never agreed, or an agreement that cannot be trusted) a thing empty on one
//   side takes the other side's; any other difference is a conflict. Never a guess.
// - Absence is never a deletion: a thing this side has no record of at all is one it never had
//   (or lost, as a book that did not load loses it), never one the user emptied. Only the other
//   side's own word (theirs gone) deletes, and only what this side left as it was agreed.
//
// Values are compared as the day file stores them (texts trimmed and cut as stored; see
// thingmerge::storedThing), so a choice is carried out only where the day file can hold it.
namespace thingdecision {

// What the user (or a policy given on the command line) keeps of a conflict.
enum class Choice { Mine, Theirs, Both };

// One thing both sides changed differently, as it is put to the user.
struct Conflict
{
    ThingKey key;
    std::optional<ThingInput> base; // nothing: the two sides never agreed (or it is not trusted)
    ThingInput mine;
    std::optional<ThingInput> theirs; // nothing: deleted on the other side
    // Which version of theirs the user was shown (the server's ETag, the other file's stamp): a
    // choice is carried out only while theirs is still that version, else the user is asked again.
    QByteArray theirVersion;
};

struct Decision
{
    // What both sides hold once the decision is carried out; nothing: a conflict, and both sides
    // stay as they are.
    std::optional<ThingInput> value;
    bool tooLongToJoin = false; // Both was chosen, but the two texts do not fit one thing together

    bool conflict() const { return !value; }
};

// base: what both last agreed on, nothing when unknown. mine: this side's thing, nothing when
// this side has no record of it. theirs: the other side's thing, nothing when the other side
// deleted it (a side that never had the thing passes an empty one). settle: the choice for a
// conflict, when one was made for the versions at hand.
Decision decide(std::optional<ThingInput> base, const std::optional<ThingInput> &mine,
                const std::optional<ThingInput> &theirs, std::optional<Choice> settle = std::nullopt);

// The thing a choice keeps of a conflict, by the rule above; nothing where it cannot be kept.
Decision settle(const Conflict &conflict, Choice choice);

} // namespace thingdecision
