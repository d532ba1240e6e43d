#pragma once

#include "bulktable.h"

#include <QString>

class FileOps;
class TimeSource;

// The hidden developer buttons of the main window: a bulk file of BulkCapacity records written
// and read in one go, to time the disk. They never touch the day book. Each returns the message
// the window shows.
class DevTools
{
public:
    DevTools(FileOps &ops, const TimeSource &time);

    // The bulk file's place; a temporary file unless a test says otherwise.
    void setBulkFilePath(const QString &path) { m_bulkFilePath = path; }

    QString loadBulk();
    QString saveBulk();

private:
    FileOps &m_ops;
    const TimeSource &m_time;
    QString m_bulkFilePath;
    BulkTable m_bulk;
};
