#pragma once

#include "rollbackjournal.h"

#include <QDir>
#include <QString>
#include <QTemporaryDir>

// A folder of a test's own for a day file: things.dat, its journal, and whatever a test puts
// beside them. clear() empties it before each test.
class DayFolder
{
public:
    DayFolder() : path(m_dir.filePath(QStringLiteral("things.dat"))), journal(rollbackjournal::pathFor(path)) {}

    // Removes everything in the folder; false when there is no folder.
    bool clear()
    {
        if (!m_dir.isValid())
            return false;
        QDir dir(m_dir.path());
        const auto entries = dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QFileInfo &entry : entries) {
            if (entry.isDir() && !entry.isSymLink())
                QDir(entry.filePath()).removeRecursively();
            else
                QFile::remove(entry.filePath());
        }
        return true;
    }
    QString file(const QString &name) const { return m_dir.filePath(name); }
    QString folder() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir; // made before the paths below

public:
    const QString path;    // things.dat
    const QString journal; // things.dat.journal
};
