#pragma once

#include "syncreport.h"

#include <QDateTime>
#include <QString>

// What the window says about its sync with a calendar server, in the program's language. What
// the sync reports as data (SyncProblem, LeftReason) is put in Chinese here; the system's own
// words go only to the details of the menu item's tooltip.
namespace syncwords {

// Why a sync did not finish, for a message told once until a sync succeeds again.
QString failure(const SyncReport &report, bool loginRefused);
// The same with the system's own words after it, for the tooltip.
QString failureDetails(const SyncReport &report, bool loginRefused);
// The to-dos a sync left on the server because no thing can show them, each told once.
QString leftOnServer(const std::vector<syncplanner::LeftOnServer> &left);
// The question before a sync deletes many things at once.
QString massDeletion(const SyncReport &report);
// Whether the password may go to another server the address led to.
QString otherServerQuestion(const QUrl &url, const QUrl &other);
// How far a long sync is: "正在同步 1,234 / 5,000".
QString progress(int done, int total);
// Above the conflicts put to the user.
QString conflictsAbout(const QUrl &collection);

struct PasswordAsk
{
    bool noKeychain = false; // kept only until the program closes
    bool refused = false;    // the server refused the last one
};
QString passwordQuestion(const QUrl &url, const QString &user, PasswordAsk ask = {});
// An address the user gave that cannot be used.
QString addressRefused(const QUrl &url);
// The sync's state file could not be written when the account changed.
QString settingsNotSaved(const QString &statePath);
// The sync's state file could not follow the day file to its new place.
QString stateNotMoved(const QString &statePath);
// After the sync in the menu item's text: the time of the last sync and how it ended.
QString lastSync(const SyncReport &report, const QDateTime &when);

} // namespace syncwords
