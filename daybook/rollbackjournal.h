#pragma once

#include "ioresult.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>
#include <vector>

class FileOps;

// How a save reaches the disk whole, and how the next load makes sure it did.
//
// One journal lies beside the day file ("things.dat.journal"). It is created once, at load, and
// from then on overwritten in place. A save (DayFile::writeSlots):
//   1. reads the bytes its slots would overwrite; when they already are the bytes it would
//      write, it stops: nothing is written, nothing synced;
//   2. writes over the journal: the day file's length before and after the save and, for every
//      range it writes, the old and the new bytes, under a SHA-256; sync 1: the journal (and,
//      only when the journal had to be made by this save, its folder);
//   3. writes the ranges into the day file; sync 2: the day file. Only now is the save done;
//   4. marks the journal done by zeroing its header, without a sync of its own.
// Recovery (at load, and before a save that follows a failed one) holds a journal that is not
// marked done against the day file: all new bytes, the save finished; all old bytes, it never
// began; a mixture is put back to the old bytes and the old length. The journal is then marked
// done and synced.
//
// The done mark is not synced by the save: a third sync would cost every changed save half as
// much again. A mark that a power cut takes back costs nothing instead, because recovery knows a
// finished save by its content (R3), whatever length another writer left the file at since.
//
// Invariants. Each is named by the tests that hold it (tst_atomicsave, tst_powercut, tst_dayfile)
// and broken on purpose by scripts/check-mutations.
//
// Protocol
//   P1. No byte of the day file is written before the journal that describes it is written and
//       synced (sync 1).
//   P2. A save is reported done only after the day file is synced (sync 2); a failure after
//       sync 1 leaves the engine unsettled, and the next save recovers first.
//   P3. A save whose slots already hold its bytes writes and syncs nothing; any other costs two
//       syncs, and a third (the folder) only when it had to make the journal.
//   P4. The journal's name is durable before a slot it guards is written: load makes the journal
//       and syncs its folder, and a save that had to make it syncs the folder at sync 1.
//   P5. A finished save's journal is marked done. The mark needs no sync of its own: it reaches
//       the disk with the next save's sync 1, DayFile::close, or the next load (which syncs the
//       journal it finds, for a program that was killed). Until then a power cut can only bring
//       back the journal of a save that finished, which recovery knows by its content (R3) and
//       never applies. Only another program writing old bytes back into the slots that save
//       wrote, within that window, could make it look unfinished.
//   P6. The journal on disk stays at most the larger of 64 KiB and twice the last save's journal:
//       a longer file is cut to the new journal after the new journal is written and before
//       sync 1, so that the one sync takes both (a longer file with a correct header is already
//       safe, so the cut needs no sync of its own).
// Recovery
//   R1. A journal marked done, empty, cut short or failing its checksum is never applied. A torn
//       journal was being written when a save stopped, before the day file was touched (P1).
//   R2. A journal is applied only to the file it was written for: the file's length lies between
//       the journal's old and new length, and every byte the journal covers holds its old or its
//       new content; past the old length a byte may also read as zero (a sector whose data never
//       reached the disk).
//   R3. Every covered byte the file holds is new, and none is missing but the 22 padding bytes
//       of the file's last slot (which earlier writers leave off): finished, whatever the file's
//       length, and the file is left as it is. All old at the old length: never began. Anything
//       else that belongs (R2): the old bytes and the old length go back. In every case the day
//       file is synced, then the journal is marked done and synced, before a save may overwrite
//       it.
//   R4. A journal that does not belong (R2) is never applied and never removed: it is renamed to
//       the first free name of "<journal>.kept", ".kept-2", ...; an earlier kept journal is never
//       overwritten. Until it is out of the way, no save writes.
//   R5. A reader reads no more of the journal than the length its header gives.
// Format
//   F1. Layout, little-endian:
//         8 bytes  "TLJRNL02"
//         8 bytes  length of the journal up to and including the checksum (what follows it is
//                  left over from a longer journal)
//         8 bytes  the day file's length before the save
//         8 bytes  its length after the save
//         4 bytes  number of ranges n, in ascending order, not overlapping
//         n times: 8 bytes offset, 4 bytes length L, 4 bytes K (how many of the L bytes lay
//                  inside the old length), K old bytes, L new bytes
//         32 bytes SHA-256 of everything before it
//   F2. A journal whose first 16 bytes are zero is marked done (an empty file is too).
namespace rollbackjournal {

inline constexpr qsizetype HeaderLength = 16; // the magic and the length: what the done mark zeroes

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

// Whether header (the journal's first bytes) begins as a journal does.
bool startsAsJournal(QByteArrayView header);

// Puts the journal's old bytes into buffer, which holds the file's bytes from offset on.
void overlay(const Journal &journal, qint64 offset, char *buffer, qint64 count);

enum class Outcome {
    NoJournal,       // nothing to undo: no journal, one marked done, or one whose save finished or never began
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
    IoResult problem;               // what failed, for RollbackPending, Unreadable, and SetAside not moved
    // The day file agrees with its journal on disk, so a save may overwrite the journal.
    bool settled = false;
};

// Brings the day file at dayFilePath back to a whole save, if a save did not finish (R1-R4).
Recovery recover(FileOps &ops, const QString &dayFilePath);

// The day file's bytes as recover() would leave them, worked out in memory: nothing is written,
// renamed or synced. Nothing when the journal or the file cannot be read (what->problem says
// why); a missing file reads as empty. *what says what recover() would do (keptAside stays empty).
std::optional<QByteArray> preview(FileOps &ops, const QString &dayFilePath, Recovery *what);

// Creates an empty journal when there is none, or syncs the one there (its done mark, P5), and
// syncs the folder, so that the journal's name is durable (whoever made it, and whether or not
// its folder was synced then) and saves need not sync the folder (P4).
[[nodiscard]] IoResult prepare(FileOps &ops, const QString &dayFilePath);

// Writes the journal over the previous one, cuts a journal file grown too long (P6) and syncs it
// (sync 1); makes the journal when it is missing, and then, or when syncFolder, syncs the folder
// too (*nameDurable tells the caller the name is now on disk). On failure the day file must not be
// touched. On success the journal stays open in *journalFd, for its done mark.
[[nodiscard]] IoResult store(FileOps &ops, const QString &dayFilePath, const Journal &journal, bool syncFolder,
                             bool *nameDurable, int *journalFd);

// Marks the journal done (F2, P5): zeroes its header, with a sync only when synced is set. The
// first form opens the journal; the second writes through journalFd, which it closes.
[[nodiscard]] IoResult markDone(FileOps &ops, const QString &dayFilePath, bool synced);
[[nodiscard]] IoResult markDone(FileOps &ops, const QString &dayFilePath, int journalFd);

} // namespace rollbackjournal
