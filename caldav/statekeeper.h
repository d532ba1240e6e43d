#pragma once

#include "syncstatestore.h"

#include <QElapsedTimer>
#include <QString>

// The sync's state while a sync runs, and when it reaches the store. Every change is noted as it
// is made; save() writes what changed since the last save, in one transaction. Saving after
// every request keeps a cut-off run cheap to repeat; for a first sync of thousands of things,
// saving at most every half second (or less often, so that saving costs at most a tenth of the
// sync) keeps the store from costing more than the server. What is not saved yet is found again
// by the next run, since the server already holds it.
class StateKeeper
{
public:
    explicit StateKeeper(SyncStateStore &store) : m_store(store) {}

    // The state last saved, or what is wrong with it.
    [[nodiscard]] QString load();

    const SyncState &state() const { return m_state; }
    // Changes, each noted for the next save.
    SyncState &account();
    void setLink(const QString &href, const std::optional<LinkedTodo> &link);
    void setAside(const QString &href, const std::optional<SetAsideTodo> &todo);
    void forgetCollection();
    // Sets how many days before today the sync reaches (negative: every day) and returns its
    // first day (invalid: every day). What a narrower range left outside is read again when it
    // widens: the to-dos set aside for their day are forgotten, and the server lists everything
    // afresh.
    QDate reachBack(int sinceDays, QDate today);

    bool hasUnsaved() const { return !m_unsaved.isEmpty(); }
    // Writes what changed: at once, or (paced) only when the last save is long enough ago.
    [[nodiscard]] SyncStateStore::Saved save(bool paced = false);

private:
    SyncStateStore &m_store;
    SyncState m_state;
    SyncStateChange m_unsaved;
    QElapsedTimer m_sinceSave;
    qint64 m_saveInterval = 0;
};
