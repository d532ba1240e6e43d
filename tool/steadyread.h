#pragma once

#include "dayfile.h"

#include <QString>

// Reads the day file without writing anything, while a running Tallyleaf may be saving into it:
// the read is repeated until the day file and its journal are the same after it as before it,
// so the table never holds half a save. TooManyChanges when they never stood still.
struct SteadyRead
{
    LoadReport report;
    bool tooManyChanges = false;
};
SteadyRead readSteadily(FileOps &ops, const QString &dayFilePath, DayTable &table);
