#pragma once

#include "ioresult.h"

#include <QString>
#include <QStringList>

class FileOps;

// What a move of the day file came to.
struct [[nodiscard]] MoveReport
{
    enum class Status {
        Moved,       // the day file is at newPath, and nothing that belongs to it is left at the old place
        Missing,     // there is no day file to move; nothing was touched
        SameFolder,  // the folder is the one the day file is in already
        NotAFolder,  // the target is missing or no folder
        TargetTaken, // a file of a day file's names is there already (see obstacle); nothing was touched
        IsALink,     // the day file is a symbolic link: moving the link would break or keep it
        Failed,      // a step failed (see problem); everything is where it was
    };
    Status status = Status::Failed;
    QString newPath;
    QString obstacle;
    IoResult problem = IoResult::done();
    // With Moved: false when a folder could not be synced after the last rename, so that a power
    // cut may still find the day file at the old place.
    bool durable = true;
    // Files that could not be removed: with Moved, left at the old place (the day file never is);
    // with Failed, parts of the copy left in the target folder.
    QStringList leftBehind;
};

// The files beside a day file that belong to it and move with it, those that exist: its journal,
// journals set aside from it ("….journal.kept", "….kept-2", …) and the calendar sync's state.
// Not the lock, which its holder makes again, nor a sync tool's conflict copies, which belong to
// that folder's sync.
QStringList filesBelongingTo(const QString &dayFilePath);

// Moves the day file and the files belonging to it into targetDirectory, under the same names,
// so that the day file is always whole in exactly one place:
// - on one file system, each file is synced and renamed, the day file last; the rename of the
//   day file is the move's moment;
// - across file systems, each is copied under a temporary name, synced and read back, the folder
//   synced, each renamed to its name (the day file last), and only then is the old day file
//   removed, then the rest.
// Any failure before that moment puts everything back and removes what was made. The caller
// holds the day file's lock throughout, so that nothing writes the file while it moves.
MoveReport moveDayFile(FileOps &ops, const QString &dayFilePath, const QString &targetDirectory);
