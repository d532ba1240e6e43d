#include "devtools.h"

#include "bulkfile.h"

#include <QDir>

DevTools::DevTools(FileOps &ops, const TimeSource &time)
    : m_ops(ops), m_time(time), m_bulkFilePath(bulkfile::defaultPath())
{
}

QString DevTools::loadBulk()
{
    const bulkfile::Result r = bulkfile::load(m_ops, m_bulkFilePath, m_bulk);
    if (!r.ok)
        return QStringLiteral("Bulk load failed: %1").arg(r.error);
    if (r.records < BulkTable::BulkCapacity)
        return QStringLiteral("Only %1 records loaded: %2 is shorter than 100000 records.")
            .arg(r.records)
            .arg(QDir::toNativeSeparators(m_bulkFilePath));
    return QStringLiteral("10W loaded!!!");
}

QString DevTools::saveBulk()
{
    bulkfile::fillForTest(m_bulk, m_time);
    const bulkfile::Result r = bulkfile::save(m_ops, m_bulkFilePath, m_bulk);
    return r.ok ? QStringLiteral("OK,10W saved!!!") : QStringLiteral("Bulk save failed: %1").arg(r.error);
}
