#pragma once

#include "syncstatestore.h"

#include <QFuture>
#include <QString>
#include <optional>

// The sync's state for one day file, kept in this computer's own state folder
// ($XDG_STATE_HOME/Tallyleaf, else ~/.local/state/Tallyleaf), never beside the day file: a folder
// that a sync tool shares would carry it to another computer, and it describes what this
// computer's day file and the server agreed on, nothing else. One SQLite database per day file,
// named from the day file's path; each save is one transaction holding only what changed (WAL,
// synchronous=NORMAL: a power cut can take back the last steps, never leave one half done, and
// the sync goes on from any earlier step as from a crash). The state read once is kept in memory, so
// a window that syncs every few minutes reads the database only once; preload() reads it on a
// thread of its own.
//
// A state that earlier versions kept beside the day file ("things.dat.caldav") is taken over once,
// untrusted (see legacystatefile.h), and left as it is. An account turned off (an empty address)
// is marked so beside the database (syncstatelocation), and the window does not load the sync.
class SyncStateDatabase final : public SyncStateStore
{
public:
    SyncStateDatabase(const QString &folder, const QString &dayFilePath);
    ~SyncStateDatabase() override;
    SyncStateDatabase(const SyncStateDatabase &) = delete;
    SyncStateDatabase &operator=(const SyncStateDatabase &) = delete;

    // This computer's state folder.
    static QString defaultFolder();
    // The database of the day file at dayFilePath in folder.
    static QString pathFor(const QString &folder, const QString &dayFilePath);
    QString path() const { return m_path; }

    // Reads the state on another thread; load() waits only for what is not read by then.
    void preload();
    bool isReady() const;

    std::variant<SyncState, QString> load() override;
    // The address and the name alone, without the links: what a window needs at start-up.
    std::variant<SyncState, QString> loadAccount();
    Saved save(const SyncState &state, const SyncStateChange &change) override;

    // The day file moved to newDayFilePath: the state follows it, and describes it once the
    // next sync has compared it anew (its stamp names the old place).
    Saved moveTo(const QString &newDayFilePath);

private:
    std::variant<SyncState, QString> read(const QString &connection, bool links) const;
    [[nodiscard]] QString open();
    void close();
    // The user turned the sync off (syncstatelocation's mark).
    bool isTurnedOff() const;

    QString m_folder;
    QString m_dayFilePath;
    QString m_path;
    QString m_connection; // the connection of the thread that made this object; empty until opened
    std::optional<SyncState> m_cache; // what the database holds, once read
    QFuture<std::variant<SyncState, QString>> m_preload;
};
