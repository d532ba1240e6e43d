#include "syncstate.h"

void SyncState::forgetCollection()
{
    collection.clear();
    syncCollection = false;
    syncToken.clear();
    firstDay = QDate();
    linked.clear();
    setAside.clear();
    trustedOrigins.clear();
    refusedOrigins.clear();
}

void SyncStateChange::add(const SyncStateChange &other)
{
    account = account || other.account;
    everything = everything || other.everything;
    linked.insert(other.linked.begin(), other.linked.end());
    setAside.insert(other.setAside.begin(), other.setAside.end());
}
