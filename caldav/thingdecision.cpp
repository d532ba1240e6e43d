#include "thingdecision.h"

#include "thingmerge.h"

namespace thingdecision {

namespace {

using Server = Decision::Server;

Decision put(const ThingInput &value, std::optional<ThingInput> setHere = std::nullopt)
{
    Decision d;
    d.server = value.isEmpty() ? Server::Delete : Server::Put;
    d.serverValue = value;
    d.setHere = std::move(setHere);
    d.unlink = value.isEmpty();
    return d;
}

Decision take(const ThingInput &server, const ThingInput &here)
{
    Decision d;
    if (server != here)
        d.setHere = server;
    d.agreed = server;
    return d;
}

Decision conflict()
{
    Decision d;
    d.conflict = true;
    return d;
}

Decision settled(Settle settle, const ThingInput &here, const ThingInput &server)
{
    switch (settle) {
    case Settle::Ask:
        break;
    case Settle::KeepHere:
        return put(here);
    case Settle::TakeServer:
        return take(server, here);
    case Settle::KeepBoth:
        if (const std::optional<ThingInput> both = thingmerge::joined(here, server))
            return put(*both, *both);
        Decision d = conflict();
        d.tooLongToJoin = true;
        return d;
    }
    return conflict();
}

// The to-do is gone from the server.
Decision gone(const std::optional<ThingInput> &base, const ThingInput &here, bool linked, Settle settle)
{
    Decision d;
    if (here.isEmpty()) {
        d.unlink = true;
        return d;
    }
    if (!linked || !base) {
        // Nothing was ever agreed: what is here stands, as a new to-do.
        d.server = Server::Create;
        d.serverValue = here;
        return d;
    }
    if (here == *base || settle == Settle::TakeServer) {
        d.setHere = ThingInput{};
        d.unlink = true;
        return d;
    }
    // Changed here, deleted there.
    if (settle == Settle::Ask)
        return conflict();
    d.server = Server::Create;
    d.serverValue = here;
    return d;
}

} // namespace

Decision decide(const std::optional<ThingInput> &base, const ThingInput &here, const std::optional<ThingInput> &server,
                bool linked, Settle settle)
{
    if (!server)
        return gone(base, here, linked, settle);
    // Emptied here while the server changed it: deleting would lose that change, keeping the
    // server's version would undo the emptying. The user chooses.
    if (base && !base->isEmpty() && here.isEmpty() && *server != *base)
        return settled(settle, here, *server);
    const thingmerge::Result merged = thingmerge::merge(base, here, *server);
    switch (merged.outcome) {
    case thingmerge::Outcome::Same:
        return take(*server, here);
    case thingmerge::Outcome::TakeTheirs:
        return take(*server, here);
    case thingmerge::Outcome::KeepMine:
        return put(here);
    case thingmerge::Outcome::Combined:
        if (merged.value.isEmpty()) // emptied here while the server changed the other field
            return settled(settle, here, *server);
        return put(merged.value, merged.value);
    case thingmerge::Outcome::Conflict:
        return settled(settle, here, *server);
    }
    return conflict();
}

} // namespace thingdecision
