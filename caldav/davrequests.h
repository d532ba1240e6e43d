#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <vector>

// The XML bodies of the WebDAV and CalDAV requests the sync sends.
namespace davrequests {

// PROPFIND for what discovery needs to know of a collection, a principal or a home set.
QByteArray propfindCollection();
QByteArray propfindPrincipal();

// REPORT sync-collection (RFC 6578): the members changed since token (all of them for none).
QByteArray syncCollection(const QString &token);
// REPORT calendar-query: every to-do's href and ETag.
QByteArray todoEtags();
// REPORT calendar-multiget: these members' ETags and data.
QByteArray multiget(const std::vector<QUrl> &hrefs);
// MKCALENDAR of a calendar for to-dos.
QByteArray makeTodoCalendar(const QString &displayName);

} // namespace davrequests
