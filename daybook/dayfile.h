#pragma once

#include "dayfilecheck.h"
#include "daythings.h"
#include "daytable.h"
#include "rollbackjournal.h"

#include <QDate>
#include <QList>
#include <QString>
#include <array>
#include <limits>
#include <set>
#include <utility>
#include <vector>

class FileOps;

// What a load of the day file did.
struct [[nodiscard]] LoadReport
{
    enum class Status {
        Loaded,         // every whole record of the file is in the table
        CannotOpen,     // the file could neither be opened nor created
        ReadFailed,     // reading stopped part way; the records before the failure are loaded
        TooManyRecords, // the file holds more records than the table's capacity
        JournalUnreadable, // an unfinished save may be in the file and its journal cannot be read
    };
    Status status = Status::Loaded;
    qint32 recordsRead = 0;
    QString detail; // the system's words, for a message
    bool readOnly = false; // the file may be read but not written: no save can reach it

    // What start-up found of a save that did not finish (a crash, a full disk, a failed sync).
    // With RollbackPending the table shows the file as it was before that save, but the file
    // itself could not be repaired yet; every save repairs it first or fails.
    // With SetAside, the journal belonged to another day file: it was not applied, and was
    // renamed to keptAsideJournal (empty when even that failed; saves then refuse to write).
    rollbackjournal::Outcome recovery = rollbackjournal::Outcome::NoJournal;
    QString recoveryDetail; // why recovery could not finish, in the system's words
    QString keptAsideJournal;
    bool keptAsideWithoutDayFile = false; // the day file had been deleted or moved away

    bool ok() const { return status == Status::Loaded; }
};

// What a save did. A save never claims success for a slot that did not reach the disk, and a
// save is all or nothing on disk: until it reports OnDisk, a crash or a failure leaves the file
// as it was before the save (after the next load or save undoes the unfinished part).
struct [[nodiscard]] SaveReport
{
    enum class Status {
        OnDisk,      // the day and everything kept back earlier are written and synced
        NotOnDisk,   // the table holds the day, but some slots are only in memory (see unwritten)
        TableFull,   // the day needed records the table has no room for; nothing changed
        NoGbkForm,   // a text has characters without a GBK form; nothing changed
        Replaced,    // the file on disk is not the one loaded and last written; nothing written,
                     // the day is kept in memory (see DayFile::adoptFileOnDisk)
    };
    Status status = Status::OnDisk;
    QList<qint32> unwritten; // slot numbers kept in memory, to be written by a later save
    QString detail;
    bool remade = false; // the file had been deleted; everything in the table was written back

    bool allOnDisk() const { return status == Status::OnDisk; }
};

// The day file: headerless 200-byte slots, record k in slot k. It is read whole into a DayTable
// and written back five slots at a time. Slots that could not be written are remembered and
// written with the next save; after a load that did not finish, no slot past the loaded records
// is ever written, so records that were not read are never overwritten.
//
// Every write goes through a rollback journal beside the file (see rollbackjournal.h): a save
// whose slots already hold its bytes writes and syncs nothing, any other costs two syncs. Load,
// and a save after a failed one, first undo a save that did not finish.
class DayFile
{
public:
    explicit DayFile(FileOps &ops);

    // Replaces the table's records with the file's, creating an empty file when there is none.
    LoadReport load(const QString &path, DayTable &table);

    // Stores the five things of day in the table (find-or-append of each position) and writes
    // their slots, together with any slots kept back by earlier saves.
    SaveReport saveDay(const QString &path, DayTable &table, QDate day, const DayThings &things);
    // The same for several days, written as one save: all of them reach the disk or none.
    SaveReport saveDays(const QString &path, DayTable &table, const std::vector<std::pair<QDate, DayThings>> &days);

    // Writes the slots kept back by earlier saves.
    SaveReport flushPending(const QString &path, const DayTable &table);

    // After a save reported Replaced: loads the file now on disk and saves into it, by
    // find-or-append, everything the table still held for the disk (the shown day among it).
    SaveReport adoptFileOnDisk(const QString &path, DayTable &table, LoadReport *loaded = nullptr);

    bool hasPending() const { return !m_pending.empty(); }
    // Slots above this number are not written: they were not loaded.
    qint32 writableLimit() const { return m_writableLimit; }

private:
    bool checkFileOnDisk(const QString &path, const DayTable &table, SaveReport &report);
    SaveReport writePending(const QString &path, const DayTable &table);
    bool writeAtomically(const QString &path, const DayTable &table, const std::set<qint32> &slotNumbers, QString *detail);

    FileOps &m_ops;
    DayFileCheck m_check;
    std::set<qint32> m_pending;
    qint32 m_writableLimit = std::numeric_limits<qint32>::max();
    // The file and its journal are known to agree on disk; otherwise a save recovers first.
    bool m_settled = false;
    // The journal's folder entry is on the disk, so a save need not sync the folder.
    bool m_journalNameDurable = false;
};
