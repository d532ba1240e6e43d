#pragma once

#include "dayfilecheck.h"
#include "dayfilelock.h"
#include "dayfilestamp.h"
#include "daytable.h"
#include "daythings.h"
#include "ioresult.h"
#include "rollbackjournal.h"

#include <QDate>
#include <QList>
#include <QString>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

class FileOps;

// What a load of the day file did.
struct [[nodiscard]] LoadReport
{
    enum class Status {
        Loaded,            // every whole record of the file is in the table
        CannotOpen,        // the file could neither be opened nor created
        ReadFailed,        // reading stopped part way; the records before the failure are loaded
        TooManyRecords,    // the file holds more records than the table's capacity
        JournalUnreadable, // an unfinished save may be in the file and its journal cannot be read
    };
    // Why nothing may be written, even where the load succeeded.
    enum class ReadOnly {
        No,
        File,   // the file (or its folder, or the medium) refuses writes
        NoLock, // no lock works beside it, so another copy could write at the same time
    };
    Status status = Status::Loaded;
    qint32 recordsRead = 0;
    IoResult problem;               // what failed, with CannotOpen, ReadFailed, JournalUnreadable
    ReadOnly readOnly = ReadOnly::No;
    IoResult lockProblem;           // with ReadOnly::NoLock

    // What start-up found of a save that did not finish (a crash, a full disk, a failed sync).
    // With RollbackPending the table shows the file as it was before that save, but the file
    // itself could not be repaired yet; every save repairs it first or fails.
    // With SetAside, the journal belonged to another day file: it was not applied, and was
    // renamed to keptAsideJournal (empty when even that failed; saves then refuse to write).
    rollbackjournal::Outcome recovery = rollbackjournal::Outcome::NoJournal;
    IoResult recoveryProblem;
    QString keptAsideJournal;
    bool keptAsideWithoutDayFile = false; // the day file had been deleted or moved away

    bool ok() const { return status == Status::Loaded; }
    bool writable() const { return ok() && readOnly == ReadOnly::No; }
};

// What a save did. A save never claims success for a slot that did not reach the disk, and a
// save is all or nothing on disk: until it reports OnDisk, a crash or a failure leaves the file
// as it was before the save (after the next load or save undoes the unfinished part).
struct [[nodiscard]] SaveReport
{
    enum class Status {
        OnDisk,    // the day and everything kept back earlier are written and synced
        NotOnDisk, // the table holds the day, but some slots are only in memory (see unwritten)
        TableFull, // the day needed records the table has no room for; nothing changed
        NoGbkForm, // a text has characters without a GBK form; nothing changed (see refusedDay)
        Replaced,  // the file on disk is not the one loaded and last written; nothing written,
                   // the day is kept in memory (see DayFile::owedThings)
    };
    enum class Why {
        Disk,        // a step on the disk failed: see problem
        NotLoaded,   // the file was not read to its end: slots past the records read are not written
        ReadOnly,    // the engine writes nothing (a read-only file, no lock, a journal in the way)
        OtherFile,   // Replaced: another file stands at the day file's name
        OtherLength, // Replaced: the file has another length than the one last written
        OtherDays,   // Replaced: a slot the save would overwrite holds another day
    };
    Status status = Status::OnDisk;
    Why why = Why::Disk;
    IoResult problem;
    QList<qint32> unwritten;   // slot numbers kept in memory, to be written by a later save
    QDate refusedDay;          // with NoGbkForm: the day and thing that cannot be stored
    int refusedThing = 0;
    bool remade = false;       // the file had been deleted; everything in the table was written back

    bool allOnDisk() const { return status == Status::OnDisk; }
    // In English, for the tool and logs.
    QString describe(const QString &dayFilePath) const;
};

// The day file and the day book it holds: one engine that owns the file's path, the file system
// it reaches it through, the one-writer lock, the journal and the table of records. Slots are
// headerless 200-byte records, record k in slot k; the table is read whole and written back a few
// slots at a time, every write through the rollback journal (rollbackjournal.h holds the
// protocol's invariants P1-P6, R1-R5, F1-F2). The engine's own invariants:
//   D1. After a load that did not finish, no slot past the records read is ever written.
//   D2. A save is all or nothing across every day it holds (one journal covers them all).
//   D3. Where several records hold one day's thing, the last is read and written (DayTable::find);
//       the others stay byte for byte.
//   D4. Nothing is written into a file other than the one loaded and last written (DayFileCheck);
//       a file deleted behind the engine's back is written back whole, as a new file.
//   D5. Without the lock, where locking does not work, the engine writes nothing.
//   D6. A slot that could not be written stays owed and goes out with the next save.
//   D7. The journal and the lock lie beside the file the path leads to, a link the user made
//       followed (realPath, found anew by each load and each lock()), so that two paths to one
//       file share them and exclude each other.
//
// States, and the function that makes each transition:
//
//   any state ──load()──▶ Blocked | ReadOnly | Unsettled | NameNotDurable | Clean
//   Clean, NameNotDurable, Finished ──writeSlots(): journal stored, sync 1──▶ Writing
//   Writing ──writeSlots(): slots written, sync 2, done mark──▶ Finished
//   Writing ──writeSlots(): any failure──▶ Unsettled
//   Unsettled ──settle(): recovery done (before a save)──▶ NameNotDurable
//   Finished ──close(): the mark synced──▶ Clean
//
// NameNotDurable saves as Clean does, but syncs the folder at sync 1 (P4): load() ends there when
// it could not sync the journal's folder, and settle() because it cannot know. Blocked and
// ReadOnly write nothing until the next load(); a save there keeps its slots owed (D6).
class DayFile
{
public:
    enum class State {
        Unloaded,       // nothing read yet; nothing is written
        Blocked,        // the file or its journal could not be read: nothing is written (D1)
        ReadOnly,       // the file refuses writes, or no lock works here (D5)
        Clean,          // file and journal agree on disk; the journal is done, its name durable
        NameNotDurable, // as Clean, but the journal's name may not be on disk yet
        Writing,        // inside a save, from sync 1 until the done mark
        Finished,       // as Clean, but the done mark of the last save may not be on disk yet
        Unsettled,      // a save or recovery stopped part way: the next save recovers first
    };

    DayFile(FileOps &ops, QString path);
    ~DayFile();
    DayFile(const DayFile &) = delete;
    DayFile &operator=(const DayFile &) = delete;

    const QString &path() const { return m_path; }
    // Where the file lies, every link of path followed (D7), as the last load found it; path itself
    // before a load, or while it leads to no regular file (none yet, a device). The journal, the
    // lock and a sync tool's conflict copies lie beside it.
    const QString &realPath() const { return m_realPath; }
    const DayTable &table() const { return m_table; }
    State state() const { return m_state; }

    // Takes the one-writer lock beside the file. Where no lock works (NoLocking, Failed), the next
    // load() makes the engine read-only (D5).
    [[nodiscard]] DayFileLock::Status lock();
    const DayFileLock &dayFileLock() const { return m_lock; }

    // Replaces the table's records with the file's, creating an empty file when there is none,
    // after undoing a save that did not finish.
    LoadReport load();

    // Stores the five things of day in the table (find-or-append of each position, D3) and
    // writes their slots, together with any slots kept back by earlier saves.
    SaveReport saveDay(QDate day, const DayThings &things);
    // The same for several days, written as one save: all of them reach the disk or none (D2).
    SaveReport saveDays(const std::vector<std::pair<QDate, DayThings>> &days);
    // Writes the slots kept back by earlier saves.
    SaveReport flushPending();

    // A thing the table holds for the disk that is not written yet: the table's (mine), and what
    // the file held of it when last read or written (base; nothing when it had no record).
    struct OwedThing
    {
        QDate day;
        qint32 number = 0;
        std::optional<ThingInput> base;
        ThingInput mine;
    };
    // Every such thing, for a merge with a file that replaced this one (see copymerge.h).
    std::vector<OwedThing> owedThings() const;
    // Whether the file on disk is still the one loaded and last written (D4), looking only.
    bool fileOnDiskIsOurs() const;

    // Whether the table holds the whole file and the engine may write it: only then can the book
    // be held against another copy of it, since a record not read looks like a thing never had.
    bool holdsWholeFile() const;
    // The file at the day file's path as it is now.
    DayFileStamp stampOnDisk() const { return stampOf(m_ops, m_path); }

    bool hasPending() const { return !m_pending.empty(); }
    // The days whose records are owed to the disk, in date order.
    std::vector<QDate> owedDays() const;

    // Ends the session with the file: the last done mark reaches the disk (P5) and the lock is
    // released. The destructor does it too.
    void close();

private:
    bool writesAllowed() const;
    std::set<qint32> writableSlots() const;
    // D4: whether the pending slots may be written into the file on disk; a deleted file is
    // made again, whole.
    bool mayWrite(SaveReport &report);
    SaveReport writePending();
    [[nodiscard]] IoResult writeSlots(const std::set<qint32> &slotNumbers);
    [[nodiscard]] IoResult settle();

    FileOps &m_ops;
    QString m_path;
    QString m_realPath;
    DayTable m_table;
    DayFileLock m_lock;
    DayFileCheck m_check;
    State m_state = State::Unloaded;
    std::set<qint32> m_pending;       // slots owed to the disk (D6)
    // Of each owed slot, the record the file held when last read or written (nothing: appended).
    std::map<qint32, std::optional<DayRecord>> m_base;
    qint32 m_writableLimit = 0;       // slots above it are not written (D1)
};
