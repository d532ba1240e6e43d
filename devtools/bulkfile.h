#pragma once

#include "bulktable.h"

#include <QString>

class FileOps;
class TimeSource;

// The developer tools' bulk file: BulkTable's records in 200-byte slots, moved with one write or one
// read of the whole file instead of one call per slot.
namespace bulkfile {

struct [[nodiscard]] Result
{
    bool ok = false;
    qint32 records = 0; // written, or read from the file
    QString error;
};

// Fills every entry as the bulk save does: "test", position 1, done, dated today, the clock
// being read anew for each record (a fill that runs across midnight holds two dates).
void fillForTest(BulkTable &table, const TimeSource &time);

// The bulk file's place: things10w.dat in the system's temporary folder.
QString defaultPath();

// Writes entries 1 to count of table to slots 1 to count. Slots beyond them are left as they are.
Result save(FileOps &ops, const QString &path, const BulkTable &table, qint32 count = BulkTable::BulkCapacity);

// Reads up to BulkCapacity records into entries 1 onwards; entries past the file's end are blank.
Result load(FileOps &ops, const QString &path, BulkTable &table);

} // namespace bulkfile
