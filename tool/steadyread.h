#pragma once

#include "daytable.h"
#include "rollbackjournal.h"

#include <QString>

class FileOps;

// Reads the day file as the next start of Tallyleaf would find it, without writing anything,
// while a running Tallyleaf may be saving into it: an unfinished save is read as undone, and the
// read is repeated until the day file and its journal are the same after it as before it, so
// the table never holds half a save.
struct SteadyRead
{
    enum class Status {
        Read,
        Unreadable,   // the day file or its journal cannot be read, or holds too many records
        KeptChanging, // the files never stood still
    };
    Status status = Status::Read;
    QString detail; // the system's words, naming the file
    // What the read found of an unfinished save, or of a journal written for another file.
    rollbackjournal::Outcome recovery = rollbackjournal::Outcome::NoJournal;
};
SteadyRead readSteadily(FileOps &ops, const QString &dayFilePath, DayTable &table);
