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
    virtual Saved save(const SyncState &state) = 0;
};

// The state as a file beside the day file ("things.dat.caldav"), private to its owner, replaced
// whole: written to a new file, synced, renamed over the old one, and the folder synced, so a
// crash or power cut leaves either the old state or the new one.
class SyncStateFile final : public SyncStateStore
{
public:
    explicit SyncStateFile(const QString &path);

    static QString pathFor(const QString &dayFilePath);

    std::variant<SyncState, QString> load() override;
    Saved save(const SyncState &state) override;

private:
    QString m_path;
};
