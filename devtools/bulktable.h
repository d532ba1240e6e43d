#pragma once

#include "dayrecord.h"

#include <vector>

// The developer tools' second table: up to BulkCapacity records, entries 1 to BulkCapacity.
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
