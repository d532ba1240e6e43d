#include "changelisting.h"

namespace changelisting {

Reading read(const ServerChanges::Listing &listing, const SyncState &state, bool tokenListing)
{
    Reading r;
    r.gone = listing.gone;
    auto named = [&](const QString &href) { return listing.present.count(href) || r.gone.count(href); };
    for (const auto &[href, etag] : listing.present) {
        if (etag.isEmpty()) { // listed without its tag: fetched to see what it holds
            r.toFetch.push_back(href);
            continue;
        }
        const auto linked = state.linked.find(href);
        if (linked != state.linked.end() && linked->second.etag == etag && !linked->second.mustFetch())
            continue;
        const auto setAside = state.setAside.find(href);
        if (setAside != state.setAside.end() && setAside->second.etag == etag)
            continue;
        r.toFetch.push_back(href);
    }
    for (const auto &[href, link] : state.linked) {
        if (named(href))
            continue;
        if (listing.complete)
            r.gone.insert(href);
        else if (link.mustFetch())
            r.toFetch.push_back(href);
        // A server that lists changes as the difference of two snapshots misses a to-do made
        // after the first and deleted before the second: looked at once, it is seen gone.
        else if (tokenListing && link.learntAfterToken)
            r.toFetch.push_back(href);
    }
    for (const auto &[href, todo] : state.setAside) {
        if (listing.complete && !named(href))
            r.gone.insert(href);
    }
    return r;
}

} // namespace changelisting
