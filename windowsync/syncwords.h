#pragma once

#include "syncreport.h"

#include <QDateTime>
#include <QString>

// What the window says about its sync with a calendar server, in the program's language. The
// sync's own detail (the server's or the system's words) follows in parentheses.
namespace syncwords {

// Why a sync did not finish, for a message told once until a sync succeeds again.
QString failure(const SyncReport &report, bool loginRefused);
// The to-dos a sync left on the server because no thing can show them, each told once.
QString leftOnServer(const std::vector<syncplanner::LeftOnServer> &left);
// The question before a sync deletes many things at once.
QString massDeletion(const SyncReport &report);
// Whether the password may go to another server the address led to.
QString otherServerQuestion(const QUrl &url, const QUrl &other);
// How far a long sync is: "正在同步 1,234 / 5,000".
QString progress(int done, int total);
// Closing while a sync runs.
QString cutShortAtClose();
// Above the conflicts put to the user.
QString conflictsAbout(const QUrl &collection);
QString passwordQuestion(const QUrl &url, const QString &user);
// After the sync in the menu item's text: the time of the last sync and how it ended.
QString lastSync(const SyncReport &report, const QDateTime &when);

} // namespace syncwords
