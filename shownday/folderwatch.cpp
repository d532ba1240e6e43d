#include "folderwatch.h"

#include <QFileInfo>

FolderWatch::FolderWatch(std::function<void()> changed)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(700);
    QObject::connect(&m_settle, &QTimer::timeout, std::move(changed));
    QObject::connect(&m_watcher, &QFileSystemWatcher::fileChanged, [this] { m_settle.start(); });
    QObject::connect(&m_watcher, &QFileSystemWatcher::directoryChanged, [this] { m_settle.start(); });
}

void FolderWatch::watch(const QString &path)
{
    const QFileInfo file(path);
    for (const QString &watched : {file.absoluteFilePath(), file.absolutePath()}) {
        if (QFileInfo::exists(watched) && !m_watcher.files().contains(watched) && !m_watcher.directories().contains(watched))
            m_watcher.addPath(watched);
    }
}
