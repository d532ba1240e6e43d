#pragma once

#include <QString>

class FileOps;

// What can be read of a day file's identity without reading it: where it is, which file it is
// (device and inode), how long it is and when it last changed. Whatever describes a day file
// from outside it (the calendar sync's state) keeps the stamp of the file it describes and
// trusts itself only while the file on disk still matches.
struct DayFileStamp
{
    QString path;        // the canonical path, links resolved
    quint64 device = 0;
    quint64 inode = 0;
    qint64 length = -1;  // -1: no file
    qint64 changedNs = 0; // the time of the last change, in nanoseconds since the epoch

    bool exists() const { return length >= 0; }
    // Whether now can be the file this stamp was taken of, changed since only as Tallyleaf changes
    // a day file: the same file at the same place, no shorter (records are never removed) and
    // changed no earlier. A file restored from a backup, put in place of the day file or brought
    // from another computer fails it.
    bool stillDescribes(const DayFileStamp &now) const;

    friend bool operator==(const DayFileStamp &, const DayFileStamp &) = default;
};

// The stamp of the file at path as it is now.
DayFileStamp stampOf(FileOps &ops, const QString &path);
