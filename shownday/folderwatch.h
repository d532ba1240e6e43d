#pragma once

#include <QFileSystemWatcher>
#include <QTimer>
#include <functional>

// Watches the day file and its folder for another program's doing: the file changed, replaced by
// a rename or deleted, or a conflict copy put beside it. Each burst of changes is reported once,
// when the folder has stood still a moment (a file still being written is looked at later).
class FolderWatch
{
public:
    explicit FolderWatch(std::function<void()> changed);

    // Watches the file at path and its folder; called again after every change, since a file
    // replaced by renaming another over it is no longer watched under its name.
    void watch(const QString &path);

private:
    QFileSystemWatcher m_watcher;
    QTimer m_settle;
};
