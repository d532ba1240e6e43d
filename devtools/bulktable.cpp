#include "bulktable.h"

#include <QtGlobal>

const DayRecord &BulkTable::at(qint32 index) const
{
    Q_ASSERT(index >= 1 && index <= BulkCapacity);
    static const DayRecord blank;
    return index <= filled() ? m_records[size_t(index - 1)] : blank;
}

void BulkTable::set(qint32 index, DayRecord record)
{
    Q_ASSERT(index >= 1 && index <= BulkCapacity);
    if (index > filled())
        m_records.resize(size_t(index));
    m_records[size_t(index - 1)] = std::move(record);
}
