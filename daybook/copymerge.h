#pragma once

#include "dayfile.h"
#include "daythings.h"
#include "thingdecision.h"

#include <QDate>
#include <vector>

class DayTable;

// Two copies of the day book brought together thing by thing (thingdecision.h has the rule): the
// file that replaced ours on disk (another computer's copy, put in place by a sync tool), or a
// sync tool's conflict copy beside it.
namespace copymerge {

// What the merge writes and what it leaves to the user.
struct Plan
{
    std::vector<std::pair<QDate, DayThings>> days; // whole days to save, into the table they were planned on
    std::vector<thingdecision::Conflict> conflicts;
    qsizetype fromThem = 0; // things that came in from the other side
    qsizetype fromUs = 0;   // things that went out from this side
};

// Another computer's file replaced ours, and theirs (read from it) is now the table: what this
// side owes the disk goes into it wherever only this side changed a thing. A thing their file
// has no record of is one they never had, not one they emptied (records are never removed), so
// it counts as unchanged there.
Plan intoReplacement(const std::vector<DayFile::OwedThing> &owed, const DayTable &theirs);

// A conflict copy merged into ours: without a base, the copy's thing comes in where ours is empty,
// ours stays where the copy's is empty, and any other difference is a conflict.
Plan fromCopy(const DayTable &ours, const DayTable &copy);
// The same for a copy this program wrote aside of this computer's versions: in its conflicts the
// copy's thing is this computer's (mine) and the day file's the other one (theirs).
Plan fromOwnCopy(const DayTable &ours, const DayTable &copy);

// Things held between two versions (the other version in the day file, this computer's held
// aside), decided again against the day file as it is now (theirs), in one plan with what else
// this side owes it (see intoReplacement): a held thing the other side changed again is put with
// its newest version, one the rule now decides is written or let go. A held thing's own entry in
// owed (the file's version, written back while it was held) gives way to the held one.
Plan heldAgain(const std::vector<thingdecision::Conflict> &held, const DayTable &theirs,
               const std::vector<DayFile::OwedThing> &owed = {});

// Which version of the other side's thing a conflict was put with (its theirVersion): a choice is
// carried out only while the other side still holds that version.
QByteArray versionOf(const std::optional<ThingInput> &thing);

// Whether fileName is a sync tool's conflict copy of the day file dayFileName: Syncthing's
// "things.sync-conflict-YYYYMMDD-HHMMSS-XXXXXXX.dat", Nextcloud's "things (conflicted copy
// YYYY-MM-DD HHMMSS).dat", Dropbox's "things (… conflicted copy YYYY-MM-DD).dat".
bool isConflictCopyName(const QString &fileName, const QString &dayFileName);
// Whether fileName is a copy this program wrote aside, "things (Tallyleaf conflicted copy
// YYYY-MM-DD HHMMSS).dat" (earlier versions did at close), rather than a sync tool's.
bool isOwnConflictCopyName(const QString &fileName, const QString &dayFileName);

} // namespace copymerge
