// What the user answers the window's sync: which version of a conflict to keep, whether another
// server may have the password, whether many deletions at once are meant.
#include "caldavwindowsync.h"

#include "davclient.h"
#include "prompts.h"
#include "syncwords.h"

void CalDavWindowSync::settleConflicts(const SyncReport &report, bool byHand)
{
    std::vector<thingdecision::Conflict> asked;
    for (const thingdecision::Conflict &conflict : report.conflicts) {
        if (byHand || !m_putOff.count(conflict.key))
            asked.push_back(conflict);
    }
    if (asked.empty())
        return;
    const std::vector<std::optional<thingdecision::Choice>> choices =
        m_prompts.resolveConflicts(syncwords::conflictsAbout(report.collection), asked);
    for (size_t i = 0; i < asked.size(); ++i) {
        const ThingKey &key = asked[i].key;
        const std::optional<thingdecision::Choice> choice = i < choices.size() ? choices[i] : std::nullopt;
        if (!choice) {
            m_putOff.insert(key);
            continue;
        }
        m_putOff.erase(key);
        m_settle[key] = {*choice, asked[i]}; // for these versions only: a newer one is asked again
    }
}

// Asked once for each other server, the answer kept with the account's state.
bool CalDavWindowSync::trustOtherServer(const SyncReport &report)
{
    const QUrl origin = DavClient::originOf(report.otherServer);
    auto loaded = m_stateStore.load();
    SyncState *state = std::get_if<SyncState>(&loaded);
    if (!state || std::count(state->refusedOrigins.begin(), state->refusedOrigins.end(), origin))
        return false;
    const bool trusted = m_prompts.confirm(syncwords::otherServerQuestion(m_url, report.otherServer));
    (trusted ? state->trustedOrigins : state->refusedOrigins).push_back(origin);
    SyncStateChange account;
    account.account = true;
    if (const SyncStateStore::Saved saved = m_stateStore.save(*state, account); !saved.ok) {
        tellStateTrouble(syncwords::settingsNotSaved(m_stateStore.path()), saved.detail);
        return false;
    }
    m_trustedOrigins = state->trustedOrigins;
    return trusted;
}

bool CalDavWindowSync::allowDeletions(const SyncReport &report)
{
    if (!m_prompts.confirm(syncwords::massDeletion(report)))
        return false;
    m_allowDeletions = report.deletions;
    return true;
}

