#pragma once

#include <QString>
#include <set>
#include <sys/stat.h>
#include <sys/types.h>

class DayTable;
class FileOps;

// Which day file the engine loaded and last wrote, and how long it must be now. Slots are
// numbered by the table, so a save into a file that was replaced, cut short or extended behind
// the program's back would write days over other days; before a save writes, the file on disk
// is held against what is known of it. The check only looks: what follows is the engine's.
class DayFileCheck
{
public:
    enum class Verdict {
        Same,        // the file loaded and last written: the save may go ahead
        Unknown,     // nothing loaded to compare with, or nothing to see; the writer decides
        Deleted,     // no file at the name
        OtherFile,   // another file stands at the name
        OtherLength, // this file, with another length than the one last written
        OtherDays,   // this file, with another day in a slot the save would overwrite
    };

    void forget() { m_known = false; }
    // After a load through fd; length is what the file counts as after any unfinished save is undone.
    void loaded(FileOps &ops, int fd, qint64 length);
    // unfinishedSave: the file may hold part of a save that the writer undoes first, so only the
    // file's identity can be held against it.
    Verdict beforeWrite(FileOps &ops, const QString &path, const DayTable &table, const std::set<qint32> &slotNumbers,
                        bool unfinishedSave) const;
    // A write of the slots reached the disk, or failed: then the file may hold them or not.
    void afterWrite(const std::set<qint32> &slotNumbers, bool written);
    // The time of the file's last change as the engine's own write left it.
    void noteWriteTime(FileOps &ops, const QString &path);
    // Whether the file at path is still the one known, unchanged since (identity, length and the
    // time of its last change): a cheap look, for a watcher's every notice.
    bool unchanged(FileOps &ops, const QString &path) const;

private:
    bool m_known = false;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    qint64 m_length = 0;
    qint64 m_lengthIfWritten = -1; // after a failed write, which may have reached the disk all the same
    struct timespec m_changed {};
};
