#pragma once

#include "dayfile.h"
#include "dayrecord.h"
#include "daytable.h"
#include "fileops.h"

#include <QDate>
#include <QString>
#include <vector>

// The test tools' second table: up to BulkCapacity records, entries 1 to BulkCapacity.
class BulkTable
{
public:
    static constexpr qint32 BulkCapacity = 100'000;

    // Entries that were never filled read as blank records; memory holds only filled ones.
    const DayRecord &at(qint32 index) const;
    void set(qint32 index, DayRecord record);
    qint32 filled() const { return qint32(m_records.size()); }
    void reserve(qint32 records) { m_records.reserve(size_t(records)); }

private:
    std::vector<DayRecord> m_records;
};

// The state every window shares, by reference: the shown day and the day file with its records.
// The file system comes from the program's start (or a test), never from a default.
struct Module_pub
{
    Module_pub(FileOps &ops, const QString &dayFilePath) : fileOps(ops), dayFile(ops, dayFilePath) {}

    FileOps &fileOps; // everything that writes goes through it

    QDate ShownDate = QDate(1899, 12, 30); // day 0 until start-up sets today
    ::BulkTable BulkTable;
    DayFile dayFile; // the day file, its records, and what it still owes the disk
};
