#pragma once

#include "dayfile.h"
#include "foldermerge.h"
#include "folderwatch.h"

class Prompts;
class ShownDay;

// The shown day's day file in a folder another computer shares through a sync tool: watched, so
// that a copy put in place of it is merged while the user is idle (and before a command works
// from the view), its conflict copies and the things held between two versions put to the user,
// and every merge shown at once through the shown day's one road to the view.
class SyncedFolder
{
public:
    SyncedFolder(ShownDay &day, DayFile &dayFile, FileOps &ops, Prompts &prompts);

    FolderMerge &merge() { return m_merge; }
    const FolderMerge &merge() const { return m_merge; }

    // After a load: the file and its folder watched, under the name they have now.
    void watch();
    // Whether a merge is asking the user: changes seen meanwhile wait.
    bool isMerging() const { return m_merging; }
    // Whether another copy stands at the day file's name (one deleted is written back instead).
    bool replacedOnDisk() const;

    // The file on disk is another copy: merged with what the day book owes it, and shown. When the
    // user may not be asked (the session ends), every new conflict is held.
    [[nodiscard]] SaveReport mergeReplaced(bool mayAsk);
    // A copy put in place of the day file is merged now, the view's edits in it as this side's,
    // before a command works from what the view shows; false when they were refused (told).
    [[nodiscard]] bool catchUp();

    // Puts the held things to the user (the edit menu, start-up), the shown day written first.
    void offerHeld(const QString &about);
    // Conflict copies left beside the day file, offered to be merged in.
    void offerConflictCopies();
    // The held file could not be written: told once, until it can again.
    void tellWhenNotHeldAside();

private:
    // The watch saw a change: another copy is merged now when the shown day has no unsaved edit
    // (else the next save does it), and new conflict copies are offered.
    void fileChanged();

    ShownDay &m_day;
    DayFile &m_dayFile;
    Prompts &m_prompts;
    FolderMerge m_merge;
    FolderWatch m_watch;
    bool m_merging = false;
    bool m_heldTroubleTold = false;
};
