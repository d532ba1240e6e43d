#pragma once

#include <QString>

// Where the sync's state for a day file lies, and whether a sync is set up for it, known without
// opening the state: Qt Core alone, so that the window can decide whether to load the sync at all.
//
// The state is one database per day file in this computer's state folder (SyncStateDatabase).
// A database whose account was turned off (an empty address) has a mark beside it, written
// after the account is saved and removed before another is: a crash between the two leaves a
// database read once more for nothing, never a sync set up and taken for off.
namespace syncstatelocation {

// $XDG_STATE_HOME/Tallyleaf, else ~/.local/state/Tallyleaf.
QString defaultFolder();
// The database of the day file at dayFilePath in folder.
QString databaseFor(const QString &folder, const QString &dayFilePath);
// The mark beside a database whose account is off.
QString offMarkFor(const QString &databasePath);
// The state earlier versions kept beside the day file, which the sync takes over.
QString legacyFor(const QString &dayFilePath);

// A database whose account is not marked off, or an earlier version's state beside a day file
// that has no database yet.
bool isSetUp(const QString &folder, const QString &dayFilePath);

// Marks the account of the database at databasePath off, or not; false when the mark cannot
// be written or removed.
[[nodiscard]] bool markOff(const QString &databasePath, bool off);

} // namespace syncstatelocation
