#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>
#include <vector>

class FileOps;

// The undo record of one save, kept beside the day file while the save's slots are written.
// It holds the bytes the save is about to overwrite and the file's length before the save, so
// that a save cut short by a crash, a full disk or a failed sync can be undone as a whole.
//
// Layout, little-endian:
//   8 bytes  "TLJRNL01"
//   8 bytes  the day file's length before the save
//   4 bytes  number of ranges n
//   n times: 8 bytes offset, 4 bytes length, then that many bytes as they were before the save
//   32 bytes SHA-256 of everything before it
// A journal that is cut short or fails its checksum was never complete, and the day file is
// written only after the journal is complete and synced: such a journal is simply dropped.
namespace rollbackjournal {

struct Range
{
    qint64 offset = 0;
    QByteArray bytes; // what the file held there, inside the old length
};

struct Journal
{
    qint64 oldLength = 0;
    std::vector<Range> ranges;
};

QString pathFor(const QString &dayFilePath);

QByteArray encode(const Journal &journal);
// Nothing when the bytes are not one whole, intact journal whose bytes lie inside oldLength.
std::optional<Journal> decode(QByteArrayView bytes);

// Puts the journal's bytes into buffer, which holds the file's bytes from offset on.
void overlay(const Journal &journal, qint64 offset, char *buffer, qint64 count);

enum class Outcome {
    NoJournal,        // the last save finished
    RolledBack,       // an unfinished save was undone on disk
    Discarded,        // a journal that was never complete was dropped; the file was not touched
    RollbackPending,  // a valid journal could not be applied to the file; it stays for later
    Unreadable,       // a journal is there but cannot be read
};

struct Recovery
{
    Outcome outcome = Outcome::NoJournal;
    std::optional<Journal> journal; // set with RollbackPending: the file as it must be read
    QString detail;
};

// Undoes an unfinished save of the day file at dayFilePath, if there is one.
Recovery recover(FileOps &ops, const QString &dayFilePath);

// The day file's bytes as recover() would leave them, worked out in memory: nothing is written,
// undone or removed. Nothing when the journal or the file cannot be read (detail says why); a
// missing file reads as empty. *what says what recover() would do.
std::optional<QByteArray> preview(FileOps &ops, const QString &dayFilePath, Recovery *what);

// Writes the journal and makes it and its name durable. False with detail set on failure, in
// which case the day file must not be touched.
bool store(FileOps &ops, const QString &dayFilePath, const Journal &journal, QString *detail);

// Drops the journal of a save whose slots are durable, and makes the removal durable.
bool retire(FileOps &ops, const QString &dayFilePath, QString *detail);

} // namespace rollbackjournal
