#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>
#include <vector>

class FileOps;

// How a save reaches the disk whole, with two syncs.
//
// One journal lies beside the day file. It is created once (at load, where its folder entry is
// synced; a save that finds it missing makes it and syncs the folder) and from then on
// overwritten in place, so a save need not sync the folder:
//   1. The save reads the bytes its slots would overwrite. When they already are the bytes it
//      would write, it stops: nothing is written, nothing synced.
//   2. It writes over the journal: the day file's length before and after the save and, for
//      every range it writes, the old and the new bytes, under a SHA-256. Sync 1: the journal.
//   3. It writes the ranges into the day file. Sync 2: the day file. Only now is the save done.
// The journal stays. Recovery (at load, and before a save that follows a failed one) compares
// it with the day file:
//   - The file belongs to the journal when its length lies between the old and the new length
//     and every byte the journal would restore holds its old or its new content. Holding all new
//     bytes at the new length, the save finished; all old bytes at the old length, it never
//     began; anything else is put back to the old bytes and the old length. In every case the
//     day file is synced before a new save may overwrite the journal.
//   - Any other file (a day file restored or copied from elsewhere) is not the journal's: the
//     journal is never applied to it, and is renamed aside for the user.
// A journal cut short or failing its checksum was being written when a save stopped, before the
// day file was touched: it is ignored, and overwritten by the next save.
//
// Layout, little-endian:
//   8 bytes  "TLJRNL02"
//   8 bytes  length of the journal up to and including the checksum (what follows it is left
//            over from a longer journal)
//   8 bytes  the day file's length before the save
//   8 bytes  its length after the save
//   4 bytes  number of ranges n, in ascending order, not overlapping
//   n times: 8 bytes offset, 4 bytes length L, 4 bytes K (how many of the L bytes lay inside
//            the old length), K old bytes, L new bytes
//   32 bytes SHA-256 of everything before it
namespace rollbackjournal {

struct Range
{
    qint64 offset = 0;
    QByteArray oldBytes; // what the file held there, inside the old length
    QByteArray newBytes; // what the save writes there
};

struct Journal
{
    qint64 oldLength = 0;
    qint64 newLength = 0;
    std::vector<Range> ranges;
};

QString pathFor(const QString &dayFilePath);

QByteArray encode(const Journal &journal);
// Nothing when the bytes do not start with one whole, intact, consistent journal.
std::optional<Journal> decode(QByteArrayView bytes);

// Puts the journal's old bytes into buffer, which holds the file's bytes from offset on.
void overlay(const Journal &journal, qint64 offset, char *buffer, qint64 count);

enum class Outcome {
    NoJournal,       // nothing to undo: no journal, or one whose save finished or never began
    RolledBack,      // an unfinished save was undone on disk
    Discarded,       // a journal that was never complete is ignored; the file was not touched
    RollbackPending, // a journal that belongs could not be applied to the file; it stays
    Unreadable,      // a journal is there but cannot be read
    SetAside,        // a journal written for another day file, renamed aside and never applied
};

struct Recovery
{
    Outcome outcome = Outcome::NoJournal;
    std::optional<Journal> journal; // set with RollbackPending: the file as it must be read
    QString keptAside;              // with SetAside: where the journal now is (empty: not moved)
    bool noDayFile = false;         // with SetAside: there was no day file beside the journal
    QString detail;
    // The day file agrees with its journal on disk, so a save may overwrite the journal.
    bool settled = false;
};

// Brings the day file at dayFilePath back to a whole save, if a save did not finish.
Recovery recover(FileOps &ops, const QString &dayFilePath);

// The day file's bytes as recover() would leave them, worked out in memory: nothing is written,
// renamed or synced. Nothing when the journal or the file cannot be read (detail says why); a
// missing file reads as empty. *what says what recover() would do (keptAside stays empty).
std::optional<QByteArray> preview(FileOps &ops, const QString &dayFilePath, Recovery *what);

// Creates an empty journal when there is none and syncs the folder, so that the journal's name
// is durable (whoever made it, and whether or not its folder was synced then) and saves need not
// sync the folder. False when that failed.
[[nodiscard]] bool prepare(FileOps &ops, const QString &dayFilePath);

// Writes the journal over the previous one and syncs it; when the journal had to be made, or its
// name is not known to be durable (*nameDurable false), syncs the folder too and sets
// *nameDurable. False with detail set on failure, in which case the day file must not be touched.
[[nodiscard]] bool store(FileOps &ops, const QString &dayFilePath, const Journal &journal, bool *nameDurable,
                         QString *detail);

} // namespace rollbackjournal
