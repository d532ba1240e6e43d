#pragma once

#include "daythings.h"

#include <optional>

// What to do with one thing and its to-do, given the version both sides last agreed on. The three-way
// rule is thingmerge's; this adds what a server brings: a to-do can be gone, and deleting is
// guarded on both sides. A thing emptied here deletes its to-do only while the server still holds
// the base; a to-do deleted on the server empties the thing only while it is unchanged here.
namespace thingdecision {

// How the user settles a conflict, as in the synced-folder merge.
enum class Settle { Ask, KeepHere, TakeServer, KeepBoth };

struct Decision
{
    std::optional<ThingInput> setHere;   // the thing's new value here
    enum class Server { Keep, Put, Delete, Create } server = Server::Keep;
    ThingInput serverValue;              // with Put and Create
    bool conflict = false;               // nothing decided: both stay as they are
    bool unlink = false;                 // no to-do remains for the thing
    // When Keep leaves both sides agreeing: the value they agree on, the new base.
    std::optional<ThingInput> agreed;
    bool tooLongToJoin = false;          // KeepBoth asked, but both texts do not fit one thing
};

// base: nothing when the two sides never agreed. server: nothing when no to-do is on the server
// (gone, or never made); linked says whether there was one.
Decision decide(const std::optional<ThingInput> &base, const ThingInput &here, const std::optional<ThingInput> &server,
                bool linked, Settle settle);

} // namespace thingdecision
