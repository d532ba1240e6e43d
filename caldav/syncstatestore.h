#pragma once

#include "syncstate.h"

#include <QString>
#include <variant>

// Where the sync keeps its state. The sync saves after every step that changed it, so that a
// run cut off anywhere starts the next one from a state that is true of both sides.
class SyncStateStore
{
public:
    struct [[nodiscard]] Saved
    {
        bool ok = true;
        QString detail; // the system's words, naming the file
    };

    virtual ~SyncStateStore() = default;
    // The state last saved (an empty one before the first save), or what is wrong with it.
    virtual std::variant<SyncState, QString> load() = 0;
    // Writes what changed of state (see SyncStateChange): all of it reaches the disk, or none.
    virtual Saved save(const SyncState &state, const SyncStateChange &change) = 0;
};
