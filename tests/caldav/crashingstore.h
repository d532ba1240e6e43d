#pragma once

#include "faultproxy.h"
#include "syncside.h"

// A crash after a number of saves of the state: from then on nothing reaches the state file,
// the day book or the server, and the sync is stopped.
class CrashingStore final : public SyncStateStore
{
public:
    CrashingStore(SyncSide &side, FaultProxy &proxy, int saves)
        : bookAtLastSave(side.book.values), m_side(side), m_proxy(proxy), m_saves(saves)
    {
    }
    CalDavSync *job = nullptr;
    bool crashed = false;
    // The day book when the state last reached the disk: what differs after a crash came in
    // without the state saying so.
    std::map<ThingKey, ThingInput> bookAtLastSave;

    std::variant<SyncState, QString> load() override { return m_side.state.load(); }
    // The first `saves` saves reach the disk; the crash comes right after the last of them.
    Saved save(const SyncState &state, const SyncStateChange &change) override
    {
        if (crashed || m_saves-- <= 0) {
            crash();
            return {};
        }
        const Saved saved = m_side.state.save(state, change);
        bookAtLastSave = m_side.book.values;
        if (m_saves == 0)
            crash();
        return saved;
    }

private:
    void crash()
    {
        if (crashed)
            return;
        crashed = true;
        m_side.book.failApply = true;
        m_proxy.setFault(FaultProxy::Fault::Answer503, {}, 1000);
        QTimer::singleShot(0, job, &CalDavSync::cancel);
    }

    SyncSide &m_side;
    FaultProxy &m_proxy;
    int m_saves;
};
