#pragma once

#include "copymerge.h"
#include "dayfile.h"
#include "heldthings.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <set>
#include <vector>

class FileOps;
class Prompts;

// The day file in a folder that another computer shares through a sync tool: the file on disk
// replaced by the other computer's copy, and the conflict copies left beside it. Both are merged
// thing by thing (copymerge.h): what only one side changed comes through without a question; what
// both changed is put to the user, and until the user chooses, neither version is lost: the file
// keeps the other version and this computer's is held (HeldThings, kept in a file of its own).
//
// The user may choose for each thing, put it off (以后再说: asked again from the edit menu and at
// close), or cancel the question (取消: nothing decided now, asked again at the next occasion: the
// next merge, a save by hand, or close).
class FolderMerge
{
public:
    FolderMerge(DayFile &dayFile, FileOps &ops, Prompts &prompts);

    // The file on disk is not the one loaded and last written: it becomes the day book, with what
    // this side still owes the disk merged in, and the held things decided again against it (the
    // other side may have changed one again). The report of the save that wrote the merge.
    // When the user may not be asked, every new conflict is held.
    SaveReport mergeReplacement(bool mayAsk);

    // Start-up: what this computer held when it last ran on the day file, taken back and decided
    // again against the file as it is now. Nothing is asked.
    SaveReport restoreHeld();

    // Conflict copies beside the day file not offered yet in this session: sync tools'
    // ("things.sync-conflict-…", "things (… conflicted copy …)") and this program's own.
    QStringList newCopies();
    // Offers them, one message for the sync tools' and one for this program's own; merges them
    // when the user agrees, each moved aside to "<name>.merged" once nothing of it is left to
    // decide. True when something of them came in.
    bool offerCopies(const QStringList &copies);

    const HeldThings &held() const { return m_held; }
    HeldThings &held() { return m_held; }
    // Whether the user cancelled a question about held things, to be asked at the next occasion.
    bool asksAgain() const { return !m_askAgain.empty(); }

    enum class Answer { Decided, PutOff, Cancelled };
    // Puts the held things to the user again; what the user chose is saved (report). A choice the
    // day book refuses, or one made for a version of the other side the file no longer holds,
    // stays held. Decided when nothing is held any more.
    Answer decideHeld(const QString &about, SaveReport *report);

private:
    // The held things decided again against the day file as the table holds it now.
    SaveReport heldAgain();

    struct Asked
    {
        std::vector<thingdecision::Conflict> left; // put off, or not carried out
        bool cancelled = false;
    };
    // Asks about conflicts and saves what the user chose; all of them are left when the day book
    // refused the choices. theirsInTable: the other version is the day file's, and a choice is
    // carried out only while the file still holds the version shown.
    Asked decide(const QString &about, const std::vector<thingdecision::Conflict> &conflicts, SaveReport *report,
                 bool theirsInTable);
    bool mergeCopy(const QString &copy, bool own);

    DayFile &m_dayFile;
    FileOps &m_ops;
    Prompts &m_prompts;
    HeldThings m_held;
    std::set<ThingKey> m_askAgain;
    QSet<QString> m_offered;
};
