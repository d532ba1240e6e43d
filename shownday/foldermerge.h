#pragma once

#include "copymerge.h"
#include "dayfile.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <vector>

class FileOps;
class Prompts;
class TimeSource;

// The day file in a folder that another computer shares through a sync tool: the file on disk
// replaced by the other computer's copy, and the conflict copies sync tools leave beside it.
// Both are merged thing by thing (copymerge.h): what only one side changed comes through without
// a question; what both changed is put to the user, and until the user chooses, neither version is
// lost: the file keeps its version and this side's is held.
class FolderMerge
{
public:
    FolderMerge(DayFile &dayFile, FileOps &ops, const TimeSource &time, Prompts &prompts);

    // The file on disk is not the one loaded and last written: it becomes the day book, with what
    // this side still owes the disk merged in. The report of the save that wrote the merge.
    // When the user may not be asked, every conflict is held.
    SaveReport mergeReplacement(bool mayAsk);

    // Conflict copies beside the day file not offered yet in this session (Syncthing's
    // "things.sync-conflict-…", Nextcloud's and Dropbox's "things (… conflicted copy …)").
    QStringList newCopies();
    // Offers them in one message; merges them when the user agrees, each moved aside to
    // "<name>.merged" once nothing of it is left to decide.
    // True when something of them came in.
    bool offerCopies(const QStringList &copies);

    // Things put off by the user: the file has its version, this side's is held here.
    bool hasHeld() const { return !m_held.empty(); }
    bool holds(QDate day, qint32 number) const;
    // A day to show: the held versions over the file's.
    void overlayHeld(QDate day, DayThings &things) const;
    // A day to save: the held things go as the file has them, and the view's version stays held.
    void holdBack(QDate day, DayThings &things);
    // Puts the held things to the user again; true when nothing is held any more. What the user
    // chose is saved (report); a choice the day book refuses stays held.
    bool decideHeld(SaveReport *report);
    // Writes the held versions into a conflict copy beside the day file, which the next start
    // offers to merge: the program ends, and nothing held may be lost. Empty when written; else
    // why not (nothing of the copy is then left behind, and everything stays held).
    [[nodiscard]] QString keepHeldAside();

private:
    // Asks about conflicts and saves what the user chose; returns those put off, and all of them
    // when the day book refused the choices.
    std::vector<thingdecision::Conflict> decide(const QString &about, const std::vector<thingdecision::Conflict> &conflicts,
                                            SaveReport *report);
    bool mergeCopy(const QString &copy);

    DayFile &m_dayFile;
    FileOps &m_ops;
    const TimeSource &m_time;
    Prompts &m_prompts;
    std::vector<thingdecision::Conflict> m_held;
    QSet<QString> m_offered;
};
