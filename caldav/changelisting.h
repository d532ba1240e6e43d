#pragma once

#include "serverchanges.h"
#include "syncstate.h"

#include <set>
#include <vector>

// What a listing of the collection means against what the state knows: the to-dos to fetch (new,
// changed, listed without their tag, in conflict, or sent since the stored token and not named
// by the listing of changes since it) and those gone from the server.
namespace changelisting {

struct Reading
{
    std::vector<QString> toFetch;
    std::set<QString> gone;
};

// tokenListing: the listing names only what changed since the state's sync token.
Reading read(const ServerChanges::Listing &listing, const SyncState &state, bool tokenListing);

} // namespace changelisting
